// The register as CSV: what spreadsheets write loads, every kind of bad input is refused with
// its line and field, and what is written loads back the same.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "apoio.h"
#include "csv_clientes.h"
#include "execucao.h"
#include "exportacao.h"

namespace {

Erro carrega(const std::string& csv, Clientes& lc, Codificacao c = Codificacao::utf8,
             Guarda g = Guarda::cadastro) {
    return decodifica_csv_clientes(std::as_bytes(std::span(csv)), lc, g, c);
}

const std::string cab = "codigo,nome,endereco\n";

std::string linhas(int n) {
    std::string s = cab;
    for (int i = 1; i <= n; ++i)
        s += std::to_string(i) + ",Nome " + std::to_string(i) + ",Rua " + std::to_string(i) + "\n";
    return s;
}

TEST(CadastroCsv, EntradasRuinsComLinhaECampo) {
    struct Caso {
        std::string csv;
        std::size_t linha;
        const char* diz;
    };
    const char* invalido = "codigo invalido (um numero de 1 a 4294967295)";
    const char* sem_utf8 = "o arquivo nao esta em UTF-8 (use --codificacao windows-1252";
    const Caso casos[] = {
        {"", 1, "falta o cabecalho codigo,nome,endereco ou codigo;nome;endereco"},
        {"nome,codigo,endereco\n1,a,b\n", 1, "falta o cabecalho"},
        {"1,a,b\n", 1, "falta o cabecalho"},
        {cab + "1,a,b\n2,\"abc\n3,d,e\n", 3, "aspas sem fechamento ou texto depois das aspas"},
        {cab + "1,\"a\"b,c\n", 2, "aspas sem fechamento"},
        {cab + "1,a\"b,c\n", 2, "aspas sem fechamento"},
        {cab + "1,a,b\n2,a\n", 3, "campos de menos (esperados codigo,nome,endereco)"},
        {cab + "1,a,b,c\n", 2, "campos demais (esperados codigo,nome,endereco)"},
        {cab + "um,a,b\n", 2, invalido},
        {cab + "0,a,b\n", 2, invalido},
        {cab + "-1,a,b\n", 2, invalido},
        {cab + " 1,a,b\n", 2, invalido},
        {cab + "4294967296,a,b\n", 2, invalido},
        {cab + "7,a,b\r\n8,c,d\r\n7,e,f\r\n", 4, "codigo repetido"},
        {linhas(21), 22, "clientes demais (o maximo e 20)"},
        {cab + "1,,b\n", 2, "nome vazio"},
        {cab + "1,a," + std::string(51, 'a') + "\n", 2, "endereco com mais de 50 bytes"},
        {cab + "1,\"a\nb\",c\n", 2, "nome com caractere de controle"},
        {cab + "1,a\tb,c\n", 2, "nome com caractere de controle"},
        {cab + "1,a,Rua \xE2\x82\xAC\n", 2, "endereco com caractere fora do codigo 850"},
        {cab + "1,a\xF0\x9F\x98\x80,b\n", 2, "nome com caractere fora do codigo 850"},
        {cab + "1,a\xC3,b\n", 2, sem_utf8},
        {cab + "1,a\xFF\xFE,b\n", 2, sem_utf8},
    };
    for (const Caso& c : casos) {
        Clientes lc;
        lc.insere({.codigo = 1});
        const Erro e = carrega(c.csv, lc);
        EXPECT_TRUE(e.detalhe.starts_with(c.diz)) << c.csv << "\n" << e.detalhe;
        EXPECT_EQ(e.linha, c.linha) << c.csv;
        EXPECT_EQ(lc.size(), 0U) << c.csv;
    }
}

TEST(CadastroCsv, OQueAsPlanilhasEscrevem) {
    std::string cedilhas;
    for (int i = 0; i < 50; ++i)
        cedilhas += "\xC3\xA7";  // 50 bytes in code page 850, 100 in UTF-8
    const std::string csv =
        "\xEF\xBB\xBF"
        "codigo,nome,endereco\r\n"
        "4294967295,\"Souza, Ana \"\"Aninha\"\"\",  Rua A  \r\n"
        "\r\n"
        "2," +
        cedilhas + ",\"Av. B, 10\"";
    Clientes lc;
    ASSERT_TRUE(carrega(csv, lc).ok());
    ASSERT_EQ(lc.size(), 2U);
    EXPECT_EQ(lc[0].codigo, 4294967295U);
    EXPECT_EQ(lc[0].nome, "Souza, Ana \"Aninha\"");
    EXPECT_EQ(lc[0].endereco, "  Rua A  ");
    EXPECT_EQ(lc[1].nome, cedilhas);
    EXPECT_EQ(lc[1].endereco, "Av. B, 10");
    // Texts a spreadsheet would run as formulas.
    lc.insere({.codigo = 3, .nome = "=cmd|' /C calc'!A0", .endereco = "'+1"});

    // Written back: quotes only where the dialect needs them, its line ends, UTF-8; both load
    // back as the same register.
    const std::string planilha =
        "\xEF\xBB\xBF"
        "codigo;nome;endereco\r\n"
        "4294967295;\"Souza, Ana \"\"Aninha\"\"\";  Rua A  \r\n"
        "2;" +
        cedilhas + ";Av. B, 10\r\n3;'=cmd|' /C calc'!A0;''+1\r\n";
    EXPECT_EQ(codifica_csv_clientes(lc),
              "codigo,nome,endereco\n"
              "4294967295,\"Souza, Ana \"\"Aninha\"\"\",  Rua A  \n"
              "2," +
                  cedilhas + ",\"Av. B, 10\"\n3,=cmd|' /C calc'!A0,'+1\n");
    EXPECT_EQ(codifica_csv_clientes(lc, Guarda::cadastro, csv_planilha), planilha);
    for (const DialetoCsv d : {csv_padrao, csv_planilha}) {
        Clientes volta;
        ASSERT_TRUE(carrega(codifica_csv_clientes(lc, Guarda::cadastro, d), volta).ok());
        EXPECT_EQ(codifica_csv_clientes(volta), codifica_csv_clientes(lc));
    }

    // Only a header: an empty register.
    EXPECT_TRUE(carrega("codigo,nome,endereco", lc).ok());
    EXPECT_EQ(lc.size(), 0U);
}

// Files as spreadsheets and public data sets write them: the header row tells the dialect, the
// encoding named is converted, and an error names the line its row starts on.
TEST(CadastroCsv, ArquivosDePlanilhas) {
    const std::string bom = "\xEF\xBB\xBF";
    constexpr Codificacao utf8 = Codificacao::utf8;
    constexpr Codificacao cp1252 = Codificacao::windows_1252;
    struct Caso {
        std::string csv;
        Codificacao cod;
        bool aceito;
        std::size_t linha;     // of the error; or the customers loaded
        std::string_view diz;  // in the message; or the last customer's name and address
    };
    const std::string pt = "codigo;nome;endereco\r\n";
    const std::string cp =
        "\"codigo\";\"nome\";\"endereco\"\r\n\"7\";\"Jo\xE3o\";\"Pra\xE7"
        "a\"\r\n";
    const Caso casos[] = {
        {bom + pt + "2;\"Ana, \"\"A\"\"\";\"Rua A; 10\"\r\n1;Jos\xC3\xA9;Rua B, 5\r\n", utf8, true,
         2, "Jos\xC3\xA9|Rua B, 5"},
        {"codigo,nome,endereco\n1,Jos\xC3\xA9,\"Rua B; 5\"", utf8, true, 1, "Jos\xC3\xA9|Rua B; 5"},
        {cp, cp1252, true, 1,
         "Jo\xC3\xA3o|Pra\xC3\xA7"
         "a"},
        {cp, utf8, false, 2, "use --codificacao windows-1252"},
        {pt + "1;Concei\xE7\xE3o;Rua\n", Codificacao::iso_8859_1, true, 1,
         "Concei\xC3\xA7\xC3\xA3o|Rua"},
        {pt + "1;a;b\r\n2;\"x\r\ny\x81\";c\r\n", cp1252, false, 3,
         "byte sem caractere em windows-1252"},
        {bom + cp, cp1252, false, 1, "sem --codificacao"},
        {pt + "1;a;b\r\n2;Jo\xC3\xA3o;c\r\n", cp1252, false, 3,
         "esta em UTF-8, nao em windows-1252"},
        {std::string("\xFF\xFE"
                     "c\0o\0d\0",
                     8),
         utf8, false, 1, "UTF-16"},
        {std::string("c\0o\0d\0i\0g\0o\0", 12), utf8, false, 1, "UTF-16"},
        {arquivo_valido(5).bytes(), utf8, false, 1, "e um cadastro, nao um CSV"},
        {std::string("codigo,nome,endereco\n1,a\0b,c\n", 29), utf8, false, 2, "controle"},
        {bom + bom + "codigo,nome,endereco\n", utf8, false, 1, "(BOM) esta repetida"},
        {pt + "1,a,b\n", utf8, false, 2, "(esperados codigo;nome;endereco)"},
        {"codigo,nome,endereco\n1;a;b\n", utf8, false, 2, "(esperados codigo,nome,endereco)"},
        {"codigo;nome,endereco\n", utf8, false, 1, "codigo,nome,endereco ou codigo;nome;endereco"},
        {"codigo;nome;endereco\r1;a;b\r2;c\r", utf8, false, 3, ""},
        {cab + "1,a,b\n2,\"x\ny\"z,c\n", utf8, false, 3, ""},
    };
    for (const Caso& c : casos) {
        Clientes lc;
        const Erro e = carrega(c.csv, lc, c.cod);
        EXPECT_EQ(e.ok(), c.aceito) << c.csv;
        if (e.ok()) {
            ASSERT_EQ(lc.size(), c.linha) << c.csv;
            const Cliente& u = lc[lc.size() - 1];
            EXPECT_EQ(u.nome + "|" + u.endereco, c.diz) << c.csv;
        } else {
            EXPECT_EQ(e.linha, c.linha) << c.csv;
            EXPECT_NE(e.detalhe.find(c.diz), std::string::npos) << e.detalhe;
        }
    }
    // Names keep ASCII case rules under a Turkish locale too (where it is generated).
    const std::string ctype = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "tr_TR.UTF-8");
    for (const auto& [nome, cod] : {std::pair{"UTF-8", utf8},
                                    {"utf8", utf8},
                                    {"Windows-1252", cp1252},
                                    {"CP1252", cp1252},
                                    {"iso-8859-1", Codificacao::iso_8859_1},
                                    {"LATIN1", Codificacao::iso_8859_1}})
        EXPECT_EQ(codificacao_por_nome(nome), cod) << nome;
    std::setlocale(LC_CTYPE, ctype.c_str());
    for (const char* nome : {"", "ascii", "utf-16", "latin"})
        EXPECT_FALSE(codificacao_por_nome(nome).has_value()) << nome;
}

// What a FILE* stream receives from `f`.
template <typename F>
std::string escrito(F&& f) {
    char* b = nullptr;
    std::size_t n = 0;
    std::FILE* m = ::open_memstream(&b, &n);
    f(m);
    std::fclose(m);
    std::string s(b, n);
    std::free(b);
    return s;
}

// The calls and bills of a run in either dialect: money with the dialect's decimal separator,
// texts quoted where the dialect's separator needs it.
TEST(ExportacaoCsv, OsDoisDialetos) {
    Execucao e{};
    insere_cliente(&e.lis_cli, cliente_de(1, "Ana; \"A\"", "Rua B, 5"));
    for (std::uint32_t k = 2; k <= 5; ++k)
        insere_cliente(&e.lis_cli, cliente_de(k, "X", "Y"));
    gere_lis_cel(&e.lis_cli, &e.lis_cel);
    insere_chamada(&e.li_ch, chamada_de(1, 2, dh(1, 11, 2017, 10, 0, 0), 311));
    insere_chamada(&e.li_ch, chamada_de(1, 3, dh(2, 11, 2017, 10, 0, 0), 31));

    EXPECT_EQ(escrito([&](std::FILE* f) { exporta_contas(contas_da_execucao(e), f); }),
              "cliente,nome,endereco,mes,ano,chamadas,duracao_total,valor_total,vencimento\n"
              "1,\"Ana; \"\"A\"\"\",\"Rua B, 5\",11,2017,2,342,3.36,2017-12-10\n");
    EXPECT_EQ(
        escrito([&](std::FILE* f) { exporta_contas(contas_da_execucao(e), f, csv_planilha); }),
        "\xEF\xBB\xBF"
        "cliente;nome;endereco;mes;ano;chamadas;duracao_total;valor_total;vencimento\r\n"
        "1;\"Ana; \"\"A\"\"\";Rua B, 5;11;2017;2;342;3,36;2017-12-10\r\n");
    EXPECT_EQ(
        escrito([&](std::FILE* f) { exporta_chamadas(contas_da_execucao(e), f, csv_planilha); }),
        "\xEF\xBB\xBF"
        "origem;destino;telefone_destino;inicio;fim;duracao;valor\r\n"
        "1;2;(85) 9 8888-4321;2017-11-01 10:00:00;2017-11-01 10:05:11;311;3,06\r\n"
        "1;3;(85) 9 8877-4123;2017-11-02 10:00:00;2017-11-02 10:00:31;31;0,30\r\n");
}

}  // namespace
