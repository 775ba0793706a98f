// Calls and the call list: the order of the draws, printing, ordering and appending.

#include <cstdlib>
#include <memory>

#include "apoio.h"
#include "lista_chamadas.h"

namespace {

bool iguais(const TChamada& a, const TChamada& b) {
    return a.cod_cli_ori == b.cod_cli_ori && a.cod_cli_des == b.cod_cli_des &&
           cmp_data_hora(&a.ini, &b.ini) == 0 && cmp_data_hora(&a.fim, &b.fim) == 0;
}

TEST(GereChamada, SorteiosNaOrdemDuracaoOrigemDestinoDataHora) {
    // Enough seeds that some destinations are redrawn.
    int redesenhos = 0;
    for (unsigned semente = 1; semente <= 300; ++semente) {
        std::srand(semente);
        const int ns = std::rand() % 600 + 1;
        const int o = std::rand() % 5 + 1;
        int d = std::rand() % 5 + 1;
        while (d == o) {
            d = std::rand() % 5 + 1;
            ++redesenhos;
        }
        const int mes = 11 + std::rand() % 2;
        const int dia = 1 + std::rand() % (mes == 11 ? 30 : 31);
        const int h = std::rand() % 24;
        const int m = std::rand() % 60;
        const TDataHora ini = dh(dia, mes, 2017, h, m, std::rand() % 60);
        const int sentinela = std::rand();

        std::srand(semente);
        const TChamada c = gere_chamada();
        ASSERT_TRUE(iguais(
            c, chamada_de(static_cast<std::uint32_t>(o), static_cast<std::uint32_t>(d), ini, ns)))
            << "semente " << semente;
        ASSERT_EQ(num_seg(c.ini, c.fim), ns);
        ASSERT_EQ(std::rand(), sentinela) << "semente " << semente;
    }
    EXPECT_GT(redesenhos, 0);
}

TEST(Impressao, ChamadaComESemCodigos) {
    const TChamada c = chamada_de(1, 3, dh(15, 11, 2017, 8, 4, 33), 125);
    EXPECT_EQ(saida_de([&] { mostre_chamada2(c); }), "001 003  15/11/2017 08:04:33  125 s");
    EXPECT_EQ(saida_de([&] { mostre_chamada(c); }), " 15/11/2017 08:04:33  125 s");
    EXPECT_EQ(saida_de([] { mostre_chamada(chamada_de(1, 2, dh(1, 12, 2017, 0, 0, 0), 7)); }),
              " 01/12/2017 00:00:00    7 s");
    EXPECT_EQ(saida_de([] { mostre_chamada(chamada_de(1, 2, dh(1, 12, 2017, 0, 0, 0), 600)); }),
              " 01/12/2017 00:00:00  600 s");
    // A call across the year end shows the seconds it lasted.
    EXPECT_EQ(
        saida_de([] { mostre_chamada2(chamada_de(12, 1234, dh(31, 12, 2017, 23, 59, 30), 45)); }),
        "012 1234  31/12/2017 23:59:30   45 s");
}

TEST(Comparadores, PorOrigemDepoisPorInicio) {
    const auto ori = [](TChamada a, TChamada b) { return cmp_chamada_ori(&a, &b); };
    const auto ori_dh = [](TChamada a, TChamada b) { return cmp_chamada_ori_dat_hor(&a, &b); };
    const TDataHora t = dh(1, 11, 2017, 0, 0, 0);
    EXPECT_LT(ori(chamada_de(2, 1, t, 1), chamada_de(5, 1, t, 1)), 0);
    EXPECT_GT(ori(chamada_de(5, 1, t, 1), chamada_de(2, 1, t, 1)), 0);
    EXPECT_EQ(ori(chamada_de(4, 1, t, 1), chamada_de(4, 2, t, 9)), 0);
    // Codes beyond an int's reach still order as numbers; small ones keep their difference.
    const std::tuple<std::uint32_t, std::uint32_t, int> codigos[] = {{5, 2, 3},
                                                                     {1, 3000000000, -1},
                                                                     {3000000000, 1, 1},
                                                                     {0, UINT32_MAX, -1},
                                                                     {UINT32_MAX, 0, 1}};
    for (const auto& [a, b, r] : codigos)
        EXPECT_EQ(ori(chamada_de(a, 1, t, 1), chamada_de(b, 1, t, 1)), r) << a << " " << b;

    EXPECT_LT(ori_dh(chamada_de(1, 2, dh(31, 12, 2017, 0, 0, 0), 1),
                     chamada_de(2, 1, dh(1, 11, 2017, 0, 0, 0), 1)),
              0);
    EXPECT_LT(ori_dh(chamada_de(2, 1, dh(30, 11, 2017, 23, 0, 0), 1),
                     chamada_de(2, 1, dh(1, 12, 2017, 0, 0, 0), 1)),
              0);
    EXPECT_EQ(ori_dh(chamada_de(3, 1, dh(5, 12, 2017, 9, 9, 9), 10),
                     chamada_de(3, 5, dh(5, 12, 2017, 9, 9, 9), 300)),
              0);
    EXPECT_EQ(ori_dh(chamada_de(3, 1, dh(5, 12, 2017, 9, 9, 9), 10),
                     chamada_de(3, 5, dh(2, 12, 2017, 9, 9, 9), 1)),
              3);
}

TEST(ListaChamadas, GeraAcrescentaEOrdena) {
    auto lis = std::make_unique<TLisCha>();
    gere_lis_cha(lis.get(), 0);
    EXPECT_EQ(lis->num_cha, 0);
    EXPECT_EQ(saida_de([&] { mostre_lis_cha(lis.get()); }), "");

    std::srand(2017);
    gere_lis_cha(lis.get(), 3);
    const TChamada antigas[3] = {lis->chamadas[0], lis->chamadas[1], lis->chamadas[2]};
    gere_lis_cha(lis.get(), 200);
    ASSERT_EQ(lis->num_cha, 203);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(iguais(lis->chamadas[i], antigas[i]));
    for (int i = 0; i < lis->num_cha; ++i) {
        const TChamada& c = lis->chamadas[i];
        ASSERT_TRUE(c.cod_cli_ori >= 1 && c.cod_cli_ori <= 5 && c.cod_cli_des >= 1 &&
                    c.cod_cli_des <= 5 && c.cod_cli_ori != c.cod_cli_des);
        const int ns = num_seg(c.ini, c.fim);
        ASSERT_TRUE(ns >= 1 && ns <= 600);
    }

    std::qsort(lis->chamadas, static_cast<std::size_t>(lis->num_cha), sizeof(TChamada),
               cmp_chamada_ori_dat_hor);
    for (int i = 1; i < lis->num_cha; ++i)
        ASSERT_LE(cmp_chamada_ori_dat_hor(&lis->chamadas[i - 1], &lis->chamadas[i]), 0);

    const std::string listagem = saida_de([&] { mostre_lis_cha(lis.get()); });
    EXPECT_EQ(std::count(listagem.begin(), listagem.end(), '\n'), 203);
    EXPECT_EQ(listagem.size(), 203U * 36U);
    EXPECT_EQ(listagem.substr(0, 36), saida_de([&] { mostre_chamada2(lis->chamadas[0]); }) + "\n");
}

TEST(ListaChamadas, ListaCheiaRecusaSemEscreverForaDoVetor) {
    auto lis = std::make_unique<TLisCha>();
    lis->num_cha = capacidade_lis_cha - 1;
    const TChamada c = chamada_de(1, 2, dh(1, 11, 2017, 0, 0, 0), 5);
    insere_chamada(lis.get(), c);
    EXPECT_EQ(lis->num_cha, capacidade_lis_cha);
    EXPECT_TRUE(iguais(lis->chamadas[capacidade_lis_cha - 1], c));
    insere_chamada(lis.get(), c);
    EXPECT_EQ(lis->num_cha, capacidade_lis_cha);
    gere_lis_cha(lis.get(), 5);
    EXPECT_EQ(lis->num_cha, capacidade_lis_cha);

    lis->num_cha = -3;  // an invalid count is not an index either
    insere_chamada(lis.get(), c);
    EXPECT_EQ(lis->num_cha, -3);
    EXPECT_EQ(saida_de([&] { mostre_lis_cha(lis.get()); }), "");
}

}  // namespace
