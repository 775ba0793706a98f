// The register as a store: the rules every customer obeys, the bounded reader, the
// transactions on links and permissions, and exportar's faithful CSV of a hand-made register.

#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <functional>
#include <list>

#include "apoio.h"
#include "cadastro.h"
#include "gravacao.h"
#include "leitura.h"
#include "regra_cliente.h"

namespace {

TEST(RegrasDoCliente, UmaRegraParaQuemEntraEParaOQueEstaGravado) {
    struct Caso {
        std::optional<std::uint32_t> cod;
        std::string nome;
        std::string endereco;
        const char* diz;
    };
    const std::string tag = "\xF3\xA0\x81\x81";  // U+E0041, which iconv drops without a word
    const char* fora = "nome com caractere fora do codigo 850";
    const char* invalido = "codigo invalido (um numero de 1 a 4294967295)";
    const Caso casos[] = {
        {9, "Jos\xC3\xA9", "Rua \xC3\xA1", "sem erro"},
        {0, "a", "b", invalido},
        {std::nullopt, "a", "b", invalido},
        {1, "a", "b", "codigo repetido"},
        {9, tag, "b", fora},
        {9, "Ana" + tag, "b", fora},
        {9, "a", "Rua \xE2\x82\xAC", "endereco com caractere fora do codigo 850"},
        {9, "", "b", "nome vazio"},
        {9, "a\tb", "b", "nome com caractere de controle"},
        {9, "a", std::string(51, 'e'), "endereco com mais de 50 bytes no codigo 850"},
        {9, "a\xC3", "b", "nome nao e UTF-8 valido"},
        {9, "a", "\xED\xA0\x80", "endereco nao e UTF-8 valido"},  // a surrogate, U+D800
        {9, "\xC0\xA1", "b", "nome nao e UTF-8 valido"},          // an overlong "!"
    };
    for (const Caso& c : casos) {
        TLisCli lc{};
        insere_cliente(&lc, cliente_de(1, "x", "y"));
        const Erro e = insere_validado(&lc, c.cod, c.nome, c.endereco);
        EXPECT_EQ(descreve_erro(e), c.diz) << c.nome;
        EXPECT_EQ(lc.ncl, e.ok() ? 2U : 1U) << c.nome;
        // What was let in is what the rules find in a register.
        if (e.ok()) {
            EXPECT_TRUE(confere_cliente(&lc, 1).ok());
        }
    }
    TLisCli cheio{};
    gere_lis_cli(20, &cheio);
    EXPECT_EQ(descreve_erro(insere_validado(&cheio, 99, "a", "b")),
              "clientes demais (o maximo e 20)");
    EXPECT_EQ(descreve_erro(altera_validado(&cheio, 3, std::nullopt, "")), "endereco vazio");

    // A register made by hand that a run accepts: every fault named, by position.
    TLisCli mao{};
    for (const TCliente& c :
         {cliente_de(1, "a", "b"), cliente_de(2, "a", ""), cliente_de(3, "a\tb", "c"),
          cliente_de(0, "a", "b"), cliente_de(5, "a\x7F", "b"), cliente_de(1, "a", "b"),
          cliente_de(7, "Jos\x82",
                     "Pra\x87"
                     "a")})
        insere_cliente(&mao, c);
    std::vector<std::string> linhas;
    for (const Erro& e : infracoes("m.arq", &mao))
        linhas.push_back(descreve_erro(e));
    EXPECT_EQ(linhas, (std::vector<std::string>{
                          "m.arq: cliente 2 (codigo 2): endereco vazio; importar o recusaria",
                          "m.arq: cliente 3 (codigo 3): nome com caractere de controle; importar "
                          "o recusaria",
                          "m.arq: cliente 4 (codigo 0): codigo invalido (um numero de 1 a "
                          "4294967295); importar o recusaria",
                          "m.arq: cliente 5 (codigo 5): nome com caractere de controle; importar "
                          "o recusaria",
                          "m.arq: cliente 6 (codigo 1): codigo repetido; importar o recusaria"}));
}

TEST(Cadastro, SoArquivosRegularesDeAte1MiB) {
    PastaTemp pasta;
    std::filesystem::create_directory(pasta / "pasta");
    ASSERT_EQ(::mkfifo((pasta / "fifo").c_str(), 0600), 0);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un end{};
    end.sun_family = AF_UNIX;
    const std::string sock = (pasta / "sock").string();
    sock.copy(end.sun_path, sizeof end.sun_path - 1);
    ASSERT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&end), sizeof end), 0);
    std::filesystem::create_symlink("laco", pasta / "laco");
    grava(pasta / "cheio", std::string(limite_de_leitura, 'a'));
    grava(pasta / "demais", std::string(limite_de_leitura + 1, 'a'));
    struct Caso {
        std::string caminho;
        const char* diz;  // after "CAMINHO: "
        std::size_t tamanho = 0;
        std::size_t limite = limite_de_leitura;
    };
    for (const Caso& c :
         {Caso{(pasta / "pasta").string(), "nao e um arquivo regular"},
          Caso{(pasta / "fifo").string(), "nao e um arquivo regular"},
          Caso{sock, "nao e um arquivo regular"}, Caso{"/dev/zero", "nao e um arquivo regular"},
          Caso{(pasta / "laco").string(), "ciclo de links simbolicos"},
          Caso{(pasta / "nao_ha").string(), "nao foi possivel ler: "},
          Caso{(pasta / "demais").string(), "arquivo com mais de 1 MiB"},
          Caso{(pasta / "cheio").string(), "", limite_de_leitura},
          // A file that says it is empty and grows while it is read.
          Caso{"/proc/self/maps", "arquivo com mais de 16 bytes", 0, 16}}) {
        std::string bytes(c.limite, '\0');
        std::size_t lidos = 99;
        const Erro e = le_arquivo_regular(
            c.caminho.c_str(), std::as_writable_bytes(std::span(bytes)), lidos, Excesso::recusa);
        EXPECT_EQ(e.ok(), *c.diz == '\0') << c.caminho;
        if (!e.ok()) {
            EXPECT_TRUE(descreve_erro(e).starts_with(c.caminho + ": " + c.diz)) << descreve_erro(e);
        }
        EXPECT_EQ(lidos, c.tamanho) << c.caminho;
    }
    ::close(s);
    // A CSV where the register goes: the reason, and where to take it.
    grava(pasta / "c.arq", "codigo,nome,endereco\n1,a,b\n");
    TLisCli lc{};
    EXPECT_EQ(descreve_erro(le_cadastro((pasta / "c.arq").string(), &lc)),
              (pasta / "c.arq").string() +
                  ": o arquivo declara 1768189795 clientes; o maximo e 20 (parece um arquivo de "
                  "texto; um CSV entra com importar)");
}

struct stat estado(const std::filesystem::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st;
}

// Changes go where a link points, even to a file still to be made; the link stays, and a
// replaced register keeps mode, owner and group; one its user may not write is refused.
TEST(Cadastro, TransacoesSeguemLinksEGuardamDonoEPermissoes) {
    PastaTemp pasta;
    std::filesystem::create_directory(pasta / "dados");
    const std::string link = (pasta / "clientes.arq").string();
    std::filesystem::create_symlink("dados/real.arq", link);
    TLisCli lc{};
    gere_lis_cli(5, &lc);
    ASSERT_TRUE(grava_cadastro(link, &lc, false).ok());
    ASSERT_TRUE(inclui_cliente(link, 6, "Ana", "Rua").ok());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(le(pasta / "dados" / "real.arq").size(), 4U + 6U * 108U);
    EXPECT_EQ(descreve_erro(grava_cadastro(link, &lc, false)),
              link + ": o arquivo ja existe (use --forcar para substitui-lo)");

    // Code 0 and a repeated code: the first, as the run finds it.
    const std::string mao = (pasta / "mao.arq").string();
    grava(mao, ArquivoClientes(3)
                   .registro(0, "a", "b")
                   .registro(4, "c", "d")
                   .registro(4, "e", "")
                   .bytes());
    ASSERT_TRUE(altera_cliente(mao, 4, "C", std::nullopt).ok());
    ASSERT_TRUE(exclui_cliente(mao, 0).ok());
    EXPECT_EQ(le(mao), ArquivoClientes(2).registro(4, "C", "d").registro(4, "e", "").bytes());
    EXPECT_EQ(descreve_erro(exclui_cliente(mao, 9)), mao + ": nao ha cliente com o codigo 9");

    const std::string real = (pasta / "dados" / "real.arq").string();
    ::chmod(real.c_str(), 0640);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
    }
    const struct stat antes = estado(real);
    ASSERT_TRUE(altera_cliente(link, 6, std::nullopt, "Av").ok());
    const struct stat depois = estado(real);
    EXPECT_EQ(depois.st_mode, antes.st_mode);
    EXPECT_EQ(depois.st_uid, antes.st_uid);
    EXPECT_EQ(depois.st_gid, antes.st_gid);
    EXPECT_NE(depois.st_ino, antes.st_ino);  // replaced, not rewritten in place

    ::chmod(real.c_str(), 0444);
    const std::string guardado = le(real);
    EXPECT_EQ(descreve_erro(exclui_cliente(link, 6)), link + ": sem permissao de escrita");
    EXPECT_EQ(descreve_erro(grava_cadastro(link, &lc, true)), link + ": sem permissao de escrita");
    EXPECT_EQ(le(real), guardado);

    // A register with a second name is split only when asked; a loop of links is no register.
    const std::string duro = (pasta / "duro.arq").string();
    std::filesystem::create_hard_link(mao, duro);
    EXPECT_EQ(descreve_erro(exclui_cliente(mao, 4)),
              mao +
                  ": o arquivo tem 2 nomes (links fisicos); --forcar o separa dos outros, que "
                  "ficam com o conteudo antigo");
    ASSERT_TRUE(exclui_cliente(mao, 4, true).ok());
    EXPECT_EQ(le(duro), ArquivoClientes(2).registro(4, "C", "d").registro(4, "e", "").bytes());
    EXPECT_EQ(le(mao), ArquivoClientes(1).registro(4, "e", "").bytes());
    for (const auto& [de, para] : {std::pair{"l", "a"}, {"a", "b"}, {"b", "l"}})
        std::filesystem::create_symlink(para, pasta / de);
    const std::string laco = (pasta / "l").string();
    for (const Erro& e : {grava_cadastro(laco, &lc, true), inclui_cliente(laco, 9, "a", "b"),
                          le_cadastro(laco, &lc)})
        EXPECT_EQ(descreve_erro(e), laco + ": ciclo de links simbolicos");
    EXPECT_TRUE(std::filesystem::is_symlink(pasta / "a"));
}

// Whatever a run can read is exported faithfully; what obeys the rules comes back byte for
// byte.
TEST(Cadastro, ExportarEFielEVoltaIgual) {
    PastaTemp pasta;
    const std::string mao = (pasta / "mao.arq").string();
    grava(mao, ArquivoClientes(3)
                   .registro(1, "Jos\x82", "")
                   .registro(0, "a\tb", "linha\nnova")
                   .registro(1, "x", "y")
                   .bytes());
    std::vector<Erro> avisos;
    const std::string csv = (pasta / "mao.csv").string();
    ASSERT_TRUE(exporta_csv(mao, csv, false, avisos).ok());
    EXPECT_EQ(avisos.size(), 3U);
    EXPECT_EQ(le(csv), "codigo,nome,endereco\n1,Jos\xC3\xA9,\n0,a\tb,\"linha\nnova\"\n1,x,y\n");
    EXPECT_EQ(exporta_csv(mao, csv, false, avisos).tipo, TipoErro::ja_existe);
    // A FIFO nobody reads is said at once, not waited on.
    ASSERT_EQ(::mkfifo((pasta / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(descreve_erro(exporta_csv(mao, (pasta / "fifo").string(), false, avisos)),
              (pasta / "fifo").string() + ": FIFO sem leitor: ninguem esta lendo dele");

    TLisCli lc{};
    gere_lis_cli(7, &lc);
    ASSERT_TRUE(insere_validado(&lc, 4294967295U, "\xC3\xA7\xC3\xA3 \"q\", r",
                                "a\xC2\xA0"
                                "b")
                    .ok());
    const std::string arq = (pasta / "a.arq").string();
    ASSERT_TRUE(grava_cadastro(arq, &lc, false).ok());
    ASSERT_TRUE(exporta_csv(arq, csv, true, avisos).ok());
    EXPECT_TRUE(avisos.empty());
    const std::string volta = (pasta / "volta.arq").string();
    Clientes lido;
    ASSERT_TRUE(importa_csv(volta, csv, false, lido).ok());
    EXPECT_EQ(le(volta), le(arq));

    // verificar warns of a text a spreadsheet would run.
    ArquivoClientes seis(6);
    for (std::uint32_t i = 1; i <= 5; ++i)
        seis.registro(i, "a", "b");
    grava(mao, seis.registro(6, "@SOMA(1)", "Rua").bytes());
    ASSERT_TRUE(verifica_cadastro(mao, &lc, avisos).ok());
    ASSERT_EQ(avisos.size(), 1U);
    EXPECT_EQ(descreve_erro(avisos[0]), mao +
                                            ": cliente 6 (codigo 6): nome que uma planilha "
                                            "tomaria por formula; exportar --planilha o marca "
                                            "com um apostrofo");
}

std::string atributo(const std::filesystem::path& p, const char* nome) {
    std::string v(256, '\0');
    const ssize_t n = ::getxattr(p.c_str(), nome, v.data(), v.size());
    v.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return v;
}

// A change of a file as git makes one: NAME.lock is the lock and the new contents; the file
// replaced keeps its mode, attributes and ACL; what must not be replaced is refused, naming why.
TEST(Gravacao, TravaComoOGitEOQueOArquivoTraz) {
    PastaTemp pasta;
    const std::string a = (pasta / "a").string();
    const auto bytes = [](std::string_view s) { return std::as_bytes(std::span(s)); };
    OpcoesGravacao substitui;
    substitui.substitui = true;
    // An ACL giving user 65534 read and write, and an attribute of the user's.
    std::string acl("\x02\0\0\0", 4);
    for (const auto& [tag, perm, id] :
         {std::tuple{1, 6, ~0U}, {2, 6, 65534U}, {4, 4, ~0U}, {16, 6, ~0U}, {32, 0, ~0U}})
        for (const unsigned v : {unsigned(tag), unsigned(perm), id, id >> 16})
            acl.append(1, static_cast<char>(v & 0xFF)).append(1, static_cast<char>(v >> 8 & 0xFF));
    grava(a, "velho");
    ::chmod(a.c_str(), 0640);
    ASSERT_EQ(::setxattr(a.c_str(), "user.nota", "x", 1, 0), 0);
    ASSERT_EQ(::setxattr(a.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
    const std::string acl_antes = atributo(a, "system.posix_acl_access");
    struct stat antes {};
    ::stat(a.c_str(), &antes);
    ASSERT_TRUE(grava_arquivo(a, bytes("novo"), substitui).ok());
    struct stat depois {};
    ::stat(a.c_str(), &depois);
    EXPECT_EQ(le(a), "novo");
    EXPECT_EQ(depois.st_mode, antes.st_mode);  // the ACL's mask stays out of the group bits
    EXPECT_NE(depois.st_ino, antes.st_ino);
    EXPECT_EQ(atributo(a, "user.nota"), "x");
    EXPECT_EQ(atributo(a, "system.posix_acl_access"), acl_antes);

    std::filesystem::create_symlink("l", pasta / "b");
    std::filesystem::create_symlink("b", pasta / "c");
    std::filesystem::create_symlink("c", pasta / "l");
    std::filesystem::create_hard_link(a, pasta / "duro");
    grava(pasta / "velha.lock", "");
    const timeval hora_atras[2]{{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
    ::utimes((pasta / "velha.lock").c_str(), hora_atras);
    const std::string velha = (pasta / "velha").string();
    struct Caso {
        std::string nome;
        std::function<void(OpcoesGravacao&)> opcoes;
        std::string erro;
    };
    const Caso casos[] = {
        {a, [](OpcoesGravacao&) {}, a + ": o arquivo ja existe (use --forcar para substitui-lo)"},
        {a, [](OpcoesGravacao& o) { o.substitui = true; },
         a + ": o arquivo tem 2 nomes (links fisicos); --forcar o separa dos outros, que ficam "
             "com o conteudo antigo"},
        {a,
         [&](OpcoesGravacao& o) {
             o = substitui, o.divide = true, o.protegido = identidade_de((pasta / "duro").string());
         },
         a + ": e o proprio cadastro; nada foi escrito"},
        {velha, [](OpcoesGravacao& o) { o.programa = "contacel-exportar"; },
         velha + ".lock: travado ha 60 min por outra gravacao; remova " + velha +
             ".lock se nenhum outro contacel-exportar estiver rodando"},
        {(pasta / std::string(251, 'n')).string(), [](OpcoesGravacao&) {},
         (pasta / std::string(251, 'n')).string() +
             ": nome longo demais para ter ao lado a trava .lock: File name too long"},
        {(pasta / "l").string(), [](OpcoesGravacao&) {}, "ciclo"},
    };
    for (const Caso& c : casos) {
        OpcoesGravacao op;
        c.opcoes(op);
        Destino d;
        Erro e = segue_links(c.nome, d);
        if (e.ok()) e = grava_arquivo(d.caminho, bytes("outro"), op);
        EXPECT_EQ(descreve_erro(e),
                  c.erro == "ciclo" ? c.nome + ": ciclo de links simbolicos" : c.erro);
    }
    EXPECT_EQ(le(a), "novo");
    EXPECT_TRUE(std::filesystem::exists(pasta / "velha.lock"));
    EXPECT_FALSE(std::filesystem::exists(pasta / "velha"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pasta.caminho()), {}), 6);

    // A set locked whole (a folder of bills) holds no descriptor per file; a file it reaches
    // twice, through a link, is named at once rather than waited on as another's lock.
    std::filesystem::create_directory(pasta / "lote");
    rlimit antes_lim{};
    ::getrlimit(RLIMIT_NOFILE, &antes_lim);
    rlimit lim = antes_lim;
    lim.rlim_cur = 32;
    ::setrlimit(RLIMIT_NOFILE, &lim);
    std::list<Gravacao> lote;
    Erro e;
    for (int i = 0; i < 40 && e.ok(); ++i)
        e = lote.emplace_back((pasta / "lote" / std::to_string(i)).string(), substitui).trava();
    for (auto g = lote.begin(); g != lote.end() && e.ok(); ++g)
        if (e = g->escreve(bytes("x")); e.ok()) e = g->confirma();
    ::setrlimit(RLIMIT_NOFILE, &antes_lim);
    EXPECT_EQ(descreve_erro(e), "sem erro");
    std::filesystem::create_symlink("0", pasta / "lote" / "ao0");
    Destino d;
    segue_links((pasta / "lote" / "ao0").string(), d);
    Gravacao g0(d.caminho, substitui), g1(d.caminho, substitui);
    ASSERT_TRUE(g0.trava().ok());
    EXPECT_EQ(descreve_erro(g1.trava()),
              d.caminho + ": este arquivo ja esta sendo gravado por outro nome (link)");

    // The locks a killed run left in the way of a set are said once, with their count.
    const std::string pasta_lote = (pasta / "lote").string();
    std::vector<std::string> nomes;
    for (int i = 0; i < 1200; ++i) {
        nomes.push_back(pasta_lote + "/f" + std::to_string(i));
        grava(nomes.back() + ".lock", "");
        ::utimes((nomes.back() + ".lock").c_str(), hora_atras);
    }
    EXPECT_EQ(descreve_erro(GravacaoEmLote(substitui).trava(nomes)),
              "1.200 travas de uma gravacao interrompida em " + pasta_lote + "; remova " +
                  pasta_lote + "/*.lock");
}

// A user who is not root keeps a file's group when it is one of theirs, and is told which of
// owner and group cannot be kept.
TEST(Gravacao, DonoEGrupoSemSerRoot) {
    if (::geteuid() != 0) GTEST_SKIP() << "sem root nao se troca de usuario";
    PastaTemp pasta;
    ::chmod(pasta.caminho().c_str(), 0777);
    struct Caso {
        const char* nome;
        uid_t dono;
        gid_t grupo;
        std::string erro;
    };
    const Caso casos[] = {
        {"meu", 65534, 1234, "sem erro"},
        {"grupo", 65534, 4321,
         "o grupo do arquivo (gid 4321) nao e um dos seus; so root pode mante-lo"},
        {"alheio", 1, 1234,
         "o arquivo e de outro usuario (uid 1), que e quem pode substitui-lo (ou root)"},
        // A folder the user may write in but not read: the change is made, and said to be.
        {"cega/meu", 65534, 1234, "sem erro"},
        // A new file (owner 0: none before) under umask 277 is made all the same, read-only.
        {"cega/nova", 0, 0, "sem erro"},
    };
    std::filesystem::create_directory(pasta / "cega");
    ::chmod((pasta / "cega").c_str(), 0733);
    for (const Caso& c : casos) {
        if (c.dono == 0) continue;
        grava(pasta / c.nome, "velho");
        ::chmod((pasta / c.nome).c_str(), 0666);
        ASSERT_EQ(::chown((pasta / c.nome).c_str(), c.dono, c.grupo), 0);
    }
    int canal[2];
    ASSERT_EQ(::pipe(canal), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const gid_t grupos[]{1234};
        if (::setgroups(1, grupos) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
        OpcoesGravacao op;
        op.substitui = true;
        ::umask(0277);
        for (const Caso& c : casos) {
            const std::string s =
                descreve_erro(grava_arquivo((pasta / c.nome).string(),
                                            std::as_bytes(std::span("novo", 4)), op)) +
                "\n";
            if (::write(canal[1], s.data(), s.size()) < 0) ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(canal[1]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    std::string lido(4096, '\0');
    lido.resize(
        static_cast<std::size_t>(std::max<ssize_t>(0, ::read(canal[0], lido.data(), lido.size()))));
    ::close(canal[0]);
    std::string esperado;
    for (const Caso& c : casos)
        esperado +=
            (c.erro == "sem erro" ? "sem erro" : (pasta / c.nome).string() + ": " + c.erro) + "\n";
    EXPECT_EQ(lido, esperado);
    struct stat info {};
    ::stat((pasta / "meu").c_str(), &info);
    EXPECT_EQ(info.st_gid, 1234U);
    ::stat((pasta / "cega" / "nova").c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0400U);
    EXPECT_EQ(le(pasta / "grupo"), "velho");
}

}  // namespace
