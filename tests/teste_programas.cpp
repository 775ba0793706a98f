// contacel and contacel-clientes run as a user runs them: exit status, standard error, files,
// and the wait for the key.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "apoio.h"
#include "caminhos.h"

namespace {

struct Resultado {
    int status = -1;
    std::string saida;
    std::string erro;
};

// Runs `argv` in `pasta` with standard input from `entrada` and standard output to `destino`
// (a file in the folder unless given).
Resultado roda(const std::vector<std::string>& argv, const PastaTemp& pasta,
               const char* entrada = "/dev/null", std::optional<std::string> destino = {}) {
    const std::string arq_saida = destino.value_or((pasta / ".saida").string());
    const std::string arq_erro = (pasta / ".erro").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(pasta.caminho().c_str()) != 0) ::_exit(127);
        const int in = ::open(entrada, O_RDONLY);
        const int out = ::open(arq_saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    Resultado r;
    int st = 0;
    ::waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    if (!destino) r.saida = le(arq_saida);
    r.erro = le(arq_erro);
    return r;
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

TEST(Contacel, CadastroRuimUmaLinhaNoErroNadaNaSaida) {
    struct Caso {
        const char* nome;
        std::optional<std::string> arquivo;
        const char* motivo;
    };
    const Caso casos[] = {
        {"sem arquivo", std::nullopt, "nao encontrado"},
        {"vazio", std::string(), "0 clientes"},
        {"dois bytes", std::string(2, '\x05'), "contagem"},
        {"25 clientes", arquivo_valido(25).bytes(), "25 clientes"},
        {"curto", arquivo_valido(8).bytes().substr(0, 500), "8 clientes"},
        {"quatro clientes", arquivo_valido(4).bytes(), "pelo menos 5"},
        {"codigos",
         ArquivoClientes(5)
             .registro(1, "a", "b")
             .registro(2, "a", "b")
             .registro(3, "a", "b")
             .registro(4, "a", "b")
             .registro(6, "a", "b")
             .bytes(),
         "1 a 5"},
    };
    for (const Caso& c : casos) {
        PastaTemp pasta;
        if (c.arquivo) grava(pasta / "clientes.arq", *c.arquivo);
        const Resultado r = roda({caminho_contacel}, pasta);
        EXPECT_NE(r.status, 0) << c.nome;
        EXPECT_EQ(r.saida, "") << c.nome;
        EXPECT_TRUE(r.erro.starts_with("contacel: clientes.arq: ")) << c.nome << ": " << r.erro;
        EXPECT_NE(r.erro.find(c.motivo), std::string::npos) << c.nome << ": " << r.erro;
        EXPECT_EQ(linhas(r.erro), 1U) << c.nome;
        if (c.arquivo) {
            EXPECT_EQ(le(pasta / "clientes.arq"), *c.arquivo) << c.nome;
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
    ASSERT_EQ(::write(entrada[1], "\n", 1), 1);
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
    EXPECT_EQ(r.saida, saida_de([&] { mostre_lis_cli(&lc); }));

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
    std::size_t arquivos = 0;
    for (const auto& e : std::filesystem::directory_iterator(pasta.caminho()))
        arquivos += e.path().filename().string().starts_with("c.arq") ? 1 : 0;
    EXPECT_EQ(arquivos, 1U);
}

TEST(ContacelClientes, ErrosDeUsoEArquivoRuim) {
    PastaTemp pasta;
    const std::string f = caminho_contacel_clientes;
    for (const std::vector<std::string>& args : {std::vector<std::string>{f},
                                                 {f, "voar"},
                                                 {f, "gerar"},
                                                 {f, "gerar", "0"},
                                                 {f, "gerar", "21"},
                                                 {f, "gerar", "5x"},
                                                 {f, "gerar", "5", "--semente"},
                                                 {f, "gerar", "5", "--semente", "-1"},
                                                 {f, "gerar", "5", "a", "b"},
                                                 {f, "gerar", "5", "--rapido"},
                                                 {f, "listar", "a", "b"}}) {
        const Resultado r = roda(args, pasta);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.erro.find("uso: contacel-clientes"), std::string::npos);
        EXPECT_EQ(r.saida, "");
    }
    const Resultado ajuda = roda({f, "--ajuda"}, pasta);
    EXPECT_EQ(ajuda.status, 0);
    EXPECT_TRUE(ajuda.saida.starts_with("uso: contacel-clientes"));

    grava(pasta / "ruim.arq", arquivo_valido(3).bytes().substr(0, 100));
    const Resultado r = roda({f, "listar", "ruim.arq"}, pasta);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.saida, "");
    EXPECT_TRUE(r.erro.starts_with("contacel-clientes: ruim.arq: ")) << r.erro;
}

}  // namespace
