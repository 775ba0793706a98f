// Time of day, dates and date-times: stepping, counting, ordering, drawing and printing.

#include <cstdlib>
#include <tuple>

#include "apoio.h"
#include "datahora.h"

namespace {

std::tuple<int, int, int, int, int, int> campos(TDataHora d) {
    return {d.dat.dia, d.dat.mes, d.dat.ano, d.hor.hor, d.hor.min, d.hor.seg};
}

struct Passo {
    TDataHora de;
    TDataHora para;
};

TEST(Mais1Seg, CarregaPorTodosOsCamposEPelosAnosBissextos) {
    const Passo casos[] = {
        {dh(14, 12, 2017, 10, 0, 0), dh(14, 12, 2017, 10, 0, 1)},
        {dh(14, 12, 2017, 10, 0, 59), dh(14, 12, 2017, 10, 1, 0)},
        {dh(14, 12, 2017, 10, 59, 59), dh(14, 12, 2017, 11, 0, 0)},
        {dh(14, 12, 2017, 23, 59, 59), dh(15, 12, 2017, 0, 0, 0)},
        {dh(30, 11, 2017, 23, 59, 59), dh(1, 12, 2017, 0, 0, 0)},
        {dh(31, 12, 2017, 23, 59, 59), dh(1, 1, 2018, 0, 0, 0)},
        {dh(28, 2, 2016, 23, 59, 59), dh(29, 2, 2016, 0, 0, 0)},
        {dh(29, 2, 2016, 23, 59, 59), dh(1, 3, 2016, 0, 0, 0)},
        {dh(28, 2, 2017, 23, 59, 59), dh(1, 3, 2017, 0, 0, 0)},
        {dh(28, 2, 1900, 23, 59, 59), dh(1, 3, 1900, 0, 0, 0)},
        {dh(28, 2, 2000, 23, 59, 59), dh(29, 2, 2000, 0, 0, 0)},
        {dh(31, 1, 2017, 23, 59, 59), dh(1, 2, 2017, 0, 0, 0)},
        {dh(30, 4, 2017, 23, 59, 59), dh(1, 5, 2017, 0, 0, 0)},
    };
    for (const auto& c : casos)
        EXPECT_EQ(campos(mais_1_seg(c.de)), campos(c.para));
}

TEST(Mais1Seg, NaoLeForaDaTabelaDeMeses) {
    // Months that are no month take length 0: the day carries into the month.
    EXPECT_EQ(campos(mais_1_seg(dh(5, 0, 2017, 23, 59, 59))), campos(dh(1, 1, 2017, 0, 0, 0)));
    EXPECT_EQ(campos(mais_1_seg(dh(5, 13, 2017, 23, 59, 59))), campos(dh(1, 1, 2018, 0, 0, 0)));
    EXPECT_EQ(campos(mais_1_seg(dh(5, -7, 2017, 23, 59, 59))), campos(dh(1, -6, 2017, 0, 0, 0)));
    EXPECT_EQ(campos(mais_1_seg(dh(5, 127, 2017, 23, 59, 59))), campos(dh(1, 1, 2018, 0, 0, 0)));
    // Fields at the top of their type wrap as the tests say, without overflow.
    EXPECT_EQ(campos(mais_1_seg(dh(1, 1, 2017, 127, 127, 127))), campos(dh(2, 1, 2017, 0, 0, 0)));
}

TEST(NumSeg, ContaExatamenteOsPassosDados) {
    // Seconds outside 0..59 too: stepped up to 59 one at a time, wrapped from 59 up.
    const TDataHora inicios[] = {dh(31, 12, 2017, 23, 50, 0), dh(30, 11, 2017, 23, 55, 17),
                                 dh(28, 2, 2016, 23, 59, 30), dh(28, 2, 1900, 23, 59, 30),
                                 dh(1, 11, 2017, 0, 0, 0),    dh(31, 12, 2017, 23, 59, -20),
                                 dh(30, 11, 2017, 23, 58, 75)};
    for (const TDataHora& ini : inicios) {
        TDataHora fim = ini;
        for (int n = 0; n <= 700; ++n) {
            ASSERT_EQ(num_seg(ini, fim), n);
            ASSERT_EQ(campos(mais_n_seg(ini, n)), campos(fim));
            fim = mais_1_seg(fim);
        }
    }
}

TEST(NumSeg, CasosDeBorda) {
    const TDataHora d = dh(14, 12, 2017, 13, 45, 10);
    EXPECT_EQ(num_seg(d, d), 0);
    EXPECT_EQ(num_seg(dh(14, 12, 2017, 13, 45, 11), d), 0);
    EXPECT_EQ(num_seg(dh(31, 12, 2017, 23, 59, 50), dh(1, 1, 2018, 0, 0, 10)), 20);

    // The latest generated start and the longest call.
    TDataHora fim = dh(31, 12, 2017, 23, 59, 59);
    for (int i = 0; i < 600; ++i)
        fim = mais_1_seg(fim);
    EXPECT_EQ(campos(fim), campos(dh(1, 1, 2018, 0, 9, 59)));
    EXPECT_EQ(num_seg(dh(31, 12, 2017, 23, 59, 59), fim), 600);

    // An end no step lands on stops the count at the first step past it.
    EXPECT_EQ(num_seg(dh(1, 1, 2017, 0, 0, 58), dh(1, 1, 2017, 0, 0, 70)), 2);
}

TEST(CmpDataHora, DiferencaDoPrimeiroCampoDiferente) {
    const auto cmp = [](TDataHora a, TDataHora b) { return cmp_data_hora(&a, &b); };
    EXPECT_EQ(cmp(dh(14, 12, 2017, 10, 0, 0), dh(14, 12, 2017, 10, 0, 0)), 0);
    EXPECT_EQ(cmp(dh(14, 12, 2017, 10, 0, 0), dh(12, 12, 2017, 23, 59, 59)), 2);
    EXPECT_EQ(cmp(dh(31, 12, 2017, 23, 59, 59), dh(1, 1, 2018, 0, 0, 0)), -1);
    EXPECT_EQ(cmp(dh(1, 12, 2017, 0, 0, 0), dh(30, 11, 2017, 23, 59, 59)), 1);
    EXPECT_EQ(cmp(dh(1, 12, 2017, 5, 0, 0), dh(1, 12, 2017, 2, 59, 59)), 3);
    EXPECT_EQ(cmp(dh(1, 12, 2017, 5, 10, 0), dh(1, 12, 2017, 5, 50, 59)), -40);
    EXPECT_EQ(cmp(dh(1, 12, 2017, 5, 10, 0), dh(1, 12, 2017, 5, 10, 59)), -59);
}

TEST(Impressao, DataHoraComZerosAEsquerdaEUmEspaco) {
    EXPECT_EQ(saida_de([] { mostre_hora(dh(0, 0, 0, 7, 5, 9).hor); }), "07:05:09");
    EXPECT_EQ(saida_de([] { mostre_data(dt(9, 11, 2017)); }), "09/11/2017");
    EXPECT_EQ(saida_de([] { mostre_data_hora(dh(9, 11, 2017, 7, 5, 9)); }), "09/11/2017 07:05:09");
    // Out-of-range values print as they are, signs and all.
    EXPECT_EQ(saida_de([] { mostre_data_hora(dh(-1, 5, 17, 100, -5, 0)); }), "-1/05/17 100:-5:00");
    EXPECT_EQ(saida_de([] { mostre_data(dt(1, 1, -32768)); }), "01/01/-32768");
}

TEST(Sorteio, DatasEHorasNoIntervaloCincoSorteiosPorDataHora) {
    std::srand(7);
    for (int i = 0; i < 20000; ++i) {
        const TDataHora d = gere_data_hora();
        ASSERT_EQ(d.dat.ano, 2017);
        ASSERT_TRUE(d.dat.mes == 11 || d.dat.mes == 12);
        ASSERT_GE(d.dat.dia, 1);
        ASSERT_LE(d.dat.dia, d.dat.mes == 11 ? 30 : 31);
        ASSERT_TRUE(d.hor.hor >= 0 && d.hor.hor <= 23);
        ASSERT_TRUE(d.hor.min >= 0 && d.hor.min <= 59);
        ASSERT_TRUE(d.hor.seg >= 0 && d.hor.seg <= 59);
    }
    // Month, day, hour, minute, second: one draw each, in that order.
    std::srand(99);
    const int r[5] = {std::rand(), std::rand(), std::rand(), std::rand(), std::rand()};
    const int sentinela = std::rand();
    std::srand(99);
    const TDataHora d = gere_data_hora();
    const int mes = 11 + r[0] % 2;
    EXPECT_EQ(campos(d), campos(dh(1 + r[1] % (mes == 11 ? 30 : 31), mes, 2017, r[2] % 24,
                                   r[3] % 60, r[4] % 60)));
    EXPECT_EQ(std::rand(), sentinela);
}

}  // namespace
