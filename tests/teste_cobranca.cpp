// Bills of any calls: one bill per customer and year-month, and exact money that agrees with
// the simulated run's float.

#include <array>
#include <cstdio>
#include <memory>

#include "apoio.h"
#include "cobranca.h"
#include "cobranca_registros.h"
#include "espalha.h"
#include "execucao.h"
#include "exportacao.h"
#include "tarifas_toml.h"

namespace {

TEST(Cobranca, SegundoUtc) {
    const std::pair<TDataHora, std::int64_t> casos[] = {
        {dh(1, 1, 1970, 0, 0, 0), 0},
        {dh(31, 12, 1969, 23, 59, 59), -1},
        {dh(1, 12, 2017, 10, 0, 0), 1512122400},
        {dh(29, 2, 2024, 23, 59, 59), 1709251199},
        {dh(1, 3, 2100, 0, 0, 0), 4107542400},
    };
    for (const auto& [d, s] : casos)
        EXPECT_EQ(segundo_utc(d), s) << fmt::format("{}", d);
}

TEST(Cobranca, TarifaEmCentavosEDinheiro) {
    for (std::int64_t ns = 0; ns <= 5000; ++ns)
        ASSERT_EQ(dinheiro({true, tarifa_da_execucao.centavos(ns), 0.0F}, '.'),
                  dinheiro({false, 0, tarifa_da_execucao.reais(ns)}, '.'))
            << ns;
    EXPECT_EQ(dinheiro(Valor{true, 123456789012, 0.0F}, ','), "1234567890,12");
    EXPECT_EQ(dinheiro(Valor{true, 5, 0.0F}, '.'), "0.05");
}

ChamadaCobrada cobrada(Contas& c, std::uint32_t cod, TDataHora ini, std::uint32_t seg,
                       std::string_view numero) {
    return {ini,
            ini,
            cod,
            seg,
            c.textos.guarda(numero),
            0,
            0,
            static_cast<std::uint32_t>(c.chamadas.size()),
            tarifa_da_execucao.centavos(seg)};
}

// December 2023 and December 2024 are two bills; calls by start, one second's in the order read.
TEST(Cobranca, UmaContaPorClienteAnoEMes) {
    Contas c;
    c.clientes = clientes_de({{7, "Sete", "Rua 7"}});
    for (const auto& [cod, ini, seg, numero] :
         std::initializer_list<std::tuple<std::uint32_t, TDataHora, std::uint32_t, const char*>>{
             {7, dh(5, 12, 2024, 10, 0, 0), 36, "a"},
             {7, dh(5, 12, 2023, 10, 0, 0), 4, "b"},
             {3, dh(1, 1, 2024, 0, 0, 0), 600, "c"},
             {7, dh(1, 12, 2024, 10, 0, 0), 3, "d"},
             {7, dh(5, 12, 2024, 10, 0, 0), 31, "e"},
         })
        c.chamadas.push_back(cobrada(c, cod, ini, seg, numero));
    agrupa_em_contas(c);
    std::string s;
    for (const ContaMensal& conta : c.contas) {
        s += fmt::format("{} {}-{} {} {} {} {}:", conta.cod_cli, conta.ano, conta.mes,
                         conta.chamadas, conta.tempo_total, dinheiro(conta.valor_total, '.'),
                         fmt::format("{}", vencimento_da_conta(conta)));
        for (const ChamadaCobrada& ch : c.chamadas_de(conta))
            s += fmt::format(" {}", c.textos[ch.numero]);
        s += "\n";
    }
    EXPECT_EQ(s,
              "3 2024-1 1 600 6.00 10/02/2024: c\n"
              "7 2023-12 1 4 0.30 10/01/2024: b\n"
              "7 2024-12 3 70 0.66 10/01/2025: d a e\n");
}

// The run's float totals and the same calls billed in centavos print alike: every bill of
// many runs, as CSV.
TEST(Cobranca, CentavosConcordamComOFloatDaExecucao) {
    PastaTemp pasta;
    grava(pasta / "c.arq", arquivo_valido(6).bytes());
    const auto e = std::make_unique<Execucao>();
    const auto csv = [](const Contas& c) {
        char* b = nullptr;
        std::size_t n = 0;
        std::FILE* m = ::open_memstream(&b, &n);
        exporta_contas(c, m);
        exporta_chamadas(c, m);
        std::fclose(m);
        std::string s(b, n);
        std::free(b);
        return s;
    };
    for (unsigned semente = 0; semente < 200; ++semente) {
        std::srand(semente);
        ASSERT_TRUE(prepara_execucao((pasta / "c.arq").c_str(), e.get()).ok());
        const Contas execucao = contas_da_execucao(*e);
        Contas exatas = contas_da_execucao(*e);
        exatas.exatas = true;
        agrupa_em_contas(exatas);
        ASSERT_EQ(csv(exatas), csv(execucao)) << semente;
    }
    std::srand(1);
}

// ---- Records ----

RegistroChamada registro(std::string_view conta, std::string_view origem, TDataHora ini,
                         std::uint32_t seg, bool cobravel = true, std::string_view unico = {}) {
    return {4,
            FormatoRegistros::pbx_csv,
            conta,
            origem,
            "8532345678",
            {},
            ini,
            ini,
            seg,
            cobravel,
            "a,\"b\",c",
            unico,
            {}};
}

// A set of calls' keys of several MiB, as a large file's, then grown past its room: each key
// new once.
TEST(CobrancaRegistros, ChavesVistasDeUmArquivoGrande) {
    ChavesVistas v;
    v.reserva(std::size_t{1} << 17);
    std::size_t novas = 0;
    for (std::uint64_t k = 0; k < 3 << 17; ++k)
        novas += v.insere(mistura(k % (1 << 18))) ? 1 : 0;
    EXPECT_EQ(novas, std::size_t{1} << 18);
    EXPECT_TRUE(v.contem(mistura(0)) && v.contem(mistura(123457)));
    EXPECT_FALSE(v.contem(mistura(1 << 18)));
}

// Every row in the first place that applies, counted once; the customer-less and the rejected
// written down; bills by customer, year and month, with or without their calls.
TEST(CobrancaRegistros, CadaRegistroContadoUmaVez) {
    const auto cli = clientes_de({{7, "Sete", "Rua 7"}, {3, "Tres", "Rua 3"}});
    struct Caso {
        std::optional<MesAno> mes;
        bool guarda;
        const char* resumo;
        const char* contas;
    };
    const Caso casos[] = {
        {{},
         false,
         "14 registros: 7 cobrados em 4 contas, 0 de outros meses, 1 nao cobraveis, 3 sem cliente, "
         "1 rejeitados, 2 duplicados",
         "3 2023-12 1 600 6.00|7 2023-12 1 42 0.42|7 2024-11 1 4 0.30|7 2024-12 4 144 1.44|"},
        {{},
         true,
         "14 registros: 7 cobrados em 4 contas, 0 de outros meses, 1 nao cobraveis, 3 sem cliente, "
         "1 rejeitados, 2 duplicados",
         "3 2023-12 1 600 6.00|7 2023-12 1 42 0.42|7 2024-11 1 4 0.30|7 2024-12 4 144 1.44|"},
        {MesAno{2024, 12}, true,
         "14 registros: 4 cobrados em 1 contas, 3 de outros meses, 1 nao cobraveis, 3 sem cliente, "
         "1 rejeitados, 2 duplicados",
         "7 2024-12 4 144 1.44|"},
    };
    for (const Caso& c : casos) {
        CobrancaRegistros cob({cli, nullptr, c.mes, c.guarda, true, csv_padrao});
        cob.registro(registro("7", "", dh(5, 12, 2024, 9, 0, 0), 36));
        cob.registro(registro("", "ramal1", dh(5, 12, 2024, 9, 0, 0), 36));
        cob.registro(registro("99", "", dh(5, 12, 2024, 9, 0, 0), 36));
        cob.registro(registro("", "ramal1", dh(5, 11, 2024, 9, 0, 0), 40));
        cob.registro(registro("7", "", dh(5, 12, 2024, 9, 0, 0), 36, false));
        EXPECT_TRUE(cob.rejeitado({9, "data impossivel", "x,30/02"}));
        cob.registro(registro("3", "", dh(31, 12, 2023, 23, 59, 59), 600));
        cob.registro(registro("007", "", dh(30, 11, 2024, 0, 0, 0), 4));
        cob.registro(registro("7", "", dh(1, 12, 2024, 9, 0, 0), 36));
        // The same call again, as overlapping rotated logs hold it, is counted once; with
        // another uniqueid it is another call.
        cob.registro(registro("7", "", dh(1, 12, 2024, 9, 0, 0), 36));
        cob.registro(registro("7", "", dh(1, 12, 2024, 9, 0, 0), 36, true, "u1"));
        cob.registro(registro("7", "", dh(1, 12, 2024, 9, 0, 0), 36, true, "u1"));
        cob.registro(registro("7", "", dh(1, 12, 2024, 9, 0, 0), 36, true, "u2"));
        cob.registro(registro("7", "", dh(1, 12, 2023, 9, 0, 0), 42));  // a year before
        const Contas contas = cob.termina();
        EXPECT_EQ(descreve_resumo(cob.resumo()), c.resumo);
        EXPECT_EQ(descreve_sem_cliente(cob.resumo(), 1),
                  "sem cliente: ramal1, 2 chamadas, 00:01:16\nsem cliente: e mais 1\n");
        std::string s;
        for (const ContaMensal& k : contas.contas)
            s += fmt::format("{} {}-{:02} {} {} {}|", k.cod_cli, k.ano, k.mes, k.chamadas,
                             k.tempo_total, dinheiro(k.valor_total, '.'));
        EXPECT_EQ(s, c.contas);
        EXPECT_EQ(contas.chamadas.size(), c.guarda ? cob.resumo().cobrados : 0U);
    }
    CobrancaRegistros cob({cli, nullptr, {}, false, true, csv_planilha});
    cob.le("r.csv");  // the file the rows are of
    cob.registro(registro("", "ramal1", dh(5, 12, 2024, 9, 0, 0), 36));
    EXPECT_TRUE(cob.rejeitado({9, "data impossivel", "x;30/02"}));
    EXPECT_EQ(cob.rejeitadas(),
              "\xEF\xBB\xBF"
              "arquivo;linha;motivo;registro\r\n"
              "r.csv;4;sem cliente;\"a,\"\"b\"\",c\"\r\n"
              "r.csv;9;data impossivel;\"x;30/02\"\r\n");
    // Without --rejeitadas, an unreadable row stops the reading.
    CobrancaRegistros para({cli, nullptr, {}, false, false, csv_padrao});
    EXPECT_FALSE(para.rejeitado({1, "data impossivel", ""}));
}

// Whose a PBX row is and whether it is billed, as the README says: the account code when it is a
// register customer's, else the customer of the line `src`; billed only when ANSWERED, with
// billsec above 0 and amaflags other than OMIT.
TEST(CobrancaRegistros, AtribuicaoECobranca) {
    const auto cli = clientes_de({{7, "Sete", "Rua 7"}, {3, "Tres", "Rua 3"}});
    TabelaLinhas linhas;
    linhas.insere("(85) 9 8877-4123", 3);
    linhas.insere("211553", 7);
    struct Caso {
        const char* conta;
        const char* src;
        const char* billsec;
        const char* disposicao;
        const char* flags;
        const char* fica;  // the bill, or where the row went
    };
    const Caso casos[] = {
        {"7", "85988774123", "60", "ANSWERED", "DOCUMENTATION", "7 0.60"},
        {"007", "", "60", "ANSWERED", "BILLING", "7 0.60"},
        {"99", "+55 85 98877-4123", "60", "ANSWERED", "DOCUMENTATION", "3 0.60"},
        {"", "21-1553", "4", "ANSWERED", "DOCUMENTATION", "7 0.30"},
        {"", "85988774123", "1", "ANSWERED", "DOCUMENTATION", "3 0.00"},
        {"99", "1001", "60", "ANSWERED", "DOCUMENTATION", "sem cliente"},
        {"7", "", "0", "ANSWERED", "DOCUMENTATION", "nao cobravel"},
        {"7", "", "60", "NO ANSWER", "DOCUMENTATION", "nao cobravel"},
        {"7", "", "60", "BUSY", "DOCUMENTATION", "nao cobravel"},
        {"7", "", "60", "ANSWERED", "OMIT", "nao cobravel"},
    };
    for (const Caso& c : casos) {
        const std::string linha = fmt::format(
            "{},{},8532345678,ctx,,,,,,2024-03-05 10:00:00,2024-03-05 10:00:07,2024-03-05 "
            "10:01:07,67,{},{},{}\n",
            c.conta, c.src, c.billsec, c.disposicao, c.flags);
        CobrancaRegistros cob({cli, &linhas, {}, false, true, csv_padrao});
        AnalisadorRegistros a;
        ASSERT_TRUE(a.consome(linha, cob) && a.termina(cob)) << linha;
        const Contas contas = cob.termina();
        const ResumoCobranca& r = cob.resumo();
        const std::string fica = r.nao_cobraveis != 0 ? "nao cobravel"
                                 : r.sem_cliente != 0
                                     ? "sem cliente"
                                     : fmt::format("{} {}", contas.contas.at(0).cod_cli,
                                                   dinheiro(contas.contas.at(0).valor_total, '.'));
        EXPECT_EQ(fica, c.fica) << linha;
    }
}

std::string em_csv(const Contas& c, bool chamadas, DialetoCsv d) {
    char* b = nullptr;
    std::size_t n = 0;
    std::FILE* m = ::open_memstream(&b, &n);
    if (chamadas)
        exporta_chamadas(c, m, d);
    else
        exporta_contas(c, m, d);
    std::fclose(m);
    std::string s(b, n);
    std::free(b);
    return s;
}

// A run's calls CSV billed again gives that CSV back, and that run's bills, byte for byte, in
// either dialect.
TEST(CobrancaRegistros, CsvDeChamadasDeUmaExecucaoDeVolta) {
    PastaTemp pasta;
    grava(pasta / "c.arq", arquivo_valido(6).bytes());
    const auto e = std::make_unique<Execucao>();
    for (const unsigned semente : {1U, 5U, 1512122400U, 1700000000U}) {
        std::srand(semente);
        ASSERT_TRUE(prepara_execucao((pasta / "c.arq").c_str(), e.get()).ok());
        const Contas execucao = contas_da_execucao(*e);
        for (const DialetoCsv d : {csv_padrao, csv_planilha}) {
            const std::string chamadas = em_csv(execucao, true, d);
            grava(pasta / "x.csv", chamadas);
            for (const bool guarda : {true, false}) {
                CobrancaRegistros cob({execucao.clientes, nullptr, {}, guarda, false, d});
                ASSERT_TRUE(cob.le((pasta / "x.csv").string()).ok());
                const Contas lidas = cob.termina();
                if (guarda) {
                    EXPECT_EQ(em_csv(lidas, true, d), chamadas) << semente;
                }
                EXPECT_EQ(em_csv(lidas, false, d), em_csv(execucao, false, d)) << semente;
            }
        }
    }
    std::srand(1);
}

// A file read in parts at once bills as one pass does, mapped or not: the same calls, rejected
// rows with their lines, summary and first error, whatever lies at the cuts (a call of an earlier
// part again, a row over the middle, CRLF, a row too long, no last line end).
TEST(CobrancaRegistros, EmPartesComoNumaPassada) {
    const auto cli = clientes_de({{7, "Sete", "Rua 7"}, {3, "Tres", "Rua 3"}});
    TabelaLinhas linhas;
    linhas.insere("211553", 3);
    // Row i, of customer 7, 3 or none, every 5th to a mobile; every 13th the call of 150 rows
    // before again.
    const auto linha = [](int i, bool ruins) -> std::string {
        if (ruins && i % 41 == 5) return fmt::format("{},x,y", i);
        const int j = i % 13 == 12 && i >= 150 ? i - 150 : i;
        constexpr std::array<const char*, 3> quem{"7,", ",211553", ",1001"};
        return fmt::format(
            "{},{}{:08},ctx,,,,,,2024-03-{:02} {:02}:{:02}:00,,2024-03-{:02} "
            "{:02}:{:02}:59,59,{},{},"
            "DOCUMENTATION,u{}",
            quem[static_cast<std::size_t>(j % 3)], j % 5 == 0 ? "859" : "85", j * 7919, 1 + j % 28,
            j % 24, j % 60, 1 + j % 28, j % 24, j % 60, 1 + j % 50,
            j % 7 == 0 ? "NO ANSWER" : "ANSWERED", j);
    };
    const auto arquivo = [&](bool ruins, int erro, std::string_view fim) {
        std::string a;
        for (int i = 0; i < 600; ++i) {
            a += i == erro ? "x,y" : i == 300 && ruins ? std::string(70000, 'x') : linha(i, ruins);
            if (i < 599 || fim == "\r\n") a += fim;
        }
        return a;
    };
    struct Arquivo {
        std::string bytes;
        bool aceita;
    };
    const Arquivo arquivos[] = {
        {arquivo(true, -1, "\n"), true},
        {arquivo(true, -1, "\r\n"), true},
        {arquivo(false, -1, "\n"), true},
        {arquivo(false, 450, "\n"), false},
    };
    // Counts the parts asked for.
    struct Partes final : DestinoRegistros {
        CobrancaRegistros& c;
        unsigned n = 0;
        explicit Partes(CobrancaRegistros& cob) : c(cob) {}
        void registro(const RegistroChamada& r) override { c.registro(r); }
        bool rejeitado(const RegistroRejeitado& r) override { return c.rejeitado(r); }
        std::unique_ptr<ParteRegistros> parte() override {
            ++n;
            return c.parte();
        }
    };
    // The calls on a book's issued bills: every fifth one asked, so that asking in another order
    // would leave out other calls.
    struct Faturadas final : JaFaturadas {
        std::size_t n = 0;
        bool contem(const RegistroChamada& /*r*/) override { return ++n % 5 == 0; }
    };
    Tarifa so_fixo;
    ASSERT_TRUE(le_tarifas_de("ddd = 85\n[[destino]]\nnome = \"Fixo\"\ntipo = \"local_fixo\"\n"
                              "[[plano]]\nnome = \"P\"\nprecos = { \"Fixo\" = 0.1 }\n",
                              "t.toml", so_fixo)
                    .ok());
    PastaTemp pasta;
    const std::string r = (pasta / "r.csv").string();
    for (const Arquivo& a : arquivos) {
        grava(r, a.bytes);
        // Totals, calls, calls and keys with a book, totals by a price list that has no price
        // for some calls.
        for (const int modo : {0, 1, 2, 3}) {
            const bool guarda = modo == 1 || modo == 2;
            std::string uma;
            for (unsigned n = 1; n <= 4; ++n) {
                PedidoCobranca pedido{cli, &linhas, {}, guarda, a.aceita, csv_padrao};
                if (modo == 3) pedido.tarifa = &so_fixo;
                Faturadas faturadas;
                pedido.faturadas = modo == 2 ? &faturadas : nullptr;
                pedido.guarda_chaves = modo == 2;
                CobrancaRegistros cob(pedido);
                Partes p(cob);
                // Mapped a page or the usual window at a time, or read with read(2).
                constexpr std::array<std::size_t, 3> janelas{Tarefas{}.janela, 4096, 0};
                const Erro e = le_registros(r, p, {n, 1, janelas.at(n % 3)});
                const Contas contas = cob.termina();
                std::string tudo = descreve_erro(e) + "\n" + descreve_resumo(cob.resumo()) + "\n" +
                                   descreve_sem_cliente(cob.resumo()) + cob.rejeitadas() +
                                   em_csv(contas, guarda, csv_padrao);
                for (const std::string& k : contas.chaves)
                    tudo += k + "\n";
                EXPECT_EQ(p.n, n - 1);
                if (n == 1) uma = tudo;
                EXPECT_EQ(tudo, uma) << n << " " << a.bytes.substr(0, 100);
            }
        }
    }
}

TEST(CobrancaRegistros, Mes) {
    EXPECT_EQ(le_mes("2024-12")->ano, 2024);
    EXPECT_EQ(le_mes("0999-01")->mes, 1);
    for (const char* t : {"2024-13", "2024-00", "0000-01", "9999-01", "2024-1", "24-12", "2024/12",
                          "2024-12 ", "", "abcd-ef"})
        EXPECT_FALSE(le_mes(t)) << t;
}

}  // namespace
