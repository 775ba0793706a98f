#pragma once
// The customer register as CSV, the way spreadsheets keep it: a header row, one customer per
// row, fields quoted as RFC 4180 quotes them, in either dialect: "codigo,nome,endereco" or
// "codigo;nome;endereco".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cliente.h"
#include "dialeto_csv.h"
#include "erro.h"

// The header row of the plain dialect.
inline constexpr const char* cabecalho_csv_clientes = "codigo,nome,endereco";

// Fills `lc` from the bytes of a CSV file in `codificacao` (an optional UTF-8 byte-order mark
// in a UTF-8 file; CRLF, LF or CR line ends; a last line with or without its end). The header
// row tells the dialect. On failure the list is left empty; the error gives the line of the
// file, from 1, where the row starts (0: the whole file), not the file's name.
Erro decodifica_csv_clientes(std::span<const std::byte> csv, TLisCli* lc,
                             Codificacao codificacao = Codificacao::utf8);
// The register as CSV in dialect `d`, header first; the plain dialect by default.
std::string codifica_csv_clientes(const TLisCli* lc, DialetoCsv d = csv_padrao);
// A customer code: a whole number from 1 to 4294967295, nothing before or after it.
std::optional<std::uint32_t> le_codigo(std::string_view texto);
// Appends a customer's text field (code page 850) in UTF-8, as acrescenta_campo_csv writes it.
void acrescenta_texto_csv(std::string& linha, const char (&texto)[sizeof(TCliente::nome)],
                          DialetoCsv d = csv_padrao);
