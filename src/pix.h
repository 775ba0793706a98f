#pragma once
// Pix, the instant payment of the Brazilian central bank: the payload of a static QR code (the
// "BR Code" a customer's bank app reads) and the checks of the receiver's key, name and city.

#include <cstdint>
#include <string>
#include <string_view>

// Why a key, name or city cannot go into a payload.
enum class ErroPix : std::uint8_t {
    nenhum,
    chave_desconhecida,  // not a CPF, CNPJ, e-mail, +55 phone or random key
    cpf_invalido,        // 11 digits whose check digits are wrong
    cnpj_invalido,       // 14 digits whose check digits are wrong
    nome_vazio,
    nome_longo,     // more than 25 characters
    nome_invalido,  // a character outside printable ASCII
    cidade_vazia,
    cidade_longa,  // more than 15 characters
    cidade_invalida,
};

// One line, Portuguese, plain ASCII: "chave pix: CPF com digitos verificadores errados", ...
std::string_view descreve_erro_pix(ErroPix e);

// Who receives: the key exactly as it goes into the payload (digits only for CPF and CNPJ,
// "+55" and the digits for a phone), the name and the city.
struct RecebedorPix {
    std::string chave;
    std::string nome;
    std::string cidade;
};

ErroPix confere_chave_pix(std::string_view chave);
ErroPix confere_nome_pix(std::string_view nome);
ErroPix confere_cidade_pix(std::string_view cidade);
// The first of the three errors, or nenhum.
ErroPix confere_recebedor_pix(const RecebedorPix& r);

// The transaction id of a bill: "C", the customer code, "M", year and month ("C1M201711").
std::string txid_pix(std::uint32_t cod_cli, std::int16_t ano, std::int8_t mes);

// CRC-16/CCITT-FALSE (polynomial 0x1021, initial 0xFFFF) as four upper-case hex digits.
std::string crc_pix(std::string_view dados);

// The static payload: the receiver (checked beforehand), the amount as "63.84" (empty: none,
// the payer types it) and the transaction id, then the CRC of all that precedes it.
std::string payload_pix(const RecebedorPix& r, std::string_view valor, std::string_view txid);
