// The Pix payload of a bill and the checks of the receiver's key, name and city.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

TEST(Pix, ChavesNomesECidadesAceitasERecusadas) {
    enum Campo { chave, nome, cidade };
    struct Caso {
        Campo campo;
        std::string texto;
        ErroPix erro;
    };
    const Caso casos[] = {
        {chave, "52998224725", ErroPix::nenhum},
        {chave, "52998224724", ErroPix::cpf_invalido},
        {chave, "11111111111", ErroPix::cpf_invalido},
        {chave, "529.982.247-25", ErroPix::chave_desconhecida},
        {chave, "11222333000181", ErroPix::nenhum},
        {chave, "11222333000180", ErroPix::cnpj_invalido},
        {chave, "00000000000000", ErroPix::cnpj_invalido},
        {chave, "rayane@alvoz.com.br", ErroPix::nenhum},
        {chave, "sem-arroba.com.br", ErroPix::chave_desconhecida},
        {chave, "a@b", ErroPix::chave_desconhecida},
        {chave, "a@@b.com", ErroPix::chave_desconhecida},
        {chave, "@b.com", ErroPix::chave_desconhecida},
        {chave, "com espaco@b.com", ErroPix::chave_desconhecida},
        {chave, std::string(70, 'a') + "@b.com.br", ErroPix::chave_desconhecida},
        {chave, std::string(65, 'a') + "@b.co", ErroPix::chave_desconhecida},
        {chave, "o.k+1@b-c.com.br", ErroPix::nenhum},
        {chave, ".a@b.co", ErroPix::chave_desconhecida},
        {chave, "a.@b.co", ErroPix::chave_desconhecida},
        {chave, "a@-b.co", ErroPix::chave_desconhecida},
        {chave, "a\"b@c.co", ErroPix::chave_desconhecida},
        {chave, "+5585988776655", ErroPix::nenhum},
        {chave, "+558532101234", ErroPix::nenhum},
        {chave, "+55859887766", ErroPix::chave_desconhecida},
        {chave, "+55859887766551", ErroPix::chave_desconhecida},
        {chave, "+15559887766", ErroPix::chave_desconhecida},
        {chave, "+5500988776655", ErroPix::chave_desconhecida},
        {chave, "+55 85988776655", ErroPix::chave_desconhecida},
        {chave, "123e4567-e89b-12d3-a456-426614174000", ErroPix::nenhum},
        {chave, "123e4567e89b12d3a456426614174000", ErroPix::chave_desconhecida},
        {chave, "123E4567-E89B-12D3-A456-426614174000", ErroPix::chave_desconhecida},
        {chave, "123e4567-e89b-12d3-a456-42661417400g", ErroPix::chave_desconhecida},
        {chave, "", ErroPix::chave_desconhecida},
        {nome, "Contacel Telefonia", ErroPix::nenhum},
        {nome, std::string(25, 'n'), ErroPix::nenhum},
        {nome, std::string(26, 'n'), ErroPix::nome_longo},
        {nome, "", ErroPix::nome_vazio},
        {nome, "  ", ErroPix::nome_vazio},
        {nome, "Jo\xc3\xa3o", ErroPix::nome_invalido},
        {nome, "A\tB", ErroPix::nome_invalido},
        {cidade, "Fortaleza", ErroPix::nenhum},
        {cidade, std::string(15, 'c'), ErroPix::nenhum},
        {cidade, std::string(16, 'c'), ErroPix::cidade_longa},
        {cidade, "", ErroPix::cidade_vazia},
        {cidade, "S\xc3\xa3o Paulo", ErroPix::cidade_invalida},
    };
    for (const Caso& c : casos) {
        RecebedorPix r{"52998224725", "Nome", "Cidade"};
        (c.campo == chave ? r.chave : c.campo == nome ? r.nome : r.cidade) = c.texto;
        EXPECT_EQ(confere_recebedor_pix(r), c.erro) << c.texto;
        const std::string_view d = descreve_erro_pix(c.erro);
        EXPECT_TRUE(std::all_of(d.begin(), d.end(), [](char ch) { return ch >= ' ' && ch <= '~'; }))
            << d;
    }
}

}  // namespace
