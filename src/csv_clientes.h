#pragma once
// The customer register as CSV, the way spreadsheets keep it: UTF-8, a header row
// "codigo,nome,endereco", one customer per row, fields quoted as RFC 4180 quotes them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cliente.h"
#include "codigo850.h"

// Why a CSV file cannot be a register.
enum class ErroCsv : std::uint8_t {
    nenhum,
    aspas_sem_fim,    // a quoted field that never ends, or text after a closing quote
    sem_cabecalho,    // the first row is not the header
    campos_demais,    // a row with more than three fields
    campos_de_menos,  // a row with fewer than three fields
    codigo_invalido,  // not a whole number from 1 to 4294967295
    codigo_repetido,  // a code an earlier row already has
    clientes_demais,  // more than 20 customers
    texto_invalido,   // `texto` says what is wrong with the name or address
};

struct StatusCsv {
    ErroCsv erro = ErroCsv::nenhum;
    std::size_t linha = 0;   // line of the file, from 1
    std::uint8_t campo = 0;  // 0 code, 1 name, 2 address
    ErroTexto texto = ErroTexto::nenhum;
    [[nodiscard]] constexpr bool ok() const { return erro == ErroCsv::nenhum; }
};

inline constexpr const char* cabecalho_csv_clientes = "codigo,nome,endereco";

// Fills `lc` from the bytes of a CSV file (a UTF-8 byte-order mark, CRLF or LF line ends and a
// last line without its end are all accepted). On failure the list is left empty.
StatusCsv decodifica_csv_clientes(std::span<const std::byte> csv, TLisCli* lc);
// The register as CSV, header first, LF line ends.
std::string codifica_csv_clientes(const TLisCli* lc);
// A customer code: a whole number from 1 to 4294967295, nothing before or after it.
std::optional<std::uint32_t> le_codigo(std::string_view texto);
// Appends a customer's text field (code page 850) in UTF-8, as acrescenta_campo_csv writes it.
void acrescenta_texto_csv(std::string& linha, const char (&texto)[sizeof(TCliente::nome)]);
// Appends one field as RFC 4180 writes it: enclosed in quotes, with quotes doubled, only when
// it holds a comma, a quote or a line break.
void acrescenta_campo_csv(std::string& linha, std::string_view campo);
// What is wrong, without the line: "nome com caractere fora do codigo 850".
std::string descreve_erro_csv(StatusCsv st);
