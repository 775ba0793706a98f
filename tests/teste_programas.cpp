// contacel and contacel-clientes run as a user runs them: exit status, standard error, files,
// and the wait for the key.

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "apoio.h"
#include "caminhos.h"

namespace {

struct Resultado {
    int status = -1;
    std::string saida;
    std::string erro;
};

// Starts `argv` in `pasta` with standard input from `entrada` and standard output to `destino`
// (a file in the folder unless given; ">>NAME" appends to NAME), with files no larger than
// `limite` bytes; standard error goes to pasta/.erro.
pid_t inicia(const std::vector<std::string>& argv, const PastaTemp& pasta,
             const char* entrada = "/dev/null", std::optional<std::string> destino = {},
             rlim_t limite = RLIM_INFINITY) {
    std::string arq_saida = destino.value_or((pasta / ".saida").string());
    const bool acrescenta = arq_saida.starts_with(">>");
    if (acrescenta) arq_saida.erase(0, 2);
    const std::string arq_erro = (pasta / ".erro").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(pasta.caminho().c_str()) != 0) ::_exit(127);
        const rlimit lim{limite, limite};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        const int in = ::open(entrada, O_RDONLY);
        const int out =
            ::open(arq_saida.c_str(), O_WRONLY | O_CREAT | (acrescenta ? O_APPEND : O_TRUNC), 0644);
        const int err = ::open(arq_erro.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// The exit status of `pid`, 128 + N for a death by signal N.
int espera(pid_t pid) {
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// Runs `argv` as inicia() starts it, to its end.
Resultado roda(const std::vector<std::string>& argv, const PastaTemp& pasta,
               const char* entrada = "/dev/null", std::optional<std::string> destino = {},
               rlim_t limite = RLIM_INFINITY) {
    Resultado r;
    r.status = espera(inicia(argv, pasta, entrada, destino, limite));
    if (!destino) r.saida = le(pasta / ".saida");
    r.erro = le(pasta / ".erro");
    return r;
}

// Temporary files a writer left behind in the folder.
std::size_t temporarios(const PastaTemp& pasta) {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(pasta.caminho()))
        n += e.path().filename().string().starts_with(".contacel-") ||
                     e.path().extension() == ".lock"
                 ? 1
                 : 0;
    return n;
}

std::size_t linhas(const std::string& s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

TEST(Contacel, ExecucaoComOArquivoDeExemplo) {
    PastaTemp pasta;
    std::filesystem::copy_file(caminho_exemplo, pasta / "clientes.arq");
    const Resultado r = roda({caminho_contacel, "argumentos", "ignorados"}, pasta);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.erro, "");
    ASSERT_GT(r.saida.size(), 200U * 36U);
    EXPECT_EQ(linhas(r.saida.substr(0, 200 * 36)), 200U);
    EXPECT_EQ(r.saida.substr(200 * 36, 3), "\n\n\n");
    EXPECT_NE(r.saida.find("CONTA DE TELEFONIA CELULAR"), std::string::npos);
    EXPECT_TRUE(r.saida.ends_with("-------------------------------------------------\n\n"));
}

// Each kind of unusable register: its own line on standard error, nothing on standard output,
// the file untouched.
TEST(Contacel, CadastroRuimUmaLinhaExataNoErroNadaNaSaida) {
    struct Caso {
        std::optional<std::string> arquivo;  // none: no file; "fifo": a FIFO
        const char* erro;
    };
    const std::string sem_nul =
        ArquivoClientes(2).registro(1, "a", "b").registro(2, "a", std::string(51, 'e')).bytes();
    const Caso casos[] = {
        {std::nullopt, "arquivo nao encontrado"},
        {"fifo", "nao e um arquivo regular"},
        {std::string(), "o cadastro tem 0 clientes; a execucao precisa de pelo menos 5"},
        {std::string(2, '\x05'), "arquivo com menos de 4 bytes: contagem de clientes incompleta"},
        {arquivo_valido(25).bytes(), "o arquivo declara 25 clientes; o maximo e 20"},
        {arquivo_valido(8).bytes().substr(0, 500),
         "o arquivo declara 8 clientes, mas traz so 4 registros completos"},
        {ArquivoClientes(1).registro(1, std::string(51, 'n'), "b").bytes(),
         "o nome do cliente 1 do arquivo nao termina com NUL"},
        {sem_nul, "o endereco do cliente 2 do arquivo nao termina com NUL"},
        {arquivo_valido(4).bytes(),
         "o cadastro tem 4 clientes; a execucao precisa de pelo menos 5"},
        {ArquivoClientes(5)
             .registro(1, "a", "b")
             .registro(2, "a", "b")
             .registro(3, "a", "b")
             .registro(4, "a", "b")
             .registro(6, "a", "b")
             .bytes(),
         "os cinco primeiros clientes devem ter os codigos 1 a 5"},
    };
    for (const Caso& c : casos) {
        PastaTemp pasta;
        if (c.arquivo == "fifo") {
            ASSERT_EQ(::mkfifo((pasta / "clientes.arq").c_str(), 0600), 0);
        } else if (c.arquivo) {
            grava(pasta / "clientes.arq", *c.arquivo);
        }
        const Resultado r = roda({caminho_contacel}, pasta);
        EXPECT_EQ(r.status, 1) << c.erro;
        EXPECT_EQ(r.saida, "") << c.erro;
        EXPECT_EQ(r.erro, std::string("contacel: clientes.arq: ") + c.erro + "\n");
        if (c.arquivo && c.arquivo != "fifo") {
            EXPECT_EQ(le(pasta / "clientes.arq"), *c.arquivo) << c.erro;
        }
    }
}

TEST(Contacel, SaidaQueFalhaNaoEhSucesso) {
    PastaTemp pasta;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    const Resultado r = roda({caminho_contacel}, pasta, "/dev/null", "/dev/full");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.erro, "contacel: erro ao escrever na saida padrao\n");
}

TEST(Contacel, ListaAparecePorInteiroAntesDaEspera) {
    PastaTemp pasta;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    int entrada[2];
    int saida[2];
    ASSERT_EQ(::pipe(entrada), 0);
    ASSERT_EQ(::pipe(saida), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(pasta.caminho().c_str()) != 0) ::_exit(127);
        ::dup2(entrada[0], 0);
        ::dup2(saida[1], 1);
        ::close(entrada[1]);
        ::close(saida[0]);
        ::execl(caminho_contacel, caminho_contacel, nullptr);
        ::_exit(127);
    }
    ::close(entrada[0]);
    ::close(saida[1]);
    // A child that ended early makes the write below fail, rather than kill the test.
    const auto sigpipe = std::signal(SIGPIPE, SIG_IGN);
    // Nothing is typed yet: the list and the two line breaks must still arrive.
    std::string lido;
    std::array<char, 4096> buf{};
    while (lido.size() < 200 * 36 + 2) {
        pollfd p{saida[0], POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) break;
        const ssize_t n = ::read(saida[0], buf.data(), buf.size());
        if (n <= 0) break;
        lido.append(buf.data(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(lido.size(), 200U * 36U + 2U);
    EXPECT_EQ(lido.find("CONTA"), std::string::npos);
    EXPECT_EQ(::write(entrada[1], "\n", 1), 1);
    std::signal(SIGPIPE, sigpipe);
    ::close(entrada[1]);
    for (ssize_t n; (n = ::read(saida[0], buf.data(), buf.size())) > 0;)
        lido.append(buf.data(), static_cast<std::size_t>(n));
    ::close(saida[0]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_NE(lido.find("CONTA DE TELEFONIA CELULAR"), std::string::npos);
}

TEST(ContacelClientes, GerarListarESemente) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    Resultado r = roda({f, "gerar", "8", "a.arq", "--semente", "42"}, pasta);
    ASSERT_EQ(r.status, 0) << r.erro;
    r = roda({f, "gerar", "--semente", "42", "8", "b.arq"}, pasta);
    ASSERT_EQ(r.status, 0) << r.erro;
    const std::string a = le(pasta / "a.arq");
    EXPECT_EQ(a.size(), 4U + 8U * 108U);
    EXPECT_EQ(a, le(pasta / "b.arq"));

    TLisCli lc{};
    ASSERT_TRUE(le_lis_cli_de((pasta / "a.arq").c_str(), &lc).ok());
    EXPECT_TRUE(confere_cadastro(&lc).ok());
    r = roda({f, "listar", "a.arq"}, pasta);
    EXPECT_EQ(r.status, 0);
    std::string esperado;
    for (const TCliente& c : std::span(lc.clientes, lc.ncl))
        esperado += linha_de_cliente(c) + "\n";
    EXPECT_EQ(r.saida, esperado);

    // The default name is the one the run reads.
    r = roda({f, "gerar", "5"}, pasta);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(le(pasta / "clientes.arq").size(), 4U + 5U * 108U);
    r = roda({f, "listar"}, pasta);
    EXPECT_EQ(linhas(r.saida), 5U);
}

TEST(ContacelClientes, NaoSobrescreveSemForcarENaoDeixaTemporarios) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    grava(pasta / "c.arq", "precioso");
    Resultado r = roda({f, "gerar", "6", "c.arq", "--semente", "1"}, pasta);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.erro.find("ja existe"), std::string::npos);
    EXPECT_EQ(le(pasta / "c.arq"), "precioso");
    r = roda({f, "gerar", "6", "c.arq", "--semente", "1", "--forcar"}, pasta);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(le(pasta / "c.arq").size(), 4U + 6U * 108U);
    // A folder that cannot hold the file.
    r = roda({f, "gerar", "6", "nao/existe.arq"}, pasta);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(temporarios(pasta), 0U);
}

TEST(ContacelClientes, ErrosDeUsoEArquivoRuim) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    // Usage errors: what is wrong in one line, then where the usage is.
    const std::pair<std::vector<std::string>, std::string> usos[] = {
        {{}, "falta o comando"},
        {{"voar"}, "comando desconhecido: voar"},
        {{"gerar"}, "falta N, o numero de clientes"},
        {{"gerar", "0"}, "N deve ser um numero de 1 a 20"},
        {{"gerar", "5x"}, "N deve ser um numero de 1 a 20"},
        {{"gerar", "5", "--semente"}, "falta o valor de --semente"},
        {{"gerar", "5", "--semente", "-1"}, "semente invalida"},
        {{"gerar", "5", "--semente=1", "--semente", "2"}, "opcao repetida: --semente"},
        {{"gerar", "5", "a", "b"}, "argumentos demais"},
        {{"gerar", "5", "--rapido"}, "opcao invalida: --rapido"},
        {{"gerar", "5", "--utf8"}, "--utf8 nao e opcao de gerar"},
        {{"listar", "a", "b"}, "argumentos demais"},
        {{"incluir", "9", "A", "B", ""}, "nome de arquivo vazio"},
        {{"--ajuda", "listar", "a"}, "argumentos demais"},
        {{"--ajuda", "voar"}, "argumentos demais"},
        {{"importar", "a.csv", "--codificacao", "ebcdic"},
         "codificacao desconhecida: ebcdic (utf-8, windows-1252 ou cp1252, iso-8859-1 ou latin1)"},
    };
    for (const auto& [palavras, motivo] : usos) {
        std::vector<std::string> args{f};
        args.insert(args.end(), palavras.begin(), palavras.end());
        const Resultado r = roda(args, pasta);
        EXPECT_EQ(r.status, 2) << motivo;
        EXPECT_EQ(r.erro, "contacel-clientes: " + motivo +
                              "\nTente 'contacel-clientes --ajuda' para mais informacoes.\n");
        EXPECT_EQ(r.saida, "");
    }
    // Options anywhere, "=", and "--" before a name that starts with dashes.
    EXPECT_EQ(roda({f, "--semente=7", "gerar", "5", "s.arq"}, pasta).status, 0);
    EXPECT_EQ(roda({f, "incluir", "--", "6", "--Ana--", "Rua", "s.arq"}, pasta).status, 0);
    EXPECT_NE(roda({f, "listar", "s.arq", "--utf8"}, pasta).saida.find("--Ana--"),
              std::string::npos);
    // Help and version on standard output; a failure to write them is not success.
    EXPECT_TRUE(roda({f, "importar", "--help"}, pasta).saida.starts_with("uso: contacel-clientes"));
    for (const std::string opcao : {"--ajuda", "--help", "-h", "--versao", "--version", "-V"}) {
        const Resultado r = roda({f, opcao}, pasta);
        EXPECT_EQ(r.status, 0) << opcao;
        EXPECT_EQ(r.saida.starts_with("uso: contacel-clientes"),
                  r.saida != "contacel-clientes 1.1.0\n")
            << opcao;
        const Resultado cheio = roda({f, opcao}, pasta, "/dev/null", "/dev/full");
        EXPECT_EQ(cheio.status, 1) << opcao;
        EXPECT_EQ(cheio.erro, "contacel-clientes: erro ao escrever na saida padrao\n");
    }
    const Resultado ajuda = roda({f, "--ajuda"}, pasta);
    EXPECT_EQ(ajuda.status, 0);
    EXPECT_TRUE(ajuda.saida.starts_with("uso: contacel-clientes"));

    grava(pasta / "ruim.arq", arquivo_valido(3).bytes().substr(0, 100));
    const Resultado r = roda({f, "listar", "ruim.arq"}, pasta);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.saida, "");
    EXPECT_TRUE(r.erro.starts_with("contacel-clientes: ruim.arq: ")) << r.erro;
    // The system's words in the user's language (the locale pt_BR.UTF-8 must be generated).
    ::setenv("LC_ALL", "pt_BR.UTF-8", 1);
    const Resultado pt = roda({f, "importar", "nao_ha.csv", "x.arq"}, pasta);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(pt.erro,
              "contacel-clientes: nao_ha.csv: nao foi possivel ler: Arquivo ou diret\u00f3rio "
              "inexistente\n");
}

// An operator's session: a spreadsheet's export in, one customer added, one changed, one
// removed, the register listed, checked and exported.
TEST(ContacelClientes, ManterOCadastro) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    grava(pasta / "planilha.csv",
          "\xEF\xBB\xBF"
          "codigo,nome,endereco\r\n"
          "1,Jos\xC3\xA9 Concei\xC3\xA7\xC3\xA3o,\"Rua A, 10\"\r\n"
          "2,Ana,Rua B\r\n3,Rui,Rua C\r\n4,Sara,Rua D\r\n5,Tiago,Rua E");
    Resultado r = roda({f, "importar", "planilha.csv"}, pasta);
    EXPECT_EQ(r.status, 0) << r.erro;
    EXPECT_EQ(r.saida, "5 clientes importados de planilha.csv para clientes.arq\n");
    EXPECT_EQ(roda({f, "verificar"}, pasta).saida,
              "clientes.arq: 5 clientes; o cadastro serve para uma execucao\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{f, "incluir", "6",
                                                                          "L\xC3\xBA"
                                                                          "cia",
                                                                          "Av. Brasil, 1"},
                                                 {f, "alterar", "2", "--endereco", "Rua B, 2"},
                                                 {f, "excluir", "3"}}) {
        r = roda(args, pasta);
        EXPECT_EQ(r.status, 0) << args[1] << r.erro;
        EXPECT_EQ(r.erro + r.saida, "") << args[1];
    }
    // Columns counted in code page 850 bytes: "José Conceição" is 14 of them.
    r = roda({f, "listar", "--utf8"}, pasta);
    EXPECT_EQ(
        r.saida,
        "001  Jos\xC3\xA9 Concei\xC3\xA7\xC3\xA3o             Rua A, 10                          \n"
        "002  Ana                        Rua B, 2                           \n"
        "004  Sara                       Rua D                              \n"
        "005  Tiago                      Rua E                              \n"
        "006  L\xC3\xBA"
        "cia                      Av. Brasil, 1                      \n");
    EXPECT_NE(roda({f, "listar"}, pasta).saida.find("Jos\x82 Concei\x87\xC6o  "),
              std::string::npos);
    r = roda({f, "verificar"}, pasta);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.erro,
              "contacel-clientes: clientes.arq: os cinco primeiros clientes devem ter os "
              "codigos 1 a 5\n");

    r = roda({f, "exportar"}, pasta);
    EXPECT_EQ(r.saida,
              "codigo,nome,endereco\n"
              "1,Jos\xC3\xA9 Concei\xC3\xA7\xC3\xA3o,\"Rua A, 10\"\n"
              "2,Ana,\"Rua B, 2\"\n4,Sara,Rua D\n5,Tiago,Rua E\n"
              "6,L\xC3\xBA"
              "cia,\"Av. Brasil, 1\"\n");
    // Export, then import: the same register, byte for byte.
    EXPECT_EQ(roda({f, "exportar", "clientes.arq", "volta.csv"}, pasta).status, 0);
    EXPECT_EQ(roda({f, "importar", "volta.csv", "volta.arq"}, pasta).status, 0);
    EXPECT_EQ(le(pasta / "volta.arq"), le(pasta / "clientes.arq"));
}

// Every refusal: one line naming the file (and the CSV line), its status, and the register
// byte for byte as it was.
TEST(ContacelClientes, RecusasDeixamOCadastroIntacto) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    grava(pasta / "cheio.arq", arquivo_valido(20).bytes());
    grava(pasta / "ruim.csv", "codigo,nome,endereco\n1,a,b\n2,Rua \xE2\x82\xAC,c\n");
    ASSERT_EQ(::mkfifo((pasta / "fifo").c_str(), 0600), 0);
    const std::string antes = le(pasta / "clientes.arq");
    struct Caso {
        std::vector<std::string> args;
        int status;
        std::string erro;
    };
    const std::string p = "contacel-clientes: ";
    const Caso casos[] = {
        {{"importar", "ruim.csv", "--forcar"},
         1,
         p + "ruim.csv:3: nome com caractere fora do codigo 850"},
        {{"importar", "nao_ha.csv", "--forcar"},
         1,
         p + "nao_ha.csv: nao foi possivel ler: No such file or directory"},
        {{"gerar", "5"},
         1,
         p + "clientes.arq: o arquivo ja existe (use --forcar para substitui-lo)"},
        {{"incluir", "1", "a", "b"}, 1, p + "clientes.arq: codigo repetido"},
        {{"incluir", "21", "a", "b", "cheio.arq"},
         1,
         p + "cheio.arq: clientes demais (o maximo e 20)"},
        {{"alterar", "9", "--nome", "x"}, 1, p + "clientes.arq: nao ha cliente com o codigo 9"},
        {{"excluir", "0"}, 1, p + "clientes.arq: nao ha cliente com o codigo 0"},
        {{"listar", "fifo"}, 1, p + "fifo: nao e um arquivo regular"},
        {{"gerar", "5", "fifo"}, 1, p + "fifo: nao e um arquivo regular"},
        {{"incluir", "fifo", "a", "b"}, 2, p + "CODIGO deve ser um numero de 1 a 4294967295"},
        {{"incluir", "4294967296", "a", "b"}, 2, p + "CODIGO deve ser um numero de 1 a 4294967295"},
        {{"alterar", "1"}, 2, p + "falta --nome ou --endereco"},
        {{"excluir"}, 2, p + "falta o CODIGO"},
        {{"listar", "--utf9"}, 2, p + "opcao invalida: --utf9"},
    };
    for (const Caso& c : casos) {
        std::vector<std::string> args{f};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Resultado r = roda(args, pasta);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(r.erro.substr(0, r.erro.find('\n')), c.erro);
        EXPECT_EQ(r.saida, "");
        EXPECT_EQ(le(pasta / "clientes.arq"), antes) << c.args[0];
    }
    EXPECT_EQ(le(pasta / "cheio.arq"), arquivo_valido(20).bytes());
    EXPECT_EQ(temporarios(pasta), 0U);
}

// Ten changes at once: each one waits for the one before, none is lost.
TEST(ContacelClientes, InclusoesSimultaneasNaoSePerdem) {
    PastaTemp pasta;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    std::vector<pid_t> filhos;
    for (int cod = 10; cod < 20; ++cod) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(pasta.caminho().c_str()) != 0) ::_exit(127);
            const std::string c = std::to_string(cod);
            ::execl(caminho_contacel_clientes, caminho_contacel_clientes, "incluir", c.c_str(),
                    "Nome", "Rua", nullptr);
            ::_exit(127);
        }
        filhos.push_back(pid);
    }
    for (const pid_t pid : filhos) {
        int st = 0;
        ::waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    TLisCli lc{};
    ASSERT_TRUE(le_lis_cli_de((pasta / "clientes.arq").c_str(), &lc).ok());
    EXPECT_EQ(lc.ncl, 15U);
    for (int cod = 10; cod < 20; ++cod)
        EXPECT_GE(busca_cliente(&lc, cod), 5) << cod;
}

// Writes that hit the file-size limit fail with a message and leave nothing behind.
TEST(ContacelClientes, LimiteDeTamanhoNaoDeixaNadaPelaMetade) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    grava(pasta / "seis.csv", "codigo,nome,endereco\n1,a,b\n2,a,b\n3,a,b\n4,a,b\n5,a,b\n6,a,b\n");
    constexpr rlim_t limite = 600;  // five customers fit, six do not
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{f, "incluir", "6", "a", "b"},
          {f, "importar", "seis.csv", "--forcar"},
          {f, "gerar", "6", "--forcar"},
          {f, "gerar", "6", "novo.arq"}}) {
        const Resultado r = roda(args, pasta, "/dev/null", {}, limite);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_TRUE(r.erro.ends_with(": erro ao gravar: File too large\n")) << r.erro;
        EXPECT_EQ(le(pasta / "clientes.arq"), arquivo_valido(5).bytes());
    }
    EXPECT_FALSE(std::filesystem::exists(pasta / "novo.arq"));
    EXPECT_EQ(temporarios(pasta), 0U);
}

// Permissions as the umask allows for a new register, kept for a changed one; a link is
// followed; any name the system accepts will do.
TEST(ContacelClientes, ArquivosComoOSistemaOsTrata) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    const mode_t antes = ::umask(027);
    const Resultado novo = roda({f, "gerar", "5", "--semente", "1"}, pasta);
    ::umask(antes);
    ASSERT_EQ(novo.status, 0);
    const auto modo = [&](const char* nome) {
        struct stat st {};
        ::stat((pasta / nome).c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(modo("clientes.arq"), 0640U);
    ::chmod((pasta / "clientes.arq").c_str(), 0604);
    EXPECT_EQ(roda({f, "incluir", "6", "a", "b"}, pasta).status, 0);
    EXPECT_EQ(modo("clientes.arq"), 0604U);

    std::filesystem::create_directory(pasta / "dados");
    std::filesystem::rename(pasta / "clientes.arq", pasta / "dados" / "real.arq");
    std::filesystem::create_symlink("dados/real.arq", pasta / "clientes.arq");
    EXPECT_EQ(roda({f, "excluir", "6"}, pasta).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(pasta / "clientes.arq"));
    EXPECT_EQ(le(pasta / "dados" / "real.arq").size(), 4U + 5U * 108U);

    // The longest name that leaves room for its lock's ".lock".
    const std::string longo(246, 'n');
    EXPECT_EQ(roda({f, "gerar", "5", longo + ".arq"}, pasta).status, 0);
    EXPECT_EQ(roda({f, "verificar", longo + ".arq"}, pasta).status, 0);
    EXPECT_EQ(temporarios(pasta), 0U);
}

// Every kind of file exportar may be given: descriptors are written through, devices and FIFOs
// in place, a regular file replaced only with --forcar (keeping its mode), and the register,
// under any name, refused. The register never changes.
TEST(ContacelClientes, ExportarParaCadaTipoDeArquivo) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    const std::string registro = le(pasta / "clientes.arq");
    const std::string csv = roda({f, "exportar"}, pasta).saida;
    ASSERT_TRUE(csv.starts_with("codigo,nome,endereco\n"));
    std::filesystem::create_symlink("/proc/self/fd/1", pasta / "fd1");
    std::filesystem::create_symlink("clientes.arq", pasta / "outro");
    std::filesystem::create_hard_link(pasta / "clientes.arq", pasta / "duro");
    ASSERT_EQ(::mkfifo((pasta / "fifo").c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::mknod((pasta / "nulo").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    }
    grava(pasta / "velho.csv", "velho\n");
    ::chmod((pasta / "velho.csv").c_str(), 0640);
    grava(pasta / "junto.csv", "antes\n");
    struct Caso {
        std::string linha;  // run by the shell in the folder
        int status;
        std::string saida;  // standard output
        std::string erro;
    };
    const std::string p = "contacel-clientes: ";
    const std::string c = "'" + f + "' exportar";
    std::vector<Caso> casos{
        {c + " clientes.arq -", 0, csv, ""},
        {c + " clientes.arq fd1 | cat", 0, csv, ""},
        {c + " clientes.arq /dev/stdout >> junto.csv", 0, "", ""},
        {c + " clientes.arq fifo", 0, "", ""},
        {c + " clientes.arq velho.csv", 1, "",
         p + "velho.csv: o arquivo ja existe (use --forcar para substitui-lo)\n"},
        {c + " clientes.arq velho.csv --forcar", 0, "", ""},
        {c + " clientes.arq clientes.arq", 1, "",
         p + "clientes.arq: e o proprio cadastro; o CSV vai para outro arquivo\n"},
        {c + " clientes.arq outro", 1, "",
         p + "outro: e o proprio cadastro; o CSV vai para outro arquivo\n"},
        {c + " clientes.arq >> outro", 1, "",
         p + "-: e o proprio cadastro; o CSV vai para outro arquivo\n"},
        {c + " clientes.arq duro", 1, "",
         p + "duro: e o proprio cadastro; o CSV vai para outro arquivo\n"},
    };
    // Standard output that is the register, read and written or appended to, by any command.
    const std::string x = "'" + std::string(caminho_contacel_exportar) + "' ";
    for (const std::string& comando :
         {"'" + f + "' listar 1<>clientes.arq", "'" + f + "' verificar >>clientes.arq",
          "'" + f + "' incluir 9 a b 1<>clientes.arq", x + "contas --semente 1 1<>clientes.arq",
          x + "chamadas --semente 1 >>clientes.arq", x + "faturas --semente 1 1<>clientes.arq"})
        casos.push_back(
            {comando, 1, "",
             (comando.starts_with(x) ? "contacel-exportar: " : p) +
                 "clientes.arq: a saida padrao e o proprio cadastro; nada foi escrito\n"});
    if (root) casos.push_back({c + " clientes.arq nulo", 0, "", ""});
    // A reader is there, without waiting: what is written stays in the pipe until read below.
    const int leitor = ::open((pasta / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    for (const Caso& k : casos) {
        const Resultado r = roda({"/bin/sh", "-c", k.linha}, pasta);
        EXPECT_EQ(r.status, k.status) << k.linha;
        EXPECT_EQ(r.saida, k.saida) << k.linha;
        EXPECT_EQ(r.erro, k.erro) << k.linha;
        EXPECT_EQ(le(pasta / "clientes.arq"), registro) << k.linha;
    }
    std::string fifo(csv.size() + 1, '\0');
    fifo.resize(
        static_cast<std::size_t>(std::max<ssize_t>(0, ::read(leitor, fifo.data(), fifo.size()))));
    ::close(leitor);
    EXPECT_EQ(fifo, csv);
    EXPECT_EQ(le(pasta / "junto.csv"), "antes\n" + csv);
    EXPECT_EQ(le(pasta / "velho.csv"), csv);
    struct stat st {};
    ::stat((pasta / "velho.csv").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640U);
    EXPECT_TRUE(std::filesystem::is_symlink(pasta / "fd1"));
    EXPECT_TRUE(std::filesystem::is_fifo(pasta / "fifo"));
    if (root) {
        EXPECT_TRUE(std::filesystem::is_character_file(pasta / "nulo"));
    }
    EXPECT_EQ(temporarios(pasta), 0U);
}

// A kill in the middle of a book's commit leaves it as before or after the change, whole, and
// usable: customers imported, lines imported.
TEST(ContacelClientes, LivroMortoNoMeioDaGravacao) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    std::string csv = "codigo,nome,endereco\n";
    std::string linhas = "numero,cliente\n";
    for (int i = 1; i <= 500; ++i) {
        csv += std::to_string(i) + ",Cliente " + std::to_string(i) + ",Rua\n";
        linhas += "ramal" + std::to_string(i) + ",1\n";
    }
    grava(pasta / "c.csv", csv);
    grava(pasta / "l.csv", linhas);
    ASSERT_EQ(roda({f, "incluir", "1", "Ana", "Rua", "l.db"}, pasta).status, 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{f, "importar", "c.csv", "l.db", "--forcar"},
          {f, "linhas", "importar", "l.csv", "l.db"}}) {
        ::setenv("CONTACEL_SINAL_NO_FSYNC", std::to_string(SIGKILL).c_str(), 1);
        ::setenv("LD_PRELOAD", caminho_falhas, 1);
        const Resultado morto = roda(args, pasta);
        ::unsetenv("LD_PRELOAD");
        ::unsetenv("CONTACEL_SINAL_NO_FSYNC");
        EXPECT_EQ(morto.status, 128 + SIGKILL) << args[1] << morto.erro;
        const bool de_linhas = args[1] == "linhas";
        const std::string lista =
            roda(de_linhas ? std::vector<std::string>{f, "linhas", "listar", "l.db"}
                           : std::vector<std::string>{f, "listar", "l.db"},
                 pasta)
                .saida;
        const auto n = std::count(lista.begin(), lista.end(), '\n');
        EXPECT_TRUE(n == 500 || n == (de_linhas ? 0 : 1)) << args[1] << ": " << n;
        EXPECT_EQ(roda({f, "verificar", "l.db"}, pasta).status, 0);
    }
}

// A signal in the middle of a write: by default it kills the tool, which leaves the register as
// it was and no temporary file; ignored by the parent, it stays ignored and the change is made.
TEST(ContacelClientes, SinalNoMeioDaGravacao) {
    for (const int sinal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPWR, SIGVTALRM, SIGPROF, SIGIO,
                            SIGSYS, SIGRTMIN, SIGRTMAX}) {
        for (const bool ignorado : {false, true}) {
            PastaTemp pasta;
            grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
            ::setenv("CONTACEL_SINAL_NO_FSYNC", std::to_string(sinal).c_str(), 1);
            ::setenv("LD_PRELOAD", caminho_falhas, 1);
            const auto antes = std::signal(sinal, ignorado ? SIG_IGN : SIG_DFL);
            const Resultado r = roda({caminho_contacel_clientes, "incluir", "6", "a", "b"}, pasta);
            std::signal(sinal, antes);
            ::unsetenv("LD_PRELOAD");
            ::unsetenv("CONTACEL_SINAL_NO_FSYNC");
            const std::string caso = std::to_string(sinal) + (ignorado ? " ignorado" : "");
            EXPECT_EQ(r.status, ignorado ? 0 : 128 + sinal) << caso;
            EXPECT_EQ(le(pasta / "clientes.arq").size(), 4U + (ignorado ? 6U : 5U) * 108U) << caso;
            EXPECT_EQ(temporarios(pasta), 0U) << caso;
        }
    }
}

// A folder that cannot be flushed to the disk is a failed change; standard output beyond the
// file-size limit is a failed write, not a death by SIGXFSZ.
TEST(ContacelClientes, PastaQueNaoVaiAoDiscoESaidaAlemDoLimite) {
    PastaTemp pasta;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    ::setenv("CONTACEL_FSYNC_PASTA", "1", 1);
    ::setenv("LD_PRELOAD", caminho_falhas, 1);
    const Resultado r = roda({caminho_contacel_clientes, "incluir", "6", "a", "b"}, pasta);
    ::unsetenv("LD_PRELOAD");
    ::unsetenv("CONTACEL_FSYNC_PASTA");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.erro.ends_with(": Input/output error\n")) << r.erro;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{caminho_contacel_clientes, "listar"},
          {caminho_contacel_exportar, "contas", "--semente", "1"}})
        EXPECT_EQ(roda(args, pasta, "/dev/null", {}, 0).status, 1) << args[1];
}

// Where the file system has no hard links, a new file is still made, and still only once.
TEST(ContacelClientes, SistemaDeArquivosSemLinks) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    ::setenv("CONTACEL_SEM_LINK", "1", 1);
    ::setenv("LD_PRELOAD", caminho_falhas, 1);
    const Resultado primeiro = roda({f, "gerar", "5", "--semente", "1"}, pasta);
    const Resultado segundo = roda({f, "gerar", "6"}, pasta);
    ::unsetenv("LD_PRELOAD");
    ::unsetenv("CONTACEL_SEM_LINK");
    EXPECT_EQ(primeiro.status, 0) << primeiro.erro;
    EXPECT_EQ(segundo.erro,
              "contacel-clientes: clientes.arq: o arquivo ja existe (use --forcar para "
              "substitui-lo)\n");
    EXPECT_EQ(le(pasta / "clientes.arq").size(), 4U + 5U * 108U);
    EXPECT_EQ(temporarios(pasta), 0U);
}

// Without a converter no text can be judged or written: one line, exit 1, nothing written,
// by either program.
TEST(ContacelClientes, SemConversorNadaEEscrito) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    ::setenv("CONTACEL_SEM_ICONV", "1", 1);
    ::setenv("LD_PRELOAD", caminho_falhas, 1);
    const Resultado exportado = roda({f, "exportar"}, pasta);
    const Resultado incluido = roda({f, "incluir", "6", "a", "b"}, pasta);
    const Resultado listado = roda({f, "listar", "--utf8"}, pasta);
    const Resultado verificado = roda({f, "verificar"}, pasta);
    const std::string x = caminho_contacel_exportar;
    const Resultado contas = roda({x, "contas", "--semente", "1"}, pasta);
    const Resultado faturas = roda({x, "faturas", "--semente", "1"}, pasta);
    ::unsetenv("LD_PRELOAD");
    ::unsetenv("CONTACEL_SEM_ICONV");
    const std::string motivo = "conversao entre UTF-8 e IBM850 indisponivel: ";
    for (const Resultado& r : {exportado, incluido, listado, verificado}) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.saida, "");
        EXPECT_TRUE(r.erro.starts_with("contacel-clientes: clientes.arq: " + motivo)) << r.erro;
    }
    for (const Resultado& r : {contas, faturas}) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.saida, "");
        EXPECT_TRUE(r.erro.starts_with("contacel-exportar: " + motivo)) << r.erro;
    }
    EXPECT_EQ(le(pasta / "clientes.arq"), arquivo_valido(5).bytes());
}

// The fields of one CSV row, quotes undone (RFC 4180, one line).
std::vector<std::string> campos_csv(std::string_view linha) {
    std::vector<std::string> campos(1);
    bool aspas = false;
    for (std::size_t i = 0; i < linha.size(); ++i) {
        const char c = linha[i];
        if (aspas && c == '"' && i + 1 < linha.size() && linha[i + 1] == '"') {
            campos.back() += '"';
            ++i;
        } else if (c == '"') {
            aspas = !aspas;
        } else if (c == ',' && !aspas) {
            campos.emplace_back();
        } else {
            campos.back() += c;
        }
    }
    return campos;
}

std::vector<std::vector<std::string>> csv_de(const std::string& texto) {
    std::vector<std::vector<std::string>> linhas;
    std::istringstream in(texto);
    for (std::string l; std::getline(in, l);)
        linhas.push_back(campos_csv(l));
    return linhas;
}

// "dd/mm/aaaa hh:mm:ss" as "aaaa-mm-dd hh:mm:ss".
std::string iso(std::string_view br) {
    return std::string(br.substr(6, 4)) + "-" + std::string(br.substr(3, 2)) + "-" +
           std::string(br.substr(0, 2)) + std::string(br.substr(10));
}

std::time_t segundos(const std::string& iso) {
    std::tm tm{};
    ::strptime(iso.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
    return ::timegm(&tm);
}

// What contacel prints in the second `s`, its clock stopped there.
std::string contacel_no_segundo(const PastaTemp& pasta, long s) {
    ::setenv("CONTACEL_RELOGIO", std::to_string(s).c_str(), 1);
    ::setenv("LD_PRELOAD", caminho_relogio_fixo, 1);
    const Resultado r = roda({caminho_contacel}, pasta);
    ::unsetenv("LD_PRELOAD");
    EXPECT_EQ(r.status, 0) << r.erro;
    return r.saida;
}

// For several seconds and registers, every field of every call and bill is what contacel
// prints in that second; the end of a call is its start plus its duration.
TEST(ContacelExportar, CadaCampoEOQueOProgramaImprime) {
    const std::string especial = ArquivoClientes(5)
                                     .registro(3, "Concei\x87\xC6o \"Z\", Jr.",
                                               "Pra\x87"
                                               "a \xA0, 1")
                                     .registro(1, "Ana", "Rua A")
                                     .registro(2, "Rui", "Rua B")
                                     .registro(5, "Sara", "Rua C")
                                     .registro(4, "Tiago", "Rua D")
                                     .bytes();
    const std::map<std::string, std::string> utf8{
        {"Concei\x87\xC6o \"Z\", Jr.", "Concei\xC3\xA7\xC3\xA3o \"Z\", Jr."},
        {"Pra\x87"
         "a \xA0, 1",
         "Pra\xC3\xA7"
         "a \xC3\xA1, 1"}};
    const auto em_utf8 = [&](const std::string& s) { return utf8.contains(s) ? utf8.at(s) : s; };
    const std::string f = caminho_contacel_exportar;
    for (const std::string& cadastro : {le(caminho_exemplo), especial}) {
        for (const long s : {0L, 5L, 1512122400L, 1700000000L}) {
            PastaTemp pasta;
            grava(pasta / "clientes.arq", cadastro);
            const std::string texto = contacel_no_segundo(pasta, s);
            const std::string sem = std::to_string(s);
            const auto chamadas = csv_de(roda({f, "chamadas", "--semente", sem}, pasta).saida);
            const auto contas = csv_de(roda({f, "contas", "--semente", sem}, pasta).saida);
            ASSERT_EQ(chamadas.size(), 201U);
            EXPECT_EQ(chamadas[0],
                      (std::vector<std::string>{"origem", "destino", "telefone_destino", "inicio",
                                                "fim", "duracao", "valor"}));
            std::istringstream in(texto);
            std::string l;
            for (std::size_t i = 1; i <= 200; ++i) {
                std::getline(in, l);
                const auto& c = chamadas[i];
                EXPECT_EQ(std::stoi(c[0]), std::stoi(l.substr(0, 3)));
                EXPECT_EQ(std::stoi(c[1]), std::stoi(l.substr(4, 3)));
                EXPECT_EQ(c[3], iso(l.substr(9, 19)));
                EXPECT_EQ(c[5], std::to_string(std::stoi(l.substr(29, 4))));
                EXPECT_EQ(segundos(c[4]) - segundos(c[3]), std::stoi(c[5]));
            }
            // The bills follow the list's order: the k-th bill line is the k-th call.
            std::size_t chamada = 1;
            std::size_t conta = 0;
            std::size_t na_conta = 0;
            for (; std::getline(in, l);) {
                if (l.starts_with("CONTA DE TELEFONIA CELULAR")) {
                    const auto& c = contas.at(++conta);
                    EXPECT_EQ(c[3], l.find("Novembro") != std::string::npos ? "11" : "12");
                    EXPECT_EQ(c[4], l.substr(l.size() - 4));
                    EXPECT_EQ(c[0], chamadas.at(chamada)[0]);
                    na_conta = 0;
                } else if (l.starts_with("Cliente:  ")) {
                    EXPECT_EQ(contas[conta][1], em_utf8(l.substr(10)));
                } else if (l.starts_with("Endere\x87o: ")) {
                    EXPECT_EQ(contas[conta][2], em_utf8(l.substr(10)));
                } else if (l.starts_with("(")) {
                    const auto& c = chamadas.at(chamada++);
                    EXPECT_EQ(c[2], l.substr(0, 16));
                    EXPECT_EQ(c[3], iso(l.substr(17, 19)));
                    EXPECT_EQ(c[5], std::to_string(std::stoi(l.substr(37, 5))));
                    EXPECT_EQ(c[6], l.substr(l.rfind(' ') + 1));
                    ++na_conta;
                } else if (l.starts_with("          ") && !l.ends_with("------")) {
                    std::istringstream t(l);
                    std::string seg;
                    std::string valor;
                    t >> seg >> valor;
                    EXPECT_EQ(contas[conta][5], std::to_string(na_conta));
                    EXPECT_EQ(contas[conta][6], seg);
                    EXPECT_EQ(contas[conta][7], valor);
                } else if (l.starts_with("Vencimento:")) {
                    EXPECT_EQ(contas[conta][8], iso(l.substr(11, 10)));
                }
            }
            EXPECT_EQ(chamada, 201U);
            EXPECT_EQ(conta + 1, contas.size());
        }
    }
}

TEST(ContacelExportar, ErrosDeUsoCadastroESaida) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_exportar;
    grava(pasta / "quatro.arq", arquivo_valido(4).bytes());
    grava(pasta / "clientes.arq", arquivo_valido(5).bytes());
    // Usage errors: the first line exactly, then a pointer at --ajuda.
    const std::pair<std::vector<std::string>, std::string> usos[] = {
        {{}, "falta o que exportar: chamadas, contas ou faturas"},
        {{"fatura"}, "exportacao desconhecida: fatura (chamadas, contas ou faturas)"},
        {{"contas", "--semente"}, "falta o valor de --semente"},
        {{"contas", "--semente", "12x"}, "semente invalida"},
        {{"contas", "--semente=1", "--semente", "1"}, "opcao repetida: --semente"},
        {{"contas", "chamadas"}, "argumentos demais"},
        {{"--ajuda", "contas", "x"}, "argumentos demais"},
        {{"contas", "--", "--semente"}, "argumentos demais"},
        {{"chamadas", "--rapido"}, "opcao invalida: --rapido"},
        {{"contas", "--pasta", "p"}, "--pasta, --emissor e --pix-* sao de faturas"},
        {{"faturas", "--forcar"}, "--forcar so com --pasta"},
        {{"faturas", "--pasta="}, "--pasta vazia"},
        {{"faturas", "--pix-chave", "52998224725"},
         "--pix-chave, --pix-nome e --pix-cidade vao juntas, ou com o [pix] de --emissor"},
        {{"contas", "--semente", "1", "--instante", "2017-12-01 10:00:00"},
         "--semente ou --instante, nao ambos"},
        {{"contas", "--chamadas", "r.csv", "--semente", "1"}, "--chamadas ou INSTANTE"},
        {{"contas", "--mes", "2024-12"},
         "--linhas, --mes, --rejeitadas e --tarifas so com --chamadas"},
        {{"contas", "--tarifas", "t.toml"}, "--linhas, --mes, --rejeitadas e --tarifas so com"},
        {{"contas", "--chamadas", "r.csv", "--mes", "2024-13"}, "mes invalido: \"2024-13\""},
        {{"contas", "--tarefas", "2"}, "--tarefas so com --chamadas"},
        {{"contas", "--chamadas", "r.csv", "--tarefas", "0"},
         "--tarefas deve ser um numero de 1 a 256"},
        {{"chamadas", "--chamadas", "r.csv", "--chamadas="}, "--chamadas vazio"},
        {{"contas", "--forcar"}, "--forcar so com --pasta ou --rejeitadas"},
        {{"contas", "--instante", "2017-02-29 10:00:00"},
         "instante \"2017-02-29 10:00:00\" invalido"},
    };
    for (const auto& [palavras, motivo] : usos) {
        std::vector<std::string> args{f};
        args.insert(args.end(), palavras.begin(), palavras.end());
        const Resultado r = roda(args, pasta);
        EXPECT_EQ(r.status, 2) << motivo;
        EXPECT_TRUE(r.erro.starts_with("contacel-exportar: " + motivo)) << r.erro;
        EXPECT_TRUE(
            r.erro.ends_with("\nTente 'contacel-exportar --ajuda' para mais informacoes.\n"))
            << r.erro;
        EXPECT_EQ(r.saida, "");
    }
    // Help and version on standard output, and a failure to write them is not success.
    for (const std::string opcao : {"--ajuda", "--help", "-h", "--versao", "--version", "-V"}) {
        const Resultado r = roda({f, opcao}, pasta);
        EXPECT_EQ(r.status, 0) << opcao;
        EXPECT_TRUE(r.saida.starts_with(opcao.find('V') != std::string::npos ||
                                                opcao.find("vers") != std::string::npos
                                            ? "contacel-exportar 1.1.0\n"
                                            : "uso: contacel-exportar"))
            << opcao;
        const Resultado cheio = roda({f, opcao}, pasta, "/dev/null", "/dev/full");
        EXPECT_EQ(cheio.status, 1) << opcao;
        EXPECT_EQ(cheio.erro, "contacel-exportar: erro ao escrever na saida padrao\n");
    }
    // The register is refused with the run's own reason.
    Resultado r = roda({f, "contas", "--clientes", "quatro.arq"}, pasta);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.erro,
              "contacel-exportar: quatro.arq: o cadastro tem 4 clientes; a execucao "
              "precisa de pelo menos 5\n");
    EXPECT_EQ(r.saida, "");
    r = roda({f, "chamadas", "--semente", "1"}, pasta, "/dev/null", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.erro, "contacel-exportar: erro ao escrever na saida padrao\n");
}

// The bills as PDF: on standard output the same bytes for the same second; with --pasta one
// file per bill, an existing one replaced only with --forcar; a refused Pix key before any
// output; a failed write with one line.
TEST(ContacelExportar, FaturasNaSaidaENaPasta) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_exportar;
    std::filesystem::copy_file(caminho_exemplo, pasta / "clientes.arq");
    std::filesystem::copy_file(
        std::filesystem::path(caminho_exemplo).parent_path() / "emissor.toml", pasta / "e.toml");
    std::filesystem::create_directory(pasta / "contas");
    // A folder where a bill goes stops every bill, even when replacing.
    std::filesystem::create_directories(pasta / "contas" / "pasta" / "3-2017-12.pdf");
    const std::vector<std::string> base{f, "faturas", "--semente", "1512122400"};
    const auto com = [&](std::vector<std::string> mais) {
        std::vector<std::string> a = base;
        a.insert(a.end(), mais.begin(), mais.end());
        return a;
    };
    const Resultado r = roda(base, pasta);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.saida.starts_with("%PDF-"));
    EXPECT_EQ(roda(base, pasta).saida, r.saida);
    struct Caso {
        std::vector<std::string> args;
        const char* destino;
        int status;
        std::string erro;
    };
    const Caso casos[] = {
        {base, "/dev/full", 1, "contacel-exportar: erro ao escrever na saida padrao\n"},
        {com({"--pix-chave", "52998224724", "--pix-nome", "N", "--pix-cidade", "C"}), nullptr, 2,
         "contacel-exportar: chave pix: CPF com digitos verificadores errados\n"
         "Tente 'contacel-exportar --ajuda' para mais informacoes.\n"},
        {com({"--emissor", "x.toml"}), nullptr, 1,
         "contacel-exportar: x.toml: nao foi possivel ler: No such file or directory\n"},
        {com({"--emissor", "x.toml", "--pix-cidade", "Cidade de Sao Paulo"}), nullptr, 2,
         "contacel-exportar: cidade do recebedor pix com mais de 15 caracteres\n"
         "Tente 'contacel-exportar --ajuda' para mais informacoes.\n"},
        {com({"--pasta", "contas", "--emissor", "e.toml", "--pix-chave", "+5585988776655"}),
         nullptr, 0, ""},
        {com({"--pasta", "contas"}), nullptr, 1,
         "contacel-exportar: contas/1-2017-11.pdf: o arquivo ja existe (use --forcar para "
         "substitui-lo)\n"},
        {com({"--pasta", "contas/pasta", "--forcar"}), nullptr, 1,
         "contacel-exportar: contas/pasta/3-2017-12.pdf: nao e um arquivo regular\n"},
        {com({"--pasta", "contas", "--forcar", "--pix-chave", "+5585988776655", "--pix-nome",
              "Contacel", "--pix-cidade", "Fortaleza"}),
         nullptr, 0, ""},
    };
    for (const Caso& c : casos) {
        const Resultado rc =
            c.destino ? roda(c.args, pasta, "/dev/null", c.destino) : roda(c.args, pasta);
        EXPECT_EQ(rc.status, c.status) << c.args.back();
        EXPECT_EQ(rc.erro, c.erro) << c.args.back();
        EXPECT_EQ(rc.saida, "") << c.args.back();
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pasta / "contas" / "pasta"), {}),
              1);
    // A program without the bills' module, beside it or where the package puts it: one line
    // naming the module.
    std::filesystem::copy_file(f, pasta / "sem-modulo");
    const Resultado rm = roda({(pasta / "sem-modulo").string(), "faturas"}, pasta);
    EXPECT_EQ(rm.status, 1);
    EXPECT_TRUE(rm.erro.starts_with("contacel-exportar: faturas em PDF indisponiveis: " +
                                    (pasta / "../lib/").string()))
        << rm.erro;
    EXPECT_TRUE(
        rm.erro.ends_with("/contacel/contacel-faturas.so: cannot open shared object "
                          "file: No such file or directory\n"))
        << rm.erro;
    EXPECT_EQ(linhas(rm.erro), 1U);
    // All or none: a link that leads nowhere is in the way, a full disk stops the second bill,
    // and the register is never a bill, even under a bill's name and with --forcar.
    std::filesystem::create_directory(pasta / "vazia");
    std::filesystem::create_symlink("nada", pasta / "vazia" / "2-2017-12.pdf");
    // The largest bill is one byte over the limit; the others, written before it, fit.
    rlim_t limite = 0;
    for (const auto& e : std::filesystem::directory_iterator(pasta / "contas"))
        if (e.is_regular_file()) limite = std::max(limite, static_cast<rlim_t>(e.file_size()) - 1);
    Resultado rv = roda(com({"--pasta", "vazia"}), pasta);
    EXPECT_EQ(rv.erro,
              "contacel-exportar: vazia/2-2017-12.pdf: o arquivo ja existe (use --forcar para "
              "substitui-lo)\n");
    rv = roda(com({"--pasta", "vazia", "--forcar", "--pix-chave", "+5585988776655", "--pix-nome",
                   "Contacel", "--pix-cidade", "Fortaleza"}),
              pasta, "/dev/null", {}, limite);
    EXPECT_TRUE(rv.erro.ends_with(": erro ao gravar: File too large\n")) << rv.erro;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pasta / "vazia"), {}), 1);
    std::filesystem::copy_file(caminho_exemplo, pasta / "1-2017-11.pdf");
    rv = roda(com({"--pasta", ".", "--forcar", "--clientes", "1-2017-11.pdf"}), pasta);
    EXPECT_EQ(rv.erro,
              "contacel-exportar: ./1-2017-11.pdf: e o proprio cadastro; nada foi escrito\n");
    EXPECT_EQ(le(pasta / "1-2017-11.pdf"), le(caminho_exemplo));
    // Nor any other file the run reads (the issuer here; the records and lines files alike).
    std::filesystem::copy_file(pasta / "e.toml", pasta / "2-2017-11.pdf");
    rv = roda(com({"--pasta", ".", "--forcar", "--emissor", "2-2017-11.pdf"}), pasta);
    EXPECT_EQ(rv.erro,
              "contacel-exportar: ./2-2017-11.pdf: e um dos arquivos lidos; nada foi escrito\n");
    EXPECT_EQ(le(pasta / "2-2017-11.pdf"), le(pasta / "e.toml"));
    EXPECT_FALSE(std::filesystem::exists(pasta / "1-2017-12.pdf"));
    std::filesystem::remove_all(pasta / "contas" / "pasta");
    std::vector<std::string> nomes;
    for (const auto& e : std::filesystem::directory_iterator(pasta / "contas"))
        nomes.push_back(e.path().filename().string());
    std::sort(nomes.begin(), nomes.end());
    EXPECT_EQ(nomes, (std::vector<std::string>{"1-2017-11.pdf", "1-2017-12.pdf", "2-2017-11.pdf",
                                               "2-2017-12.pdf", "3-2017-11.pdf", "3-2017-12.pdf",
                                               "4-2017-11.pdf", "4-2017-12.pdf", "5-2017-11.pdf",
                                               "5-2017-12.pdf"}));
    EXPECT_TRUE(le(pasta / "contas" / "1-2017-11.pdf").starts_with("%PDF-"));
    EXPECT_EQ(temporarios(pasta), 0U);
}

// Records of `clientes` customers, one call each month for `meses` months from January 2023.
std::string registros_mensais(int clientes, int meses) {
    std::string csv;
    for (int m = 0; m < meses; ++m)
        for (int c = 1; c <= clientes; ++c) {
            const std::string dia = fmt::format("{}-{:02}-01 10:0", 2023 + m / 12, m % 12 + 1);
            csv += fmt::format(R"("{}","85988774123","8532345678","c","","","","","","{}0:00",)"
                               R"("{}0:05","{}1:05",65,60,"ANSWERED","DOCUMENTATION")"
                               "\n",
                               c, dia, dia, dia);
        }
    return csv;
}

// Every file of a folder and its bytes.
std::map<std::string, std::string> conteudo(const std::filesystem::path& pasta) {
    std::map<std::string, std::string> m;
    for (const auto& e : std::filesystem::directory_iterator(pasta))
        m[e.path().filename().string()] = le(e.path());
    return m;
}

// A folder of 200 bills replaced under a signal, at a random moment of the run or in the middle
// of the renames that give the bills their names, is either as it was or wholly new, with no
// lock left. After SIGKILL, which leaves every lock, the next run says so in one line.
TEST(ContacelExportar, FaturasNaPastaTodasOuNenhumaSobSinal) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_exportar;
    grava(pasta / "clientes.arq", arquivo_valido(20).bytes());
    grava(pasta / "r.csv", registros_mensais(20, 10));
    std::filesystem::create_directory(pasta / "b");
    const std::vector<std::string> base{f, "faturas", "--chamadas", "r.csv", "--forcar"};
    const std::vector<std::string> pix{"--pix-chave", "+5585988776655", "--pix-nome",
                                       "C",           "--pix-cidade",   "F"};
    // The two sets a run may leave: without a Pix QR code and with one.
    std::array<std::map<std::string, std::string>, 2> conjuntos;
    ::setenv("LD_PRELOAD", caminho_falhas, 1);
    ::setenv("CONTACEL_SEM_FSYNC", "1", 1);
    for (std::size_t k = 0; k < 2; ++k) {
        std::vector<std::string> args = base;
        args.insert(args.end(), {"--pasta", "b"});
        if (k == 1) args.insert(args.end(), pix.begin(), pix.end());
        ASSERT_EQ(roda(args, pasta).status, 0);
        conjuntos[k] = conteudo(pasta / "b");
    }
    ASSERT_EQ(conjuntos[1].size(), 200U);
    std::mt19937 aleatorio(20240301);
    std::size_t atual = 1;
    for (std::size_t vez = 0; vez < 6; ++vez) {
        const int sinal = std::array{SIGINT, SIGTERM, SIGHUP}[vez % 3];
        std::vector<std::string> args = base;
        args.insert(args.end(), {"--pasta", "b"});
        if (atual == 0) args.insert(args.end(), pix.begin(), pix.end());
        const bool na_troca = vez % 2 == 0;
        if (na_troca) {
            const auto n = std::uniform_int_distribution<int>(1, 200)(aleatorio);
            ::setenv("CONTACEL_SINAL_NO_RENAME", fmt::format("{} {}", n, sinal).c_str(), 1);
        }
        const pid_t pid = inicia(args, pasta);
        if (!na_troca) {
            const auto ms = std::uniform_int_distribution<int>(0, 500)(aleatorio);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            ::kill(pid, sinal);
        }
        const int status = espera(pid);
        ::unsetenv("CONTACEL_SINAL_NO_RENAME");
        const auto agora = conteudo(pasta / "b");
        const auto iguais = [&](const std::map<std::string, std::string>& conjunto) {
            return std::ranges::count_if(agora, [&](const auto& a) {
                return conjunto.contains(a.first) && conjunto.at(a.first) == a.second;
            });
        };
        const auto velhas = iguais(conjuntos[atual]);
        const auto novas = iguais(conjuntos[1 - atual]);
        const std::string caso = std::to_string(vez) + ": status " + std::to_string(status) + ", " +
                                 std::to_string(velhas) + " velhas e " + std::to_string(novas) +
                                 " novas";
        EXPECT_TRUE(status == 0 || status == 128 + sinal) << caso;
        EXPECT_TRUE(agora.size() == 200 && (velhas == 200 || novas == 200)) << caso;
        EXPECT_TRUE(!na_troca || novas == 200) << caso;
        EXPECT_EQ(temporarios(pasta), 0U) << caso;
        if (novas == 200) atual = 1 - atual;
    }
    // SIGKILL once every bill is locked.
    std::vector<std::string> args = base;
    args.insert(args.end(), {"--pasta", "b"});
    const pid_t pid = inicia(args, pasta);
    for (int i = 0; i < 2000 && temporarios(pasta) < 200; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(pid, SIGKILL);
    espera(pid);
    ::unsetenv("CONTACEL_SEM_FSYNC");
    ::unsetenv("LD_PRELOAD");
    const std::size_t travas = temporarios(pasta);
    ASSERT_GE(travas, 2U);
    // As a later run finds them.
    const timeval hora_atras[2]{{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
    for (const auto& e : std::filesystem::directory_iterator(pasta / "b"))
        ::utimes(e.path().c_str(), hora_atras);
    const Resultado r = roda(args, pasta);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.erro, "contacel-exportar: " + std::to_string(travas) +
                          " travas de uma gravacao interrompida em b; remova b/*.lock\n");
}

// Bills issued from a book, under kills: SIGKILL after the documents have their names and before
// the book keeps them leaves the book as it was, and the same run again gives the same numbers
// and bytes; a signal held over the renames lands once the book keeps them. Then a bill is never
// issued twice, and its second copy is the same bytes, or refused when the records changed.
TEST(ContacelExportar, FaturasDoLivroNumeradasUmaVez) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_exportar;
    grava(pasta / "c.csv", "codigo,nome,endereco\n1,Ana,Rua\n2,Bia,Rua\n");
    ASSERT_EQ(roda({caminho_contacel_clientes, "importar", "c.csv", "l.db"}, pasta).status, 0);
    const std::string r = registros_mensais(2, 2);
    grava(pasta / "r.csv", r);
    grava(pasta / "tarde.csv", r + R"("1","85988774123","8532345678","c","","","","","",)"
                                   R"("2023-01-15 10:00:00","2023-01-15 10:00:05",)"
                                   R"("2023-01-15 10:01:05",65,60,"ANSWERED","DOCUMENTATION")"
                                   "\n");
    const auto exporta = [&](const std::string& oque, const std::string& registros,
                             std::vector<std::string> mais) {
        mais.insert(mais.begin(), {f, oque, "--chamadas", registros, "--clientes", "l.db"});
        return roda(mais, pasta);
    };
    // The book's calls, by what `contas` bills again.
    const auto ja_faturados = [&] {
        const std::string e = exporta("contas", "r.csv", {}).erro;
        return e.substr(e.find("duplicados, ") + 12);
    };
    const std::vector<std::string> janeiro{"--mes", "2023-01", "--pasta", "b"};
    std::vector<std::string> forcado = janeiro;
    forcado.emplace_back("--forcar");
    std::filesystem::create_directories(pasta / "b");
    std::filesystem::create_directories(pasta / "c");
    ::setenv("LD_PRELOAD", caminho_falhas, 1);
    ::setenv("CONTACEL_SINAL_NO_RENAME", "2 9", 1);
    EXPECT_EQ(exporta("faturas", "r.csv", forcado).status, 128 + SIGKILL);
    ::setenv("CONTACEL_SINAL_NO_RENAME", "1 2", 1);
    const auto orfas = conteudo(pasta / "b");
    EXPECT_EQ(orfas.size(), 2U);
    EXPECT_EQ(ja_faturados(), "0 ja faturados\n");
    EXPECT_EQ(exporta("faturas", "r.csv", janeiro).erro,
              "contacel-exportar: b/1-2023-01.pdf: o arquivo ja existe (use --forcar para "
              "substitui-lo)\n");
    EXPECT_EQ(exporta("faturas", "r.csv", forcado).status, 128 + SIGINT);
    ::unsetenv("CONTACEL_SINAL_NO_RENAME");
    ::unsetenv("LD_PRELOAD");
    EXPECT_EQ(conteudo(pasta / "b"), orfas);
    EXPECT_EQ(ja_faturados(), "2 ja faturados\n");
    EXPECT_EQ(exporta("contas", "tarde.csv", {}).saida,
              "cliente,nome,endereco,mes,ano,chamadas,duracao_total,valor_total,vencimento,"
              "fatura\n1,Ana,Rua,1,2023,1,60,0.60,2023-02-10,2023-000001\n"
              "1,Ana,Rua,2,2023,1,60,0.60,2023-03-10,\n2,Bia,Rua,2,2023,1,60,0.60,2023-03-10,\n");
    // Every month but the one issued; never twice; the second copy, the same bytes.
    const std::array<std::string, 3> casos[] = {
        {"r.csv", "--pasta b", "2 cobrados em 2 contas, 0 de outros meses"},
        {"tarde.csv", "--pasta c",
         "l.db: a conta de 01/2023 do cliente 1 ja foi emitida, fatura 2023-000001, e os "
         "registros tem chamadas dela nao faturadas (1); --mes escolhe outro mes\n"},
        {"tarde.csv", "--segunda-via --mes 2023-01 --pasta c",
         "l.db: a fatura 2023-000001 (cliente 1, 01/2023) nao e a dos registros: foi de R$ 0,60, "
         "os registros dao R$ 1,20; a segunda via seria outra conta\n"},
        {"r.csv", "--segunda-via --mes 2023-01 --pasta c", ", 0 ja faturados\n"},
        {"r.csv", "", "com um livro, as faturas vao para --pasta, cada uma no seu arquivo\n"},
    };
    for (const auto& [registros, opcoes, diz] : casos) {
        std::vector<std::string> mais;
        std::istringstream palavras(opcoes);
        for (std::string p; palavras >> p;)
            mais.push_back(p);
        const Resultado x = exporta("faturas", registros, mais);
        EXPECT_NE(x.erro.find(diz), std::string::npos) << opcoes << x.erro;
        EXPECT_EQ(x.status, diz.ends_with("faturados\n") || diz.ends_with("meses") ? 0
                            : opcoes.empty()                                       ? 2
                                                                                   : 1)
            << opcoes;
    }
    EXPECT_EQ(conteudo(pasta / "b").size(), 4U);
    EXPECT_EQ(conteudo(pasta / "c"), orfas);
}

// No output ever lands on a file the command reads, through a symbolic or a hard link, standard
// output included; a link in the bills folder is replaced as itself, never followed out of it;
// a month without bills writes nothing and says so.
TEST(ContacelExportar, SaidasNuncaSobreOQueSeLe) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_exportar;
    std::filesystem::copy_file(caminho_exemplo, pasta / "clientes.arq");
    std::filesystem::copy_file(
        std::filesystem::path(caminho_exemplo).parent_path() / "emissor.toml", pasta / "e.toml");
    grava(pasta / "r.csv", registros_mensais(1, 1));
    grava(pasta / "fora.txt", "fora");
    std::filesystem::create_hard_link(pasta / "e.toml", pasta / "duro.toml");
    std::filesystem::create_hard_link(pasta / "r.csv", pasta / "duro.csv");
    std::filesystem::create_symlink("e.toml", pasta / "liga.toml");
    for (const char* p : {"p", "vazia"})
        std::filesystem::create_directory(pasta / p);
    std::filesystem::create_symlink("../fora.txt", pasta / "p" / "1-2023-01.pdf");
    const std::string resumo =
        " registros: {} cobrados em {} contas, {} de outros meses, 0 nao "
        "cobraveis, 0 sem cliente, 0 rejeitados, 0 duplicados\n";
    const std::string nada =
        "contacel-exportar: nenhuma chamada cobrada; nenhuma fatura foi "
        "escrita\n1" +
        fmt::format(fmt::runtime(resumo), 0, 0, 1);
    struct Caso {
        std::vector<std::string> args;
        std::optional<std::string> destino;
        int status;
        std::string erro;
        const char* entrada = "/dev/null";
    };
    const std::vector<std::string> fat{"faturas", "--chamadas", "r.csv"};
    const auto com = [&](std::vector<std::string> mais) {
        mais.insert(mais.begin(), fat.begin(), fat.end());
        return mais;
    };
    const Caso casos[] = {
        {com({"--emissor", "e.toml"}), ">>e.toml", 1,
         "e.toml: a saida padrao e este arquivo lido; nada foi escrito"},
        {{"faturas", "--semente", "1", "--emissor", "liga.toml"},
         ">>duro.toml",
         1,
         "liga.toml: a saida padrao e este arquivo lido; nada foi escrito"},
        {com({"--emissor", "liga.toml", "--rejeitadas", "duro.toml", "--forcar"}),
         {},
         1,
         "duro.toml: e um dos arquivos lidos"},
        {{"contas", "--chamadas", "r.csv", "--rejeitadas", "duro.csv", "--forcar"},
         {},
         1,
         "duro.csv: e um dos arquivos lidos"},
        {{"contas", "--chamadas", "-"},
         ">>duro.csv",
         1,
         "-: a saida padrao e este arquivo lido; nada foi escrito",
         "r.csv"},
        {{"chamadas", "--chamadas", "-", "--rejeitadas", "duro.csv", "--forcar"},
         {},
         1,
         "duro.csv: e um dos arquivos lidos",
         "r.csv"},
        {com({"--pasta", "p"}),
         {},
         1,
         "p/1-2023-01.pdf: o arquivo ja existe (use --forcar para substitui-lo)"},
        {com({"--pasta", "p", "--forcar"}), {}, 0, ""},
        {com({"--pasta", "vazia", "--mes", "2024-01"}), {}, 0, nada},
        {com({"--mes", "2024-01"}), {}, 0, nada},
    };
    for (const Caso& c : casos) {
        std::vector<std::string> args{f};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Resultado r = roda(args, pasta, c.entrada, c.destino);
        EXPECT_EQ(r.status, c.status) << c.erro;
        if (c.status == 0) {
            EXPECT_EQ(r.erro,
                      c.erro.empty() ? "1" + fmt::format(fmt::runtime(resumo), 1, 1, 0) : c.erro);
            EXPECT_EQ(r.saida, "");
        } else {
            EXPECT_EQ(r.erro, "contacel-exportar: " + c.erro + "\n");
        }
    }
    EXPECT_EQ(le(pasta / "e.toml"),
              le(std::filesystem::path(caminho_exemplo).parent_path() / "emissor.toml"));
    EXPECT_EQ(le(pasta / "r.csv"), registros_mensais(1, 1));
    EXPECT_EQ(le(pasta / "fora.txt"), "fora");
    EXPECT_FALSE(std::filesystem::is_symlink(pasta / "p" / "1-2023-01.pdf"));
    EXPECT_TRUE(le(pasta / "p" / "1-2023-01.pdf").starts_with("%PDF-"));
    EXPECT_TRUE(std::filesystem::is_empty(pasta / "vazia"));
    EXPECT_EQ(temporarios(pasta), 0U);
}

// Records as the operator bills them: a bad row stops everything unless --rejeitadas takes it
// (a file replaced only with --forcar); an empty file holds no records; every outcome ends with
// one line on standard error.
TEST(ContacelExportar, RegistrosDeCentral) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_exportar;
    std::filesystem::copy_file(caminho_exemplo, pasta / "clientes.arq");
    const std::string pbx =
        R"("1","85988774123","8532345678","c","","","","","","2024-03-01 10:00:00",)";
    grava(pasta / "r.csv",
          pbx +
              R"("2024-03-01 10:00:05","2024-03-01 10:01:05",65,60,"ANSWERED","DOCUMENTATION")"
              "\n" +
              pbx +
              R"("","2024-02-30 10:00:00",9,9,"ANSWERED","DOCUMENTATION")"
              "\n");
    grava(pasta / "vazio.csv", "");
    const std::string cabecalho =
        "cliente,nome,endereco,mes,ano,chamadas,duracao_total,valor_total,vencimento\n";
    const std::string conta =
        "1,Felipe Araujo Moreira,\"Rua Pedro I, 456 AP 301\",3,2024,1,60,0.60,2024-04-10\n";
    const std::string resumo =
        " registros: 0 cobrados em 0 contas, 0 de outros meses, 0 nao cobraveis, 0 sem cliente, 0 "
        "rejeitados, 0 duplicados\n";
    struct Caso {
        std::vector<std::string> args;
        int status;
        std::string saida;
        std::string erro;
    };
    const Caso casos[] = {
        {{"contas", "--chamadas", "vazio.csv"}, 0, cabecalho, "0" + resumo},
        {{"contas", "--chamadas", "r.csv"}, 1, "", "contacel-exportar: r.csv:2: data impossivel\n"},
        {{"contas", "--chamadas", "r.csv", "--rejeitadas", "fora.csv"},
         0,
         cabecalho + conta,
         "2 registros: 1 cobrados em 1 contas, 0 de outros meses, 0 nao "
         "cobraveis, 0 sem cliente, 1 rejeitados, 0 duplicados\n"},
        {{"contas", "--chamadas", "r.csv", "--rejeitadas", "fora.csv"},
         1,
         "",
         "contacel-exportar: fora.csv: o arquivo ja existe (use --forcar para substitui-lo)\n"},
        {{"contas", "--chamadas", "r.csv", "--rejeitadas", "fora.csv", "--forcar", "--mes",
          "2024-04"},
         0,
         cabecalho,
         "2 registros: 0 cobrados em 0 contas, 1 de outros meses, 0 nao "
         "cobraveis, 0 sem cliente, 1 rejeitados, 0 duplicados\n"},
        {{"contas", "--chamadas", "r.csv", "--chamadas", "./r.csv"},
         1,
         "",
         "contacel-exportar: ./r.csv: e o mesmo arquivo que r.csv: as chamadas seriam cobradas "
         "duas vezes\n"},
    };
    for (const Caso& c : casos) {
        std::vector<std::string> args{f};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Resultado r = roda(args, pasta);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_EQ(r.saida, c.saida) << c.args.back();
        EXPECT_EQ(r.erro, c.erro) << c.args.back();
    }
    // The calls' CSV names the calling line, and its bills are those of the records.
    const std::vector<std::string> de_r{"--chamadas", "r.csv", "--rejeitadas", "fora.csv",
                                        "--forcar"};
    const auto exporta = [&](std::string oque, std::vector<std::string> args) {
        args.insert(args.begin(), {f, std::move(oque)});
        return roda(args, pasta).saida;
    };
    const std::string chamadas = exporta("chamadas", de_r);
    EXPECT_EQ(
        chamadas,
        "origem,destino,telefone_destino,inicio,fim,duracao,valor,linha\n"
        "1,,(85) 3234-5678,2024-03-01 10:00:05,2024-03-01 10:01:05,60,0.60,(85) 9 8877-4123\n");
    grava(pasta / "chamadas.csv", chamadas);
    EXPECT_EQ(exporta("faturas", {"--chamadas", "chamadas.csv"}), exporta("faturas", de_r));
    // So does the CSV of a price list, with the line's own plan.
    grava(pasta / "l.csv", "numero,cliente,plano\n85988774123,1,B\n");
    grava(pasta / "t.toml",
          "ddd = 85\n[[destino]]\nnome = \"Fixo\"\ntipo = \"local_fixo\"\n[[plano]]\nnome = "
          "\"A\"\nprecos = { \"Fixo\" = 0.10 }\n[[plano]]\nnome = \"B\"\nprecos = { \"Fixo\" = "
          "0.20 }\n");
    const std::vector<std::string> tarifas{"--linhas", "l.csv", "--tarifas", "t.toml"};
    std::vector<std::string> de_r_tarifado = de_r;
    de_r_tarifado.insert(de_r_tarifado.end(), tarifas.begin(), tarifas.end());
    grava(pasta / "tarifadas.csv", exporta("chamadas", de_r_tarifado));
    std::vector<std::string> do_csv{"--chamadas", "tarifadas.csv"};
    do_csv.insert(do_csv.end(), tarifas.begin(), tarifas.end());
    const std::string pdf = exporta("faturas", de_r_tarifado);
    EXPECT_EQ(exporta("faturas", do_csv), pdf);
    EXPECT_NE(exporta("contas", do_csv).find(",0.20,"), std::string::npos);
    // Standard output is never a file it reads nor the rejected rows' file, and bills that could
    // not be written leave no rejected rows' file behind.
    const std::string fora_antes = le(pasta / "fora.csv");
    const std::array<std::string, 3> saidas[] = {
        {"r.csv", "fora.csv", "r.csv: a saida padrao e este arquivo lido; nada foi escrito"},
        {"saida.csv", "saida.csv", "saida.csv: e a saida padrao"},
        {"/dev/full", "fora.csv", "erro ao escrever na saida padrao"},
    };
    for (const auto& [saida, rejeitadas, erro] : saidas) {
        const Resultado r =
            roda({f, "contas", "--chamadas", "r.csv", "--rejeitadas", rejeitadas, "--forcar"},
                 pasta, "/dev/null", (pasta / saida).string());
        EXPECT_EQ(r.status, 1) << saida;
        EXPECT_EQ(r.erro, "contacel-exportar: " + erro + "\n");
        EXPECT_EQ(le(pasta / "fora.csv"), fora_antes) << saida;
    }
    // The rejected row whole, quoted as CSV.
    const std::string fora = le(pasta / "fora.csv");
    EXPECT_TRUE(
        fora.starts_with("arquivo,linha,motivo,registro\nr.csv,2,data impossivel,\"\"\"1\"\","))
        << fora;
    EXPECT_TRUE(fora.ends_with(",\"\"DOCUMENTATION\"\"\"\n")) << fora;
}

}  // namespace
