// Phone lines: the table, printing, ordering, searching and the run's five lines.

#include <algorithm>
#include <array>
#include <numeric>

#include "apoio.h"
#include "celular.h"

namespace {

TEST(TabelaDeLinhas, EntradasSemDono) {
    const TCelular c4 = gere_celular(4);
    EXPECT_STREQ(c4.ddd, "85");
    EXPECT_EQ(c4.prefixo, 9988);
    EXPECT_EQ(c4.numero, 3412);
    EXPECT_STREQ(c4.operadora, "TIM");
    EXPECT_EQ(c4.cli.cod_cli, 0U);
    const TCelular c11 = gere_celular(11);
    EXPECT_EQ(c11.prefixo, 9787);
    EXPECT_EQ(c11.numero, 5786);
    EXPECT_STREQ(c11.operadora, "CLARO");
    for (const int fora : {-1, 12, 1000}) {
        const TCelular vazio = gere_celular(fora);
        EXPECT_STREQ(vazio.ddd, "");
        EXPECT_EQ(vazio.prefixo, 0);
        EXPECT_EQ(vazio.cli.cod_cli, 0U);
    }
}

TEST(Impressao, LinhaEListaDeLinhas) {
    EXPECT_EQ(saida_de([] { mostre_cel(gere_celular(9)); }), "(85) 9 9787-5768 CLARO");
    EXPECT_EQ(saida_de([] { mostre_cel(gere_celular(0)); }), "(85) 9 8899-1234 OI   ");

    TLisCel lis{};
    EXPECT_EQ(saida_de([&] { mostre_lis_cel(lis); }), "");
    TCelular c = gere_celular(0);
    c.cli = cliente_de(3, "Zevoz Avode Zudu", "Rua Iracema, 45");
    insere_celular(&lis, c);
    c = gere_celular(3);
    c.cli = cliente_de(12, "Ana Lima Silva", "Rua Iracema, 45");
    insere_celular(&lis, c);
    const std::string s = saida_de([&] { mostre_lis_cel(lis); });
    EXPECT_EQ(s,
              "003  Zevoz Avode Zudu           Rua Iracema, 45                      85 9 8899 1234 "
              "   OI\n"
              "012  Ana Lima Silva             Rua Iracema, 45                      85 9 9956 5678 "
              "  TIM\n");
    EXPECT_EQ(s.find('\n'), 89U);
}

TEST(CmpCelular, DiferencasEOrdemDaTabela) {
    std::array<TCelular, 12> t{};
    for (int i = 0; i < 12; ++i)
        t[static_cast<std::size_t>(i)] = gere_celular(i);
    const auto cmp = [&](int a, int b) {
        return cmp_celular(&t[static_cast<std::size_t>(a)], &t[static_cast<std::size_t>(b)]);
    };
    EXPECT_EQ(cmp(0, 1), 11);
    EXPECT_EQ(cmp(4, 5), -3166);
    EXPECT_EQ(cmp(5, 6), 1201);
    EXPECT_EQ(cmp(8, 9), -1000);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(cmp(i, i), 0);

    TCelular outro_ddd = t[0];
    std::string_view("11").copy(outro_ddd.ddd, 2);
    EXPECT_LT(cmp_celular(&outro_ddd, &t[0]), 0);
    EXPECT_GT(cmp_celular(&t[11], &outro_ddd), 0);

    std::qsort(t.data(), t.size(), sizeof(TCelular), cmp_celular);
    std::array<int, 12> ordem{};
    for (std::size_t i = 0; i < 12; ++i) {
        for (int j = 0; j < 12; ++j) {
            const TCelular e = gere_celular(j);
            if (e.prefixo == t[i].prefixo && e.numero == t[i].numero) ordem[i] = j;
        }
    }
    EXPECT_EQ(ordem, (std::array{7, 8, 6, 2, 1, 0, 9, 11, 10, 3, 4, 5}));
}

TEST(LinhasDaExecucao, CincoPrimeirosClientesRecebemAsCincoPrimeirasLinhas) {
    TLisCli lc{};
    for (std::uint32_t cod : {4U, 2U, 9U, 1U, 5U, 3U, 7U})
        insere_cliente(&lc, cliente_de(cod, "X", "Rua Iracema, 45"));
    TLisCel lis{};
    lis.nce = 17;
    gere_lis_cel(&lc, &lis);
    ASSERT_EQ(lis.nce, 5U);
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(lis.celulares[i].cli.cod_cli, lc.clientes[i].cod_cli);
        EXPECT_EQ(lis.celulares[i].prefixo, gere_celular(static_cast<int>(i)).prefixo);
    }
    EXPECT_EQ(busca_celular(lis, 9), 2);
    EXPECT_EQ(busca_celular(lis, 5), 4);
    EXPECT_EQ(busca_celular(lis, 3), -1);  // customer 3 owns no line
    EXPECT_EQ(busca_celular(TLisCel{}, 4), -1);

    // With fewer than five customers only they get lines.
    lc.ncl = 3;
    gere_lis_cel(&lc, &lis);
    EXPECT_EQ(lis.nce, 3U);
}

TEST(ListaDeLinhas, PrimeiroDonoECapacidade) {
    TLisCel lis{};
    for (int i = 0; i < 25; ++i) {
        TCelular c = gere_celular(i % 12);
        c.cli = cliente_de(i % 2 == 0 ? 8U : 6U, "Y", "Rua Iracema, 45");
        insere_celular(&lis, c);
    }
    EXPECT_EQ(lis.nce, 20U);
    EXPECT_EQ(busca_celular(lis, 6), 1);
    EXPECT_EQ(busca_celular(lis, 8), 0);
}

}  // namespace
