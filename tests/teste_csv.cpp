// The register as CSV: what spreadsheets write loads, every kind of bad input is refused with
// its line and field, and what is written loads back the same.

#include <string>

#include "apoio.h"
#include "csv_clientes.h"

namespace {

StatusCsv carrega(const std::string& csv, TLisCli* lc) {
    return decodifica_csv_clientes(std::as_bytes(std::span(csv)), lc);
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
        ErroCsv erro;
        std::size_t linha;
        ErroTexto texto = ErroTexto::nenhum;
        std::uint8_t campo = 0;
    };
    const Caso casos[] = {
        {"", ErroCsv::sem_cabecalho, 1},
        {"nome,codigo,endereco\n1,a,b\n", ErroCsv::sem_cabecalho, 1},
        {"1,a,b\n", ErroCsv::sem_cabecalho, 1},
        {cab + "1,a,b\n2,\"abc\n3,d,e\n", ErroCsv::aspas_sem_fim, 3},
        {cab + "1,\"a\"b,c\n", ErroCsv::aspas_sem_fim, 2},
        {cab + "1,a\"b,c\n", ErroCsv::aspas_sem_fim, 2},
        {cab + "1,a,b\n2,a\n", ErroCsv::campos_de_menos, 3},
        {cab + "1,a,b,c\n", ErroCsv::campos_demais, 2},
        {cab + "um,a,b\n", ErroCsv::codigo_invalido, 2},
        {cab + "0,a,b\n", ErroCsv::codigo_invalido, 2},
        {cab + "-1,a,b\n", ErroCsv::codigo_invalido, 2},
        {cab + " 1,a,b\n", ErroCsv::codigo_invalido, 2},
        {cab + "4294967296,a,b\n", ErroCsv::codigo_invalido, 2},
        {cab + "7,a,b\r\n8,c,d\r\n7,e,f\r\n", ErroCsv::codigo_repetido, 4},
        {linhas(21), ErroCsv::clientes_demais, 22},
        {cab + "1,,b\n", ErroCsv::texto_invalido, 2, ErroTexto::vazio, 1},
        {cab + "1,a," + std::string(51, 'a') + "\n", ErroCsv::texto_invalido, 2,
         ErroTexto::longo_demais, 2},
        {cab + "1,\"a\nb\",c\n", ErroCsv::texto_invalido, 3, ErroTexto::controle, 1},
        {cab + "1,a\tb,c\n", ErroCsv::texto_invalido, 2, ErroTexto::controle, 1},
        {cab + "1,a,Rua \xE2\x82\xAC\n", ErroCsv::texto_invalido, 2, ErroTexto::fora_do_850, 2},
        {cab + "1,a\xF0\x9F\x98\x80,b\n", ErroCsv::texto_invalido, 2, ErroTexto::fora_do_850, 1},
        {cab + "1,a\xC3,b\n", ErroCsv::texto_invalido, 2, ErroTexto::utf8_invalido, 1},
        {cab + "1,a\xFF\xFE,b\n", ErroCsv::texto_invalido, 2, ErroTexto::utf8_invalido, 1},
    };
    for (const Caso& c : casos) {
        TLisCli lc{};
        lc.ncl = 3;
        const StatusCsv st = carrega(c.csv, &lc);
        EXPECT_EQ(st.erro, c.erro) << c.csv;
        EXPECT_EQ(st.linha, c.linha) << c.csv;
        EXPECT_EQ(st.texto, c.texto) << c.csv;
        if (c.texto != ErroTexto::nenhum) {
            EXPECT_EQ(st.campo, c.campo) << c.csv;
        }
        EXPECT_EQ(lc.ncl, 0U) << c.csv;
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
    TLisCli lc{};
    ASSERT_TRUE(carrega(csv, &lc).ok());
    ASSERT_EQ(lc.ncl, 2U);
    EXPECT_EQ(lc.clientes[0].cod_cli, 4294967295U);
    EXPECT_STREQ(lc.clientes[0].nome, "Souza, Ana \"Aninha\"");
    EXPECT_STREQ(lc.clientes[0].endereco, "  Rua A  ");
    EXPECT_EQ(std::string(lc.clientes[1].nome), std::string(50, '\x87'));
    EXPECT_STREQ(lc.clientes[1].endereco, "Av. B, 10");

    // Written back: quotes only where RFC 4180 needs them, LF line ends, UTF-8.
    EXPECT_EQ(codifica_csv_clientes(&lc),
              "codigo,nome,endereco\n"
              "4294967295,\"Souza, Ana \"\"Aninha\"\"\",  Rua A  \n"
              "2," +
                  cedilhas + ",\"Av. B, 10\"\n");
    TLisCli volta{};
    ASSERT_TRUE(carrega(codifica_csv_clientes(&lc), &volta).ok());
    std::array<std::byte, tamanho_maximo_arq> a{};
    std::array<std::byte, tamanho_maximo_arq> b{};
    EXPECT_EQ(codifica_lis_cli(&lc, a), codifica_lis_cli(&volta, b));
    EXPECT_EQ(a, b);

    // Only a header: an empty register.
    EXPECT_TRUE(carrega("codigo,nome,endereco", &lc).ok());
    EXPECT_EQ(lc.ncl, 0U);
}

}  // namespace
