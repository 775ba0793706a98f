#pragma once
// Texts between UTF-8 (command lines, CSV files, terminals) and code page 850 (the register),
// converted by the C library's iconv.

#include <cstdint>
#include <string>
#include <string_view>

#include "cliente.h"

// Why a UTF-8 text cannot be a customer's name or address.
enum class ErroTexto : std::uint8_t {
    nenhum,
    vazio,
    utf8_invalido,
    controle,      // a control character: tab, line break, ...
    fora_do_850,   // a character code page 850 does not have
    longo_demais,  // more than 50 bytes once in code page 850
    conversao,     // the converter cannot be opened or failed: no text can be judged
};

// "nome vazio", "endereco com caractere fora do codigo 850", ...: `campo` names the field.
std::string descreve_erro_texto(ErroTexto e, std::string_view campo);

// Converts `utf8` into a customer's text field (at most 50 bytes and a NUL, the rest zeroed).
// A text is taken only if converting it back gives exactly `utf8`: nothing dropped or
// approximated.
ErroTexto texto_850(std::string_view utf8, char (&destino)[sizeof(TCliente::nome)]);
// The same bytes in UTF-8 into `saida`; every code page 850 byte has a character, so the only
// failure is ErroTexto::conversao.
ErroTexto em_utf8(std::string_view cp850, std::string& saida);
// The same, with nothing where the conversion fails.
std::string texto_utf8(std::string_view cp850);
// Why the converters cannot be opened, in the system's words.
std::string razao_da_conversao();
