#pragma once
// Customers as CSV, the way spreadsheets keep them: a header row, one customer per row, fields
// quoted as RFC 4180 quotes them, in either dialect: "codigo,nome,endereco" or
// "codigo;nome;endereco".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "clientes.h"
#include "dialeto_csv.h"
#include "erro.h"
#include "regra_cliente.h"

// The header row of the plain dialect.
inline constexpr const char* cabecalho_csv_clientes = "codigo,nome,endereco";

// Fills `lc` from the bytes of a CSV file in `codificacao` (an optional UTF-8 byte-order mark
// in a UTF-8 file; CRLF, LF or CR line ends; a last line with or without its end), each row
// under the rules of where the customers go, `guarda`. The header row tells the dialect; for a
// book it may go on with documento, email, cep, cidade and uf, in that order. On failure the
// list is left empty; the error gives the line of the file, from 1, where the row starts (0: the
// whole file), not the file's name.
Erro decodifica_csv_clientes(std::span<const std::byte> csv, Clientes& lc,
                             Guarda guarda = Guarda::cadastro,
                             Codificacao codificacao = Codificacao::utf8);
// The customers as CSV in dialect `d`, header first: the register's three columns, or all of a
// book's.
std::string codifica_csv_clientes(const Clientes& lc, Guarda guarda = Guarda::cadastro,
                                  DialetoCsv d = csv_padrao);
