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
#include "codigo850.h"
#include "dialeto_csv.h"

// Why a CSV file cannot be a register.
enum class ErroCsv : std::uint8_t {
    nenhum,
    aspas_sem_fim,             // a quoted field that never ends, or text after a closing quote
    sem_cabecalho,             // the first row is not the header
    campos_demais,             // a row with more than three fields
    campos_de_menos,           // a row with fewer than three fields
    codigo_invalido,           // not a whole number from 1 to 4294967295
    codigo_repetido,           // a code an earlier row already has
    clientes_demais,           // more than 20 customers
    texto_invalido,            // `texto` says what is wrong with the name or address
    nao_e_utf8,                // read as UTF-8, a field is not
    fora_da_codificacao,       // a byte the file's encoding has no character for
    bom_em_outra_codificacao,  // a UTF-8 byte-order mark in a file read in another encoding
    conversao_indisponivel,    // iconv cannot convert the encoding: `sistema` says why
    utf16,                     // a UTF-16 file ("Unicode text"), which is not read
    parece_utf8,               // read in another encoding, the file is UTF-8 with accents
};

struct StatusCsv {
    ErroCsv erro = ErroCsv::nenhum;
    std::size_t linha = 0;   // line of the file, from 1, where the row starts; 0: the whole file
    std::uint8_t campo = 0;  // 0 code, 1 name, 2 address
    ErroTexto texto = ErroTexto::nenhum;
    char separador = ',';  // of the header row found
    Codificacao codificacao = Codificacao::utf8;
    int sistema = 0;  // errno of a conversion that could not be opened
    [[nodiscard]] constexpr bool ok() const { return erro == ErroCsv::nenhum; }
};

// The header row of the plain dialect.
inline constexpr const char* cabecalho_csv_clientes = "codigo,nome,endereco";

// Fills `lc` from the bytes of a CSV file in `codificacao` (an optional UTF-8 byte-order mark
// in a UTF-8 file; CRLF, LF or CR line ends; a last line with or without its end). The header
// row tells the dialect. On failure the list is left empty.
StatusCsv decodifica_csv_clientes(std::span<const std::byte> csv, TLisCli* lc,
                                  Codificacao codificacao = Codificacao::utf8);
// The register as CSV in dialect `d`, header first; the plain dialect by default.
std::string codifica_csv_clientes(const TLisCli* lc, DialetoCsv d = csv_padrao);
// A customer code: a whole number from 1 to 4294967295, nothing before or after it.
std::optional<std::uint32_t> le_codigo(std::string_view texto);
// Appends a customer's text field (code page 850) in UTF-8, as acrescenta_campo_csv writes it.
void acrescenta_texto_csv(std::string& linha, const char (&texto)[sizeof(TCliente::nome)],
                          DialetoCsv d = csv_padrao);
// What is wrong, without the line: "nome com caractere fora do codigo 850".
std::string descreve_erro_csv(StatusCsv st);
