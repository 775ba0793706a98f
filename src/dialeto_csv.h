#pragma once
// The two kinds of CSV the programs write and read, and the encodings a CSV file may come in.
//
// The plain dialect is RFC 4180: commas, decimal points in money, LF line ends. The spreadsheet
// dialect is what spreadsheets set to Brazilian Portuguese write: the comma is their decimal
// separator, so fields are separated by semicolons; a UTF-8 byte-order mark and CRLF line ends
// let the file open with a double click.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct DialetoCsv {
    char separador;  // between fields
    char decimal;    // in money
    bool bom;        // a UTF-8 byte-order mark opens the file
    std::string_view fim_de_linha;
    bool marca_formulas = false;  // a text a spreadsheet would run as a formula gets a "'"
};

inline constexpr DialetoCsv csv_padrao{',', '.', false, "\n"};
inline constexpr DialetoCsv csv_planilha{';', ',', true, "\r\n", true};

// Whether a spreadsheet would take the text for a formula: after any apostrophes, it starts with
// "=", "+", "-", "@", a tab or a carriage return.
bool parece_formula(std::string_view campo);
// A field read in the spreadsheet dialect without the apostrophe acrescenta_campo_csv put before
// a formula, so that the text comes back as it was.
std::string_view sem_marca_de_formula(std::string_view campo);

// The start of a file: the byte-order mark when the dialect has one, then the header row of
// `nomes`, separated and ended as the dialect does.
std::string cabecalho_csv(std::initializer_list<std::string_view> nomes, DialetoCsv d);
std::string cabecalho_csv(std::span<const std::string_view> nomes, DialetoCsv d);
// Appends one field, enclosed in quotes with quotes doubled only when it holds the dialect's
// separator, a quote or a line break; in the spreadsheet dialect a text that looks like a formula
// is marked as text with a leading apostrophe, as spreadsheets mark it.
void acrescenta_campo_csv(std::string& linha, std::string_view campo, DialetoCsv d = csv_padrao);
// Appends an amount of money with the dialect's decimal separator.
void acrescenta_dinheiro_csv(std::string& linha, double valor, DialetoCsv d);

// The encoding of a CSV file that is read; its text is converted into UTF-8.
enum class Codificacao : std::uint8_t {
    utf8,
    windows_1252,  // what a spreadsheet on Windows saves as plain CSV
    iso_8859_1,    // Latin-1, as public data files often are
};

// "utf-8" (or "utf8"), "windows-1252" (or "cp1252"), "iso-8859-1" (or "latin1"), in any case;
// nothing for any other name.
std::optional<Codificacao> codificacao_por_nome(std::string_view nome);
// The name the programs use for it: "utf-8", "windows-1252", "iso-8859-1".
const char* nome_codificacao(Codificacao c);
// The name iconv knows it by.
const char* nome_iconv(Codificacao c);
