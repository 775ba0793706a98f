// Calendar utilities: next day, comparison, day numbers, weekdays, dates in words, reading a
// date and today's date.

#include <algorithm>
#include <ctime>
#include <tuple>
#include <vector>

#include "apoio.h"
#include "data.h"

namespace {

std::tuple<int, int, int> campos(TData d) {
    return {d.dia, d.mes, d.ano};
}

TEST(PassaUmDia, ValorEReferenciaDaoOMesmoDiaSeguinte) {
    const std::pair<TData, TData> casos[] = {
        {dt(15, 11, 2017), dt(16, 11, 2017)}, {dt(30, 11, 2017), dt(1, 12, 2017)},
        {dt(31, 12, 2017), dt(1, 1, 2018)},   {dt(28, 2, 2016), dt(29, 2, 2016)},
        {dt(29, 2, 2016), dt(1, 3, 2016)},    {dt(28, 2, 2017), dt(1, 3, 2017)},
        {dt(28, 2, 1900), dt(1, 3, 1900)},    {dt(28, 2, 2000), dt(29, 2, 2000)},
    };
    for (const auto& [de, para] : casos) {
        EXPECT_EQ(campos(passa_um_dia(de)), campos(para));
        TData ref = de;
        passa_um_dia_ref(&ref);
        EXPECT_EQ(campos(ref), campos(para));
    }
    // No month table entry is read for a month that is no month.
    EXPECT_EQ(campos(passa_um_dia(dt(3, 40, 2017))), campos(dt(1, 1, 2018)));
}

TEST(CmpData, DiferencaDoPrimeiroCampoEOrdemDeCalendario) {
    const auto cmp = [](TData a, TData b) { return cmp_data(&a, &b); };
    EXPECT_EQ(cmp(dt(31, 12, 2017), dt(1, 1, 2018)), -1);
    EXPECT_EQ(cmp(dt(1, 12, 2017), dt(30, 11, 2017)), 1);
    EXPECT_EQ(cmp(dt(10, 12, 2017), dt(3, 12, 2017)), 7);
    EXPECT_EQ(cmp(dt(10, 12, 2017), dt(10, 12, 2017)), 0);
    EXPECT_EQ(cmp(dt(1, 1, 1990), dt(1, 1, 2020)), -30);

    std::vector<TData> datas;
    for (TData d = dt(25, 12, 2016); cmp(d, dt(5, 3, 2018)) < 0; d = passa_um_dia(d))
        datas.push_back(d);
    std::vector<TData> embaralhadas = datas;
    std::reverse(embaralhadas.begin(), embaralhadas.end());
    std::rotate(embaralhadas.begin(), embaralhadas.begin() + 100, embaralhadas.end());
    std::qsort(embaralhadas.data(), embaralhadas.size(), sizeof(TData), cmp_data);
    for (std::size_t i = 0; i < datas.size(); ++i)
        ASSERT_EQ(campos(embaralhadas[i]), campos(datas[i]));
}

TEST(Desde1900, NumerosDeDiaEDiasDaSemana) {
    const std::pair<TData, std::uint32_t> tabela[] = {
        {dt(1, 1, 1900), 1},       {dt(28, 2, 1900), 59},    {dt(1, 3, 1900), 60},
        {dt(31, 12, 1900), 365},   {dt(1, 1, 1901), 366},    {dt(1, 1, 1990), 32873},
        {dt(1, 1, 2000), 36525},   {dt(29, 2, 2000), 36584}, {dt(1, 11, 2017), 43039},
        {dt(31, 12, 2017), 43099}, {dt(1, 1, 2018), 43100},
    };
    for (const auto& [d, n] : tabela)
        EXPECT_EQ(desde_1_1_1990(d), n);

    EXPECT_EQ(dia_semana(dt(1, 1, 1900)), 1);
    EXPECT_EQ(dia_semana(dt(1, 1, 2000)), 6);
    EXPECT_EQ(dia_semana(dt(1, 11, 2017)), 3);
    EXPECT_EQ(dia_semana(dt(25, 12, 2017)), 1);
    EXPECT_EQ(dia_semana(dt(31, 12, 2017)), 0);

    // Consecutive days differ by one, across the February ends of 1900 and 2000 too.
    for (TData d = dt(1, 1, 1899 + 1); d.ano < 2021; d = passa_um_dia(d))
        ASSERT_EQ(desde_1_1_1990(passa_um_dia(d)), desde_1_1_1990(d) + 1)
            << int{d.dia} << '/' << int{d.mes} << '/' << d.ano;

    // A month that is no month reads no table entry past December.
    EXPECT_EQ(desde_1_1_1990(dt(1, 100, 1900)), 366U);
}

TEST(DiaSemExt, BytesDosSeteDias) {
    // 24/12/2017 was a Sunday.
    const std::string_view nomes[] = {"domingo",
                                      "segunda-feira",
                                      "ter\x87 \x08"
                                      "a-feira",
                                      "quarta-feira",
                                      "quinta-feira",
                                      "sexta-feira",
                                      "s\xA0 \x08"
                                      "bado"};
    TData d = dt(24, 12, 2017);
    for (const std::string_view nome : nomes) {
        EXPECT_EQ(saida_de([&] { dia_sem_ext(d); }), nome);
        d = passa_um_dia(d);
    }
    EXPECT_EQ(std::string_view(dse[2]).size(), 13U);
    EXPECT_EQ(std::string_view(dse[6]).size(), 8U);
}

TEST(MostreDataExt, DataPorExtenso) {
    EXPECT_EQ(saida_de([] { mostre_data_ext(dt(31, 12, 2017)); }), "31 de dezembro de 2017");
    EXPECT_EQ(saida_de([] { mostre_data_ext(dt(1, 2, 2018)); }), "01 de fevereiro de 2018");
    EXPECT_EQ(saida_de([] { mostre_data_ext(dt(1, 3, 2017)); }), "01 de mar\x87o de 2017");
    EXPECT_EQ(saida_de([] { mostre_data_ext(dt(7, 0, 2017)); }), "07 de  de 2017");
    EXPECT_EQ(saida_de([] { mostre_data_ext(dt(7, 13, 2017)); }), "07 de  de 2017");
}

TEST(LeData, LeDiaMesAnoEDeixaORestoDaLinha) {
    {
        EntradaDe entrada("25/12/2017 resto\nproxima\n");
        EXPECT_EQ(campos(le_data()), campos(dt(25, 12, 2017)));
        EXPECT_EQ(std::getchar(), ' ');
    }
    {
        EntradaDe entrada("7/3/2018");
        EXPECT_EQ(campos(le_data()), campos(dt(7, 3, 2018)));
    }
    {
        // What could not be read is 0, never left unset.
        EntradaDe entrada("12/xx");
        EXPECT_EQ(campos(le_data()), campos(dt(12, 0, 0)));
    }
    {
        EntradaDe entrada("");
        EXPECT_EQ(campos(le_data()), campos(dt(0, 0, 0)));
    }
    {
        // Each value narrowed to its field.
        EntradaDe entrada("300/2/70000");
        EXPECT_EQ(campos(le_data()), campos(dt(300 - 256, 2, 70000 - 65536)));
    }
}

TEST(DatSis, HojePeloRelogioLocal) {
    const std::time_t antes = std::time(nullptr);
    const TData hoje = dat_sis();
    std::tm tm{};
    localtime_r(&antes, &tm);
    const TData esperado = dt(tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    // Midnight may fall between the two readings.
    EXPECT_TRUE(campos(hoje) == campos(esperado) || campos(hoje) == campos(passa_um_dia(esperado)));
}

}  // namespace
