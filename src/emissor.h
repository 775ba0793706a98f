#pragma once
// The company that issues the bills, from a TOML file:
//
//   [emissor]
//   nome = "Contacel Telefonia Ltda"
//   cnpj = "11222333000181"
//   endereco = "Av. Santos Dumont, 1000, Fortaleza - CE"
//   telefone = "0800 123 4567"
//   titulo = "Conta de serviços de telefonia"   # optional: the heading of every bill
//   [tributos]                 # optional: the taxes in the price, as fractions of it
//   icms = 0.18                # also pis, cofins, fust, funttel
//   [pix]                      # optional: who receives the payments
//   chave = "12345678909"
//   nome = "Contacel Telefonia"
//   cidade = "Fortaleza"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "erro.h"
#include "pix.h"

// A tax in the price of a bill, which the bill tells apart for the customer.
struct Tributo {
    std::string nome;           // as printed: "ICMS"
    std::int64_t milionesimos;  // the rate: 0.18 of the price is 180000
};

struct Emissor {
    std::string nome;
    std::string cnpj;  // as kept: the 14 digits, or digits and upper-case letters
    std::string endereco;
    std::string telefone;             // customer service
    std::optional<RecebedorPix> pix;  // made ready by prepara_recebedor_pix
    std::string titulo;               // the bills' heading; empty: the program's own
    std::vector<Tributo> tributos;  // of [tributos], in the order ICMS, PIS, COFINS, FUST, FUNTTEL
    std::string recebedor;          // [pix] as written, for the page: recebedor_escrito
};

// The issuer in the file `arquivo`. Every key of [emissor] but `titulo` is required and is a
// text; the CNPJ may be written with or without its dots, slash and hyphen, and its check
// digits must be right. A failure names the file and, where there is one, the line: a key or table
// the file may not hold, a value that is not a text, a CNPJ or Pix receiver that is wrong.
Erro le_emissor(const std::string& arquivo, Emissor& emissor);
// The same from the text of the file `arquivo`.
Erro le_emissor_de(std::string_view texto, const std::string& arquivo, Emissor& emissor);

// The receiver's name and city as a person wrote them, accents kept, for the page beside the Pix
// code: "Açaí Telecom, São Paulo".
std::string recebedor_escrito(const RecebedorPix& r);
