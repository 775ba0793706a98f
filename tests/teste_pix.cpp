// The Pix payload of a bill and the checks of the receiver's key, name and city.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "emissor.h"
#include "pix.h"

namespace {

TEST(Pix, CargasPublicadas) {
    // The CRC of everything up to and including "6304" is the payload's last four characters.
    for (const std::string p :
         {"00020126330014BR.GOV.BCB.PIX011197212482404520400005303986540530.005802BR5918Victor "
          "Julio Rocha6006RECIFE62110507VIPSURF630425A1",
          "00020126410014br.gov.bcb.pix0119rayane@alvoz.com.br5204000053039865802BR5901N6001C6207"
          "0503***63043A81"})
        EXPECT_EQ(crc_pix(p.substr(0, p.size() - 4)), p.substr(p.size() - 4)) << p;
    // A payload without an amount, built field by field, is the second one whole.
    EXPECT_EQ(payload_pix({"rayane@alvoz.com.br", "N", "C"}, "", "***"),
              "00020126410014br.gov.bcb.pix0119rayane@alvoz.com.br5204000053039865802BR5901N6001C"
              "62070503***63043A81");
    const std::string com_valor =
        payload_pix({"+5585988776655", "Contacel", "Fortaleza"}, "63.84", txid_pix(1, 2017, 11));
    EXPECT_EQ(com_valor.substr(0, com_valor.size() - 4),
              "00020126360014br.gov.bcb.pix0114+5585988776655520400005303986540563.845802BR"
              "5908Contacel6009Fortaleza62130509C1M2017116304");
    EXPECT_EQ(txid_pix(4294967295U, 2018, 1), "C4294967295M201801");
}

// Each row: what is typed, what goes into the payload ("=": the same) or is kept of a customer's
// document, or a piece of the reason it is refused.
TEST(Pix, ChavesNomesECidadesAceitasERecusadas) {
    enum Campo { chave, nome, cidade, documento };
    struct Caso {
        Campo campo;
        std::string texto;
        std::string fica;
        std::string_view erro = {};
    };
    const Caso casos[] = {
        {chave, "52998224725", "="},
        // The first check digit's remainder is 1, which makes the digit 0.
        {chave, "12345678909", "="},
        {chave, " 11222333001404 ", "11222333001404"},
        {chave, "52998224724", "", "CPF com digitos verificadores errados"},
        {chave, "11111111111", "", "chave pix: CPF invalido"},
        {chave, "85988776655", "", "errados (um telefone se escreve +5585988776655)"},
        {chave, "529.982.247-25", "", "chave pix invalida"},
        {chave, "11222333000181", "="},
        {chave, "11222333000180", "", "CNPJ com digitos verificadores errados"},
        {chave, "00000000000000", "", "CNPJ invalido"},
        {chave, "Rayane@Alvoz.com.BR", "rayane@alvoz.com.br"},
        {chave, "sem-arroba.com.br", "", "chave pix invalida"},
        {chave, "a@b", "", "chave pix invalida"},
        {chave, "a@@b.com", "", "chave pix invalida"},
        {chave, "@b.com", "", "chave pix invalida"},
        {chave, "com espaco@b.com", "", "chave pix invalida"},
        {chave, std::string(70, 'a') + "@b.com.br", "", "chave pix invalida"},
        {chave, std::string(65, 'a') + "@b.co", "", "chave pix invalida"},
        {chave, "o.k+1@b-c.com.br", "="},
        {chave, ".a@b.co", "", "chave pix invalida"},
        {chave, "a.@b.co", "", "chave pix invalida"},
        {chave, "a@-b.co", "", "chave pix invalida"},
        {chave, "a\"b@c.co", "", "chave pix invalida"},
        {chave, "+5585988776655", "="},
        {chave, "+558532101234", "="},
        {chave, "(85) 98877-6655", "", "sem +55; escreva +5585988776655"},
        {chave, "558532101234", "", "sem +55; escreva +558532101234"},
        {chave, "+55859887766", "", "chave pix invalida"},
        {chave, "+55859887766551", "", "chave pix invalida"},
        {chave, "+15559887766", "", "chave pix invalida"},
        {chave, "+5500988776655", "", "chave pix invalida"},
        {chave, "+55 85988776655", "", "chave pix invalida"},
        {chave, "123e4567-e89b-12d3-a456-426614174000", "="},
        {chave, "123e4567e89b12d3a456426614174000", "", "chave pix invalida"},
        {chave, "123E4567-E89B-12D3-A456-426614174000", "123e4567-e89b-12d3-a456-426614174000"},
        {chave, "12ABC34501DE35", "="},
        {chave, "12abc34501de35", "12ABC34501DE35"},
        {chave, "12ABC34501DE36", "", "CNPJ com digitos verificadores errados"},
        {chave, "12.ABC.345/01DE-35", "", "chave pix invalida"},
        {documento, " 12.abc.345/01DE-35 ", "12ABC34501DE35"},
        {documento, "529.982.247-25", "52998224725"},
        {documento, "11.222.333/0001-81", "11222333000181"},
        {documento, "12ABC34501DE53", "", "-"},
        {documento, "12ABC34501DEA5", "", "-"},
        {documento, "AAAAAAAAAAAAAA", "", "-"},
        {documento, "12ÁBC34501DE35", "", "-"},
        {documento, "1234567890", "", "-"},
        {chave, "123e4567-e89b-12d3-a456-42661417400g", "", "chave pix invalida"},
        {chave, "", "", "chave pix invalida"},
        {nome, "Contacel Telefonia", "="},
        {nome, "  Contacel   Telefonia ", "Contacel Telefonia"},
        {nome, "João Conceição Éça", "Joao Conceicao Eca"},
        {nome, std::string(25, 'n'), "="},
        {nome, std::string(24, 'n') + "ã", std::string(24, 'n') + "a"},
        {nome, std::string(26, 'n'), "", "nome do recebedor pix com mais de 25 caracteres"},
        {nome, "", "", "nome do recebedor pix vazio"},
        {nome, "  ", "", "nome do recebedor pix vazio"},
        {nome, "A\tB", "", "nome do recebedor pix com caractere que o Pix nao aceita"},
        {nome, "Cafæ", "", "caractere que o Pix nao aceita"},
        {nome, "€ 1", "", "caractere que o Pix nao aceita"},
        {nome, "Jo\xe3o", "", "caractere que o Pix nao aceita"},
        {cidade, "São Paulo", "Sao Paulo"},
        {cidade, "Sa\u0303o\u00a0Paulo", "Sao Paulo"},
        {cidade, "\u0303Sao", "", "caractere que o Pix nao aceita"},
        {cidade, "SAO PAULO", "="},
        {cidade, std::string(15, 'c'), "="},
        {cidade, std::string(16, 'c'), "", "cidade do recebedor pix com mais de 15 caracteres"},
        {cidade, "", "", "cidade do recebedor pix vazia"},
    };
    for (const Caso& c : casos) {
        if (c.campo == documento) {
            EXPECT_EQ(documento_lido(c.texto).value_or("-"), c.erro.empty() ? c.fica : "-")
                << c.texto;
            continue;
        }
        RecebedorPix r{"52998224725", "Nome", "Cidade"};
        std::string& campo = c.campo == chave ? r.chave : c.campo == nome ? r.nome : r.cidade;
        campo = c.texto;
        const Erro e = prepara_recebedor_pix(r);
        if (c.erro.empty()) {
            EXPECT_TRUE(e.ok()) << c.texto << ": " << e.detalhe;
            EXPECT_EQ(campo, c.fica == "=" ? c.texto : c.fica);
        } else {
            EXPECT_EQ(e.tipo, TipoErro::dados) << c.texto;
            EXPECT_NE(e.detalhe.find(c.erro), std::string::npos) << c.texto << ": " << e.detalhe;
        }
    }
}

// The issuer's file: each row's text after a valid [emissor], and the one line it is refused
// with ("": accepted).
TEST(Emissor, ArquivoAceitoOuRecusadoComALinha) {
    const std::string emissor =
        "[emissor]\nnome = \"Contacel Telefonia Ltda\"\ncnpj = \"11.222.333/0001-81\"\n"
        "endereco = \"Av. Santos Dumont, 1000\"\ntelefone = \"0800 123 4567\"\n";
    const std::pair<std::string, std::string_view> casos[] = {
        {"", ""},
        {"[pix]\nchave = \"Contas@Example.org\"\nnome = \"Contacel\"\ncidade = \"São Paulo\"\n",
         ""},
        {"site = \"x\"\n", "e.toml:6: chave desconhecida em [emissor]: site"},
        {"[outra]\n", "e.toml:6: outra desconhecido: o arquivo tem [emissor] e, se quiser, [pix]"},
        {"[pix]\nchave = 12345678909\n", "e.toml:7: [pix] chave deve ser um texto entre aspas"},
        {"[pix]\nchave = \"11111111111\"\nnome = \"N\"\ncidade = \"C\"\n",
         "e.toml:7: chave pix: CPF invalido"},
        {"[pix]\nchave = \"12345678909\"\nnome = \"N\"\n", "e.toml:6: falta [pix] cidade"},
        {"nome = \"Outro\"\n", "e.toml:6: TOML invalido na coluna 8"},
        {"# Jos\xe9\n", "e.toml:6: nao esta em UTF-8"},
        {"titulo = \"Conta de telefonia fixa\"\n[tributos]\nicms = 0.18\nfunttel = 0.005\nfust = "
         "0\n",
         ""},
        {"[tributos]\niss = 0.05\n", "e.toml:7: chave desconhecida em [tributos]: iss"},
        {"[tributos]\nicms = 18\n", "e.toml:7: [tributos] icms deve ser uma fracao de 0 a 1"},
        {"[tributos]\npis = 0.0000005\n", "e.toml:7: [tributos] pis deve ser uma fracao de 0 a 1"},
        {"[tributos]\npis = 0.01650001\n", "e.toml:7: [tributos] pis deve ser uma fracao de 0 a 1"},
        {"[tributos]\ncofins = \"3%\"\n", "e.toml:7: [tributos] cofins deve ser uma fracao"},
        {"[tributos]\nicms = 0.6\npis = 0.5\n", "e.toml:6: [tributos] somam mais que o preco"},
    };
    for (const auto& [mais, erro] : casos) {
        Emissor em;
        const Erro e = le_emissor_de(emissor + mais, "e.toml", em);
        EXPECT_TRUE(descreve_erro(e).starts_with(erro)) << descreve_erro(e);
        if (!erro.empty()) continue;
        EXPECT_EQ(documento_formatado(em.cnpj), "11.222.333/0001-81");
        if (!em.titulo.empty()) {
            EXPECT_EQ(em.titulo, "Conta de telefonia fixa");
            ASSERT_EQ(em.tributos.size(), 3U);
            EXPECT_EQ(em.tributos[0].nome + " " + std::to_string(em.tributos[0].milionesimos) +
                          " " + em.tributos[2].nome + " " +
                          std::to_string(em.tributos[2].milionesimos),
                      "ICMS 180000 FUNTTEL 5000");
        }
        if (em.pix) {
            EXPECT_EQ(em.pix->chave + " " + em.pix->cidade, "contas@example.org Sao Paulo");
        }
    }
    const std::pair<std::string, std::string_view> so_emissor[] = {
        {"", "e.toml: falta a tabela [emissor]"},
        {"[emissor]\nnome = \"A\"\ncnpj = \"11222333000180\"\nendereco = \"R\"\ntelefone = \"1\"\n",
         "e.toml:3: [emissor] cnpj: 11222333000180 nao e um CNPJ"},
        {"[emissor]\nnome = \"A\"\ncnpj = \"11222333000181\"\n",
         "e.toml:1: falta [emissor] endereco"},
        {"[emissor]\nnome = \"A\\u0000B\"\ncnpj = \"11222333000181\"\nendereco = \"R\"\ntelefone = "
         "\"1\"\n",
         "e.toml:2: [emissor] nome com caractere de controle"},
        {"[emissor]\nnome = \"A\"\ncnpj = \"11222333000181\"\nendereco = \" \"\ntelefone = \"1\"\n",
         "e.toml:4: [emissor] endereco vazio"},
        {"[emissor]\nnome = \"A\u2028B\"\ncnpj = \"11222333000181\"\nendereco = \"R\"\ntelefone = "
         "\"1\"\n",
         "e.toml:2: [emissor] nome com caractere de controle"},
        {"[emissor]\nnome = \"A\"\ncnpj = \"11222333000181\"\nendereco = \"R\u0085\"\ntelefone = "
         "\"1\"\n",
         "e.toml:4: [emissor] endereco com caractere de controle"},
        {"[emissor]\nnome = \"" + std::string(101, 'W') +
             "\"\ncnpj = \"11222333000181\"\nendereco = \"R\"\ntelefone = \"1\"\n",
         "e.toml:2: [emissor] nome com mais de 100 caracteres"},
        {"[emissor]\nnome = \"" + std::string(99, 'W') +
             "ã\"\ncnpj = \"12.ABC.345/01DE-35\"\nendereco = \"R\"\ntelefone = \"1\"\n",
         ""},
        {"[emissor]\nnome = \"Jos\xe9\"\n", "e.toml:2: nao esta em UTF-8"},
    };
    for (const auto& [texto, erro] : so_emissor) {
        Emissor em;
        const Erro e = le_emissor_de(texto, "e.toml", em);
        const std::string d = descreve_erro(e);
        EXPECT_TRUE(erro.empty() ? e.ok() : d.starts_with(erro)) << d;
    }
    // A device is refused, not read for ever.
    Emissor em;
    EXPECT_EQ(descreve_erro(le_emissor("/dev/zero", em)), "/dev/zero: nao e um arquivo regular");
}

}  // namespace
