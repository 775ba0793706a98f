#pragma once
// The rules for a customer's code and texts, one set for every way a customer comes in (a CSV
// row, the command line) and for judging a register read from a file: a code from 1 to
// 4294967295 that no earlier customer has, and a name and an address that code page 850 holds
// exactly, without control characters, in 1 to 50 bytes. A register that obeys them is written
// to CSV and read back byte for byte.
//
// A broken rule is TipoErro::dados, in the rule's words ("codigo repetido", "nome com caractere
// fora do codigo 850"); a converter that cannot work is TipoErro::sistema, and then no text can
// be judged.

#include <cstdint>
#include <optional>
#include <string_view>

#include "cliente.h"
#include "erro.h"

// Appends the customer `cod`, `nome`, `endereco` (UTF-8) to `lc` when every rule allows it;
// otherwise `lc` is left as it is. No code (nullopt) is an invalid code.
Erro insere_validado(TLisCli* lc, std::optional<std::uint32_t> cod, std::string_view nome,
                     std::string_view endereco);
// Gives the customer at position `i` the texts that are given, when both obey the rules.
Erro altera_validado(TLisCli* lc, std::uint32_t i, std::optional<std::string_view> nome,
                     std::optional<std::string_view> endereco);
// What the rules say of the customer at position `i` of a list read from a file.
Erro confere_cliente(const TLisCli* lc, std::uint32_t i);
