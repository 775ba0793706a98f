#pragma once
// Pix, the instant payment of the Brazilian central bank: the payload of a static QR code (the
// "BR Code" a customer's bank app reads), and the receiver's key, name and city as a person
// types them made ready for it.

#include <cstdint>
#include <string>
#include <string_view>

#include "documento.h"
#include "erro.h"

// Who receives: the key exactly as it goes into the payload (digits only for CPF and CNPJ, a
// CNPJ's letters in upper case, "+55" and the digits for a phone, an e-mail or a random key in
// lower case), the name and the city in the payload's plain ASCII.
struct RecebedorPix {
    std::string chave;
    std::string nome;
    std::string cidade;
};

// The most characters the payload takes of a name and of a city.
inline constexpr std::size_t maximo_nome_pix = 25;
inline constexpr std::size_t maximo_cidade_pix = 15;

// Each makes its text ready for the payload in place, or says why it cannot go into one
// (TipoErro::dados, the reason in `detalhe`). The key: blanks around it dropped, an e-mail or a
// random key in lower case, a CNPJ in upper case; it must be a CPF or CNPJ (no dots, slash or
// hyphen; check digits right), an e-mail, "+55" with a phone's area code and number, or a random
// key. The name and the city: blanks around them
// dropped and runs of blanks made one, accented letters written without their accents ("São
// Paulo" as "Sao Paulo"); then at most 25 and 15 characters.
Erro prepara_chave_pix(std::string& chave);
Erro prepara_nome_pix(std::string& nome);
Erro prepara_cidade_pix(std::string& cidade);
// The three in turn; the first error.
Erro prepara_recebedor_pix(RecebedorPix& r);

// The transaction id of a bill: "C", the customer code, "M", year and month ("C1M201711").
std::string txid_pix(std::uint32_t cod_cli, std::int16_t ano, std::int8_t mes);

// CRC-16/CCITT-FALSE (polynomial 0x1021, initial 0xFFFF) as four upper-case hex digits.
std::string crc_pix(std::string_view dados);

// The static payload: the receiver (made ready beforehand), the amount as "63.84" (empty: none,
// the payer types it) and the transaction id, then the CRC of all that precedes it.
std::string payload_pix(const RecebedorPix& r, std::string_view valor, std::string_view txid);
