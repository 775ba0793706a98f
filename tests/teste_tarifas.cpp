// Price lists: the rating rules, the kinds of destination, the reduced band, allowances and
// successive calls, and every price list or lines file that is refused.

#include <fmt/format.h>

#include <string>

#include "apoio.h"
#include "cobranca_registros.h"
#include "tarifas.h"
#include "tarifas_toml.h"
#include "telefone.h"

namespace {

constexpr std::string_view lista = R"(ddd = 85
[regras]
sucessivas = 120
[reduzido]
segunda_a_sexta = ["00:00-07:00", "21:00-24:00"]
sabado = ["00:00-07:00", "14:00-24:00"]
domingo = ["00:00-24:00"]
feriado = ["00:00-24:00"]
feriados = ["2024-04-10"]
[[destino]]
nome = "Local fixo"
tipo = "local_fixo"
[[destino]]
nome = "Portugal"
prefixos = ["351"]
[[destino]]
nome = "Ramal"
tipo = "ramal"
[[plano]]
nome = "Empresa"
mensalidade = 39.90
franquia = 1
precos = { "Local fixo" = 0.10, "Portugal" = 1.20 }
reduzido = { "Local fixo" = 0.05 }
[[plano]]
nome = "Outro"
precos = { "Local fixo" = 0.20 }
)";

Tarifa tarifa(std::string_view texto = lista) {
    Tarifa t;
    const Erro e = le_tarifas_de(texto, "t.toml", t);
    EXPECT_TRUE(e.ok()) << descreve_erro(e);
    return t;
}

TEST(Tarifas, SegundosCobrados) {
    struct Caso {
        std::int64_t n;
        bool parcial_cobrado;
        std::int64_t cobrados;
    };
    const Caso casos[] = {{3, false, 0},   {4, false, 30},  {30, false, 30}, {31, false, 30},
                          {36, false, 36}, {41, false, 36}, {3, true, 0},    {4, true, 30},
                          {30, true, 30},  {31, true, 36},  {36, true, 36},  {37, true, 42}};
    for (const Caso& c : casos) {
        RegrasTarifa r;
        r.cobra_bloco_parcial = c.parcial_cobrado;
        EXPECT_EQ(r.segundos_cobrados(c.n), c.cobrados) << c.n << " " << c.parcial_cobrado;
    }
    RegrasTarifa r;  // the longest billsec
    EXPECT_EQ(r.segundos_cobrados(4294967295), 4294967292);
    r.cobra_bloco_parcial = true;
    EXPECT_EQ(r.segundos_cobrados(4294967295), 4294967298);
    r.incremento = 60;  // blocks of another size
    EXPECT_EQ(r.segundos_cobrados(90), 90);
    EXPECT_EQ(r.segundos_cobrados(95), 150);
    // R$ 0,0001 a minute, rounded half up to the centavo.
    EXPECT_EQ(centavos_de(1000, 30), 5);
    EXPECT_EQ(centavos_de(1000, 33), 6);  // 5.5
    EXPECT_EQ(centavos_de(1000, 32), 5);
}

TEST(Tarifas, TiposComoAsCentraisEscrevem) {
    const std::tuple<const char*, const char*, TipoDestino> casos[] = {
        {"8532345678", "32345678", TipoDestino::local_fixo},
        {"1001", "98877-4123", TipoDestino::local_movel},
        {"85988774123", "(85) 9 8877-4123", TipoDestino::local_movel},
        {"1001", "085 3234-5678", TipoDestino::local_fixo},
        {"1001", "1133334444", TipoDestino::ld_fixo},
        {"11963391451", "1133334444", TipoDestino::local_fixo},  // the caller's own area
        {"1001", "0 21 11 96339 1451", TipoDestino::ld_movel},
        {"1001", "+55 11 96339-1451", TipoDestino::ld_movel},
        {"1001", "00 21 351 21 000 0000", TipoDestino::internacional},
        {"1001", "+14155552671", TipoDestino::internacional},
        {"1001", "0800 123 4567", TipoDestino::gratuito},
        {"1001", "190", TipoDestino::servico},
        {"1001", "0300 123 4567", TipoDestino::nao_geografico},
        {"1001", "4004-1234", TipoDestino::nao_geografico},
        {"1001", "211553", TipoDestino::ramal},
        {"1001", "client1", TipoDestino::ramal},
    };
    for (const auto& [origem, numero, tipo] : casos)
        EXPECT_EQ(nomes_tipos[static_cast<std::size_t>(tipo_destino(origem, numero, 85))],
                  nomes_tipos[static_cast<std::size_t>(tipo)])
            << origem << " -> " << numero;
}

TEST(Tarifas, FaixaReduzida) {
    const Tarifa t = tarifa();
    const std::pair<TDataHora, bool> casos[] = {
        {dh(4, 3, 2024, 6, 59, 59), true},   {dh(4, 3, 2024, 7, 0, 0), false},
        {dh(4, 3, 2024, 20, 59, 59), false}, {dh(4, 3, 2024, 21, 0, 0), true},
        {dh(9, 3, 2024, 13, 59, 0), false},  {dh(9, 3, 2024, 14, 0, 0), true},
        {dh(10, 3, 2024, 12, 0, 0), true},    // Sunday
        {dh(29, 3, 2024, 12, 0, 0), true},    // Good Friday
        {dh(18, 4, 2025, 12, 0, 0), true},    // Good Friday
        {dh(17, 4, 2025, 12, 0, 0), false},   //
        {dh(10, 4, 2024, 12, 0, 0), true},    // the operator's own
        {dh(20, 11, 2023, 12, 0, 0), false},  // a holiday only from 2024
        {dh(20, 11, 2024, 12, 0, 0), true},
    };
    for (const auto& [d, reduzido] : casos)
        EXPECT_EQ(t.no_reduzido(d), reduzido) << fmt::format("{}", d);
}

// The destination of the longest prefix a number starts with, in the international form; a
// prefix longer than the number is none of it, however its zeros compare.
TEST(Tarifas, Prefixos) {
    std::string texto = "ddd = 85\n";
    std::string precos;
    for (const auto& [nome, forma] : {std::pair{"Local fixo", "tipo = \"local_fixo\""},
                                      {"Exterior", "tipo = \"internacional\""},
                                      {"Portugal", "prefixos = [\"351\"]"},
                                      {"Lisboa", "prefixos = [\"35121\"]"},
                                      {"Lisboa 0", "prefixos = [\"351210\"]"},
                                      {"Fortaleza", "prefixos = [\"55853\", \"55854\"]"},
                                      {"19", "prefixos = [\"3519999999999999999\"]"},
                                      {"20", "prefixos = [\"35199999999999999999\"]"}}) {
        texto += fmt::format("[[destino]]\nnome = \"{}\"\n{}\n", nome, forma);
        precos += fmt::format("\"{}\" = 0.1,", nome);
    }
    precos.pop_back();
    const Tarifa t = tarifa(texto + "[[plano]]\nnome = \"P\"\nprecos = {" + precos + "}\n");
    const std::tuple<const char*, const char*, const char*> casos[] = {
        {"1001", "+351 21 300 0000", "Lisboa"},
        {"1001", "+351 22 000 0000", "Portugal"},
        {"1001", "+35121", "Lisboa"},
        {"1001", "+3512100", "Lisboa 0"},
        {"1001", "32345678", "Fortaleza"},
        {"1133334444", "32345678", "Local fixo"},
        {"1001", "(85) 4234-5678", "Fortaleza"},
        {"1001", "(85) 5234-5678", "Local fixo"},
        {"1001", "+1 415 555 2671", "Exterior"},
        {"1001", "+351 9999 9999 9999 9999", "19"},
        {"1001", "+351 9999 9999 9999 9999 90", "20"},
        {"1001", "+351 9999 9999 9999 999", "Portugal"},
        {"1001", "+351 9999 9999 9999 9998 0", "Portugal"},
    };
    DiaTarifado dia;
    for (const auto& [origem, numero, destino] : casos) {
        const auto c = t.avalia(area_de(Telefone(origem), t.ddd), Telefone(numero), false,
                                dh(4, 3, 2024, 12, 0, 0), 0, dia);
        ASSERT_TRUE(c) << numero;
        EXPECT_EQ(t.destinos[c->destino].nome, destino) << origem << " -> " << numero;
    }
}

// Each call's billed seconds and charge: a prefix over a kind, the reduced price, the
// allowance of one minute ending inside a call, a successive group of three, a call to a line;
// the calls rated in answer order, not as read, also when only the bill's totals are kept.
TEST(Tarifas, FranquiaESucessivas) {
    const Tarifa t = tarifa();
    const auto cli = clientes_de({{7, "Sete", "Rua 7"}});
    TabelaLinhas linhas;
    linhas.insere("8532345678", 7);
    linhas.insere("8532345679", 7, 0, "Outro");
    ASSERT_TRUE(acha_planos(linhas, t, "linhas.csv").ok());
    for (const bool guarda : {true, false}) {
        CobrancaRegistros cob({cli, &linhas, {}, guarda, false, csv_padrao, &t});
        const auto chama = [&](const char* origem, const char* numero, TDataHora ini,
                               std::uint32_t s, const char* conta = "") {
            cob.registro(
                {1, FormatoRegistros::pbx_csv, conta, origem, numero, {}, ini, ini, s, true, "x"});
        };
        chama("8532345678", "32000004", dh(4, 3, 2024, 22, 0, 0), 60);      // reduced; read first
        chama("8532345679", "32000005", dh(4, 3, 2024, 9, 0, 0), 60, "7");  // by code: its plan
        chama("8532345678", "32000001", dh(4, 3, 2024, 10, 0, 0), 40);      // 36 s of the allowance
        chama("8532345678", "32000002", dh(4, 3, 2024, 11, 0, 0), 50);      // 24 s left: pays 24
        chama("8532345678", "32000003", dh(4, 3, 2024, 12, 0, 0), 20);      // a group of three
        chama("8532345678", "32000003", dh(4, 3, 2024, 12, 2, 20), 20);     // 120 s after its end
        chama("8532345678", "32000003", dh(4, 3, 2024, 12, 3, 0), 20);
        chama("8532345678", "32000003", dh(4, 3, 2024, 12, 5, 21), 20);         // 121 s: a new one
        chama("8532345678", "+351 21 000 0000", dh(4, 3, 2024, 22, 0, 0), 60);  // no reduced price
        chama("8532345679", "32000004", dh(4, 3, 2024, 10, 0, 0), 60);          // plan Outro
        chama("8532345678", "8532345679", dh(4, 3, 2024, 10, 0, 0), 60);        // a line: free
        const Contas c = cob.termina();
        std::string s;
        for (const ChamadaCobrada& ch : c.chamadas)
            s += fmt::format("{} {} {} {}|", c.textos[ch.numero], ch.cobrados, ch.centavos,
                             c.tarifa->destinos[ch.destino_tarifa].nome);
        EXPECT_EQ(s, guarda ? "32000005 60 20 Local fixo|32000001 36 0 Local fixo|"
                              "32000004 60 20 Local fixo|(85) 3234-5679 60 0 Ramal|"
                              "32000002 48 4 Local fixo|32000003 30 5 Local fixo|"
                              "32000003 6 1 Local fixo|32000003 24 4 Local fixo|"
                              "32000003 30 5 Local fixo|32000004 60 5 Local fixo|"
                              "+351 21 000 0000 60 120 Portugal|"
                            : "");
        ASSERT_EQ(c.contas.size(), 1U);
        EXPECT_EQ(c.contas[0].franquia_usada, 60);
        EXPECT_EQ(c.contas[0].mensalidades, 3990);
        EXPECT_EQ(c.contas[0].valor_total.centavos, 3990 + 184);
    }
}

// Every price list refused, and where.
TEST(Tarifas, ListasRecusadas) {
    const auto com = [](std::string_view de, std::string_view para) {
        std::string t(lista);
        const auto i = t.find(de);
        EXPECT_NE(i, std::string::npos) << de;
        return t.replace(i, de.size(), para);
    };
    const std::pair<std::string, std::string> casos[] = {
        {"ddd = \n[$]\n", "t.toml:1: TOML invalido na coluna 7"},
        {std::string(lista) + "[$]\n", "t.toml:28: TOML invalido na coluna 2"},
        {std::string(lista) + "[[ =]]\n", "t.toml:28: TOML invalido na coluna 4"},
        {std::string(lista) + "[[plano.\"Básico\"]]\n[$]\n",
         "t.toml:29: TOML invalido na coluna 2"},
        {"\xEF\xBB\xBF[$]\n", "t.toml:1: TOML invalido na coluna 2"},
        {com("sucessivas = 120", "sucessivas = 120\ngrátis = 0"),
         "t.toml:4: TOML invalido na coluna 3"},
        {com("ddd = 85\n", "ddd = 85\nnota = \"\"\"\\\n  É\"\"\"\n"),
         "t.toml:3: TOML invalido na coluna 3"},
        {com("[\"2024-04-10\"]", "[\"2024-04-10\", }"), "t.toml:9: TOML invalido na coluna 27"},
        {com("ddd = 85\n", "ddd = 85\nnota = \"\"\"\n[$]\n\"\"\"\n"),
         "t.toml:2: chave desconhecida no arquivo: nota"},
        {"# Fortaleza, cear\xe1\nddd = 85\n", "t.toml:1: nao esta em UTF-8"},
        {com("ddd = 85\n", "ddd = 85\ncor = 1\n"), "t.toml:2: chave desconhecida no arquivo: cor"},
        {com("sucessivas = 120", "sucessiva = 120"),
         "t.toml:3: chave desconhecida em [regras]: sucessiva"},
        {com("\"Portugal\" = 1.20", "\"Portugal\" = -1.20"),
         "t.toml:23: o preco de Portugal deve ser um valor em reais, nao negativo, com ate 4 "
         "casas"},
        {com("\"Portugal\" = 1.20", "\"Portugal\" = 1.2000001"),
         "t.toml:23: o preco de Portugal deve ser um valor em reais, nao negativo, com ate 4 "
         "casas"},
        {com("\"Portugal\" = 1.20", "\"Portugal\" = 1e-11"),
         "t.toml:23: o preco de Portugal deve ser um valor em reais, nao negativo, com ate 4 "
         "casas"},
        {com("\"Portugal\" = 1.20", "\"Portugal\" = 1e-400"),
         "t.toml:23: TOML invalido na coluna 52"},
        {com("\"14:00-24:00\"", "\"14:00-25:00\""),
         "t.toml:6: [reduzido] sabado: faixa invalida (HH:MM-HH:MM, de 00:00 a 24:00, o inicio "
         "antes do fim)"},
        {com("\"14:00-24:00\"", "\"07:00-06:00\""),
         "t.toml:6: [reduzido] sabado: faixa invalida (HH:MM-HH:MM, de 00:00 a 24:00, o inicio "
         "antes do fim)"},
        {com("\"14:00-24:00\"", "\"06:00-24:00\""),
         "t.toml:6: [reduzido] sabado: faixas sobrepostas em 06:00-24:00"},
        {com("nome = \"Ramal\"", "nome = \"Portugal\""), "t.toml:16: destino repetido: Portugal"},
        {com("tipo = \"ramal\"", "prefixos = [\"3512\", \"351\"]"),
         "t.toml:18: prefixo 351 em dois destinos"},
        {com("tipo = \"ramal\"", "tipo = \"celular\""),
         "t.toml:18: tipo desconhecido: celular (local_fixo, local_movel, ld_fixo, ld_movel, "
         "internacional, gratuito, servico, nao_geografico, ramal)"},
        {com("\"Local fixo\" = 0.20", "\"Lisboa\" = 0.20"),
         "t.toml:27: o plano Outro da preco a um destino desconhecido: Lisboa"},
        {com("[[plano]]\nnome = \"Outro\"", "[[plano]]\nnome = \"Empresa\""),
         "t.toml:25: plano repetido: Empresa"},
        {com("feriados = [\"2024-04-10\"]", "feriados = [\"2024-02-30\"]"),
         "t.toml:9: [reduzido] feriados: data invalida (AAAA-MM-DD)"},
    };
    for (const auto& [texto, erro] : casos) {
        Tarifa t;
        EXPECT_EQ(descreve_erro(le_tarifas_de(texto, "t.toml", t)), erro) << texto;
    }
    // A lines file naming a plan the price list does not have.
    PastaTemp pasta;
    grava(pasta / "l.csv", "numero,cliente,plano\n8532345678,7,Empresa\n8532345679,7,Ouro\n");
    grava(pasta / "r.csv", "");
    const Tarifa t = tarifa();
    const Cobradas c = cobra_arquivos(
        {{(pasta / "r.csv").string()}, (pasta / "l.csv").string()},
        {clientes_de({{7, "Sete", "Rua 7"}}), nullptr, {}, false, false, csv_padrao, &t});
    EXPECT_EQ(descreve_erro(c.erro), (pasta / "l.csv").string() + ":3: plano desconhecido: Ouro");
}

}  // namespace
