#pragma once
// The rules for a customer's code and texts, one set for every way a customer comes in (a CSV
// row, the command line) and for judging a register read from a file. Every customer has a code
// from 1 to 4294967295 that no earlier customer has. Where it is kept decides the rest:
// - the register holds at most 20, and a name and an address that code page 850 holds exactly,
//   without control characters, in 1 to 50 bytes; a register that obeys them is written to CSV
//   and read back byte for byte;
// - the book holds any number, a name of 1 to 100 characters and an address of up to 200, UTF-8
//   without control characters, and optionally a CPF or CNPJ with its check digits right, an
//   e-mail address, a CEP of 8 digits, a city and one of the 27 UFs.
//
// A broken rule is TipoErro::dados, in the rule's words ("codigo repetido", "nome com caractere
// fora do codigo 850"); a converter that cannot work is TipoErro::sistema, and then no text can
// be judged.

#include <cstdint>
#include <optional>
#include <string_view>

#include "cliente.h"
#include "clientes.h"
#include "erro.h"

// Where a customer is kept.
enum class Guarda : std::uint8_t { cadastro, livro };

// What the rules of `g` make of `c` (its code aside): ok, its optional fields in the form kept
// (a document's digits, a CEP's digits, a UF in capitals); or the first rule it breaks.
Erro valida_cliente(Cliente& c, Guarda g);
// Appends `c` with the code `cod` to `lc` when every rule of `g` allows it; otherwise `lc` is
// left as it is. No code (nullopt) is an invalid code.
Erro insere_validado(Clientes& lc, Guarda g, std::optional<std::uint32_t> cod, Cliente c);

// The same rules on the register's own list, for changing a register file in place.
Erro insere_validado(TLisCli* lc, std::optional<std::uint32_t> cod, std::string_view nome,
                     std::string_view endereco);
// Gives the customer at position `i` the texts that are given, when both obey the rules.
Erro altera_validado(TLisCli* lc, std::uint32_t i, std::optional<std::string_view> nome,
                     std::optional<std::string_view> endereco);
// What the rules say of the customer at position `i` of a list read from a file.
Erro confere_cliente(const TLisCli* lc, std::uint32_t i);
