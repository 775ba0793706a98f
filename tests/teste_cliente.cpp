// Customers: the customer file as it loads and as it fails, printing, searching and random
// customers.

#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <set>

#include "apoio.h"
#include "cliente.h"

namespace {

TEST(ArquivoDeClientes, CarregaCamposComoGravadosIgnorandoEnchimentoELixo) {
    // Garbage after each NUL, in the filler and after the last counted record.
    ArquivoClientes a(3);
    a.registro(7, "Zevoz Avode Zudu", "Rua Iracema, 45", '\xff')
        .registro(1234, std::string(50, 'N'), "", 'q')
        .registro(7, "Jo\x87o \xA0", "Av. Tiradentes, 1234", '\x01')
        .mais(std::string(300, '\xee'));
    TLisCli lc{};
    ASSERT_TRUE(decodifica_lis_cli(a.span(), &lc).ok());
    ASSERT_EQ(lc.ncl, 3U);
    EXPECT_EQ(lc.clientes[0].cod_cli, 7U);
    EXPECT_STREQ(lc.clientes[0].nome, "Zevoz Avode Zudu");
    EXPECT_STREQ(lc.clientes[0].endereco, "Rua Iracema, 45");
    EXPECT_EQ(lc.clientes[1].cod_cli, 1234U);
    EXPECT_EQ(std::string_view(lc.clientes[1].nome), std::string(50, 'N'));
    EXPECT_STREQ(lc.clientes[1].endereco, "");
    EXPECT_STREQ(lc.clientes[2].nome, "Jo\x87o \xA0");

    // Lookups find the lowest position; -1 for a code nobody has.
    EXPECT_EQ(busca_cliente(&lc, 7), 0);
    EXPECT_EQ(busca_cliente(&lc, 1234), 1);
    EXPECT_EQ(busca_cliente(&lc, 5), -1);
    EXPECT_EQ(busca_cliente(&lc, -1), -1);
    const TLisCli vazia{};
    EXPECT_EQ(busca_cliente(&vazia, 0), -1);
}

TEST(ArquivoDeClientes, ArquivoVazioEListaVazia) {
    TLisCli lc{};
    lc.ncl = 9;
    EXPECT_TRUE(decodifica_lis_cli({}, &lc).ok());
    EXPECT_EQ(lc.ncl, 0U);
    EXPECT_TRUE(decodifica_lis_cli(ArquivoClientes(0).span(), &lc).ok());
    EXPECT_EQ(lc.ncl, 0U);
}

TEST(ArquivoDeClientes, ArquivosRuinsFalhamComOMotivoEListaVazia) {
    struct Caso {
        std::string bytes;
        const char* diz;
    };
    std::string sem_nul_nome = arquivo_valido(2).bytes();
    sem_nul_nome.replace(4 + 108 + 4, 51, std::string(51, 'A'));
    std::string sem_nul_endereco = arquivo_valido(2).bytes();
    sem_nul_endereco.replace(4 + 55, 51, std::string(51, 'B'));
    const std::string incompleta = "arquivo com menos de 4 bytes: contagem de clientes incompleta";
    const Caso casos[] = {
        {std::string(1, '\x01'), incompleta.c_str()},
        {std::string(3, '\0'), incompleta.c_str()},
        {arquivo_valido(21).bytes(), "o arquivo declara 21 clientes; o maximo e 20"},
        {std::string(4, '\xff') + std::string(500, 'x'),
         "o arquivo declara 4294967295 clientes; o maximo e 20"},
        {ArquivoClientes(3).registro(1, "a", "b").registro(2, "c", "d").bytes(),
         "o arquivo declara 3 clientes, mas traz so 2 registros completos"},
        {arquivo_valido(5).bytes().substr(0, 4 + 108 * 4 + 60),
         "o arquivo declara 5 clientes, mas traz so 4 registros completos"},
        {sem_nul_nome, "o nome do cliente 2 do arquivo nao termina com NUL"},
        {sem_nul_endereco, "o endereco do cliente 1 do arquivo nao termina com NUL"},
    };
    for (const Caso& c : casos) {
        TLisCli lc{};
        lc.ncl = 4;
        const Erro e = decodifica_lis_cli(std::as_bytes(std::span(c.bytes)), &lc);
        EXPECT_EQ(descreve_erro(e), c.diz);
        EXPECT_EQ(status_de_saida(e), 1) << c.diz;
        EXPECT_EQ(lc.ncl, 0U) << c.diz;
    }
}

TEST(ArquivoDeClientes, CadaCorteDeUmArquivoValidoFalhaLimpo) {
    const std::string inteiro = arquivo_valido(20).bytes();
    ASSERT_EQ(inteiro.size(), tamanho_maximo_arq);
    for (std::size_t n = 0; n <= inteiro.size(); ++n) {
        // A copy of exactly n bytes, so the sanitizer sees any read past the cut.
        const std::unique_ptr<char[]> corte(new char[n + 1]);
        inteiro.copy(corte.get(), n);
        TLisCli lc{};
        const Erro e = decodifica_lis_cli(std::as_bytes(std::span(corte.get(), n)), &lc);
        if (n == 0 || n == inteiro.size()) {
            ASSERT_TRUE(e.ok()) << n;
            ASSERT_EQ(lc.ncl, n == 0 ? 0U : 20U);
        } else {
            ASSERT_TRUE(descreve_erro(e).starts_with(n < 4 ? "arquivo com menos de 4 bytes"
                                                           : "o arquivo declara 20 clientes, mas"))
                << n;
            ASSERT_EQ(lc.ncl, 0U);
        }
    }
}

TEST(ArquivoDeClientes, IdaEVoltaPreservaCadaByte) {
    std::srand(31);
    TLisCli lc{};
    gere_lis_cli(20, &lc);
    lc.clientes[4] = cliente_de(99, "S\xA0lvio Concei\x87\xA0o", std::string(50, '\x87'));
    std::array<std::byte, tamanho_maximo_arq> bytes{};
    const std::size_t n = codifica_lis_cli(&lc, bytes);
    ASSERT_EQ(n, tamanho_maximo_arq);
    TLisCli volta{};
    ASSERT_TRUE(decodifica_lis_cli(std::span(bytes).first(n), &volta).ok());
    ASSERT_EQ(volta.ncl, lc.ncl);
    for (std::uint32_t i = 0; i < lc.ncl; ++i) {
        EXPECT_EQ(volta.clientes[i].cod_cli, lc.clientes[i].cod_cli);
        EXPECT_STREQ(volta.clientes[i].nome, lc.clientes[i].nome);
        EXPECT_STREQ(volta.clientes[i].endereco, lc.clientes[i].endereco);
    }
    const TLisCli vazia{};
    EXPECT_EQ(codifica_lis_cli(&vazia, bytes), 4U);
}

TEST(ArquivoDeClientes, LeituraDoDiscoEOsSeusErros) {
    PastaTemp pasta;
    TLisCli lc{};
    lc.ncl = 3;
    const auto erro = [&](const std::string& nome) {
        return descreve_erro(le_lis_cli_de((pasta / nome).c_str(), &lc));
    };
    EXPECT_EQ(erro("nao_ha"), (pasta / "nao_ha").string() + ": arquivo nao encontrado");
    EXPECT_EQ(lc.ncl, 0U);
    // Neither a folder nor a FIFO is read (a FIFO would block the open until a writer came).
    EXPECT_EQ(erro("."), (pasta / ".").string() + ": nao e um arquivo regular");
    ASSERT_EQ(::mkfifo((pasta / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(erro("fifo"), (pasta / "fifo").string() + ": nao e um arquivo regular");

    grava(pasta / "vazio", "");
    EXPECT_TRUE(le_lis_cli_de((pasta / "vazio").c_str(), &lc).ok());

    // Longer than any list: only what a full list needs is read, the rest is ignored.
    grava(pasta / "c.arq", arquivo_valido(6).bytes() + std::string(5000, 'z'));
    ASSERT_TRUE(le_lis_cli_de((pasta / "c.arq").c_str(), &lc).ok());
    EXPECT_EQ(lc.ncl, 6U);
    EXPECT_STREQ(lc.clientes[5].nome, "Cliente 6");
    const std::string antes = le(pasta / "c.arq");
    static_cast<void>(le_lis_cli_de((pasta / "c.arq").c_str(), &lc));
    EXPECT_EQ(le(pasta / "c.arq"), antes);

    if (::geteuid() != 0) {  // root reads anything
        ::chmod((pasta / "c.arq").c_str(), 0);
        EXPECT_EQ(erro("c.arq"), (pasta / "c.arq").string() + ": sem permissao de leitura");
    }
}

TEST(CadastroDaExecucao, CincoClientesComOsCodigos1a5) {
    TLisCli lc{};
    ASSERT_TRUE(decodifica_lis_cli(arquivo_valido(4).span(), &lc).ok());
    EXPECT_EQ(descreve_erro(confere_cadastro(&lc)),
              "o cadastro tem 4 clientes; a execucao precisa de pelo menos 5");

    ArquivoClientes fora_de_ordem(6);
    for (std::uint32_t cod : {5U, 3U, 1U, 4U, 2U, 77U})
        fora_de_ordem.registro(cod, "n", "e");
    ASSERT_TRUE(decodifica_lis_cli(fora_de_ordem.span(), &lc).ok());
    EXPECT_TRUE(confere_cadastro(&lc).ok());

    for (const auto& cods : {std::array{1U, 2U, 3U, 4U, 6U}, std::array{1U, 2U, 3U, 3U, 5U},
                             std::array{0U, 2U, 3U, 4U, 5U}}) {
        ArquivoClientes a(5);
        for (std::uint32_t cod : cods)
            a.registro(cod, "n", "e");
        ASSERT_TRUE(decodifica_lis_cli(a.span(), &lc).ok());
        EXPECT_EQ(descreve_erro(confere_cadastro(&lc)),
                  "os cinco primeiros clientes devem ter os codigos 1 a 5");
    }
}

TEST(Impressao, ClienteEmColunas) {
    const TCliente c = cliente_de(3, "Zevoz Avode Zudu", "Rua Iracema, 45");
    const std::string linha = saida_de([&] { mostre_cli(c); });
    EXPECT_EQ(linha, "003  Zevoz Avode Zudu           Rua Iracema, 45" + std::string(20, ' '));
    EXPECT_EQ(linha.size(), 67U);
    EXPECT_EQ(saida_de([] { mostre_cli(cliente_de(1234, "A", "B")); }).substr(0, 7), "1234  A");
    // A name longer than its column is written whole and moves the address.
    const std::string longo = saida_de(
        [] { mostre_cli(cliente_de(1, "Anna Carolina Oliveira Oliveira", "Rua Iracema, 45")); });
    EXPECT_EQ(longo.find("Rua"), 5U + 31U + 2U);
    EXPECT_EQ(longo.size(), 73U);

    // A name with no NUL in its field stops at the field's end.
    TCliente cheio = cliente_de(2, "", "x");
    std::fill(std::begin(cheio.nome), std::end(cheio.nome), 'M');
    EXPECT_EQ(saida_de([&] { mostre_cli(cheio); }).substr(5, 52), std::string(51, 'M') + " ");
}

TEST(Impressao, ListaDeClientesUmaLinhaCada) {
    TLisCli lc{};
    EXPECT_EQ(saida_de([&] { mostre_lis_cli(&lc); }), "");
    for (std::uint32_t i = 1; i <= 3; ++i)
        insere_cliente(&lc, cliente_de(i, "Nome", "Rua"));
    const std::string s = saida_de([&] { mostre_lis_cli(&lc); });
    EXPECT_EQ(s, linha_de_cliente(lc.clientes[0]) + "\n" + linha_de_cliente(lc.clientes[1]) + "\n" +
                     linha_de_cliente(lc.clientes[2]) + "\n");
    EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 3);
}

TEST(ListaDeClientes, ListaCheiaRecusa) {
    TLisCli lc{};
    for (std::uint32_t i = 1; i <= 25; ++i)
        insere_cliente(&lc, cliente_de(i, "n", "e"));
    EXPECT_EQ(lc.ncl, 20U);
    EXPECT_EQ(lc.clientes[19].cod_cli, 20U);
}

// Draws that `gere_cliente` takes after the generator was seeded with `semente`, replayed.
int sorteios_de_um_cliente() {
    std::rand();
    const int rs1 = std::rand() % 18;
    int n = 3;
    while (std::rand() % 18 == rs1)
        ++n;
    std::rand();
    std::rand();
    return n + 2;
}

TEST(ClientesAleatorios, NomesEEnderecosDentroDasRegras) {
    std::set<std::string> vistos;
    for (unsigned semente = 1; semente <= 2000; ++semente) {
        std::srand(semente);
        const TCliente c = gere_cliente(semente);
        ASSERT_EQ(c.cod_cli, semente);
        const std::string_view nome = c.nome;
        const std::string_view endereco = c.endereco;
        const auto espacos = std::count(nome.begin(), nome.end(), ' ');
        ASSERT_EQ(espacos, nome.starts_with("Anna Carolina ") ? 3 : 2) << nome;
        ASSERT_TRUE(nome.size() >= 14 && nome.size() <= 31) << nome;
        ASSERT_TRUE(endereco.size() >= 15 && endereco.size() <= 36) << endereco;
        ASSERT_NE(endereco.find(", "), std::string_view::npos);
        ASSERT_EQ(nome.find("  "), std::string_view::npos);
        vistos.insert(std::string(nome));

        // The draws taken are replayed exactly: the next value is the same.
        std::srand(semente);
        sorteios_de_um_cliente();
        const int esperado = std::rand();
        std::srand(semente);
        static_cast<void>(gere_cliente(semente));
        ASSERT_EQ(std::rand(), esperado);
    }
    EXPECT_GT(vistos.size(), 1000U);
}

TEST(ClientesAleatorios, SobrenomesDiferemPorIndiceNaoPorTexto) {
    // Indices 0 and 3 both hold "Oliveira": some seed must give it twice.
    bool dobrado = false;
    for (unsigned semente = 1; semente <= 20000 && !dobrado; ++semente) {
        std::srand(semente);
        std::array<char, 32> nome{};
        gere_nome(nome.data());
        dobrado = std::string_view(nome.data()).ends_with("Oliveira Oliveira");
    }
    EXPECT_TRUE(dobrado);
}

TEST(ClientesAleatorios, ListaComCodigos1aNLimitadaA20) {
    std::srand(5);
    TLisCli a{};
    gere_lis_cli(5, &a);
    ASSERT_EQ(a.ncl, 5U);
    for (std::uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(a.clientes[i].cod_cli, i + 1);
    TLisCli b{};
    std::srand(5);
    gere_lis_cli(5, &b);
    for (std::uint32_t i = 0; i < 5; ++i)
        EXPECT_STREQ(a.clientes[i].nome, b.clientes[i].nome);

    gere_lis_cli(25, &a);
    EXPECT_EQ(a.ncl, 20U);
    gere_lis_cli(-1, &a);
    EXPECT_EQ(a.ncl, 0U);
}

}  // namespace
