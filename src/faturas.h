#pragma once
// Bills as a PDF document a customer can hold: one bill per page (a bill too long for one
// continues on the next with its heading repeated), its period and issue date, the calls and
// totals with the very figures the console bill prints (durations in minutes and seconds, money
// as written on paper: "R$ 2.411,34"), a bar chart of each day's charge, optionally the issuer on
// every page, the taxes in the price and, beside the amount, a stub with a static Pix QR code for
// it. A bill with nothing to pay says so, with no code and no due date. Drawn with Cairo, Pango
// and libqrencode.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cobranca.h"
#include "emissor.h"
#include "erro.h"
#include "pix.h"

// The heading of the bills of records when the issuer gives none.
inline constexpr std::string_view titulo_registros = "Conta de serviços de telefonia";

struct OpcoesFaturas {
    // The date of a document without bills; one with bills is dated by its first issue date.
    std::time_t instante = 0;
    // The receiver of the Pix payments, made ready by prepara_recebedor_pix; none: no QR.
    std::optional<RecebedorPix> pix;
    // Who issues the bills, named on every page; none: no one is named.
    std::optional<Emissor> emissor;
    // The heading of every bill; empty: the simulation's, "CONTA DE TELEFONIA CELULAR".
    std::string titulo;
    // The receiver as the stub beside the Pix code names it; empty: as the payload does.
    std::string recebedor;
};

// Receives the document piece by piece; false when a piece could not be written.
using DestinoPdf = std::function<bool(std::span<const std::byte>)>;
// Receives one bill's whole document and its file name; false when it could not be written.
using DestinoFatura = std::function<bool(const std::string& nome, std::span<const std::byte>)>;

// Every bill, in order, as one document. Fails with TipoErro::gravacao when
// the destination refused a piece, TipoErro::sistema when Cairo or libqrencode failed.
Erro escreve_faturas(const Contas& c, const OpcoesFaturas& op, const DestinoPdf& destino);
// Each bill as a document of its own, named by nome_arquivo_fatura; stops at the first failure.
Erro escreve_cada_fatura(const Contas& c, const OpcoesFaturas& op, const DestinoFatura& destino);

// The SHA-256 of `bytes` in lowercase hexadecimal: what a book keeps of each bill it issued.
std::string sha256_hex(std::span<const std::byte> bytes);

// "CODIGO-AAAA-MM.pdf": "1-2017-11.pdf".
std::string nome_arquivo_fatura(std::uint32_t cod_cli, std::int16_t ano, std::int8_t mes);
// The payload printed and encoded on a bill: its amount to pay and its transaction id.
std::string payload_da_conta(const RecebedorPix& r, const ContaMensal& conta);
