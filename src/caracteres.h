#pragma once
// Facts about bytes that every reader of text shares: digits, and the mark some editors put
// at the start of a UTF-8 file.

#include <algorithm>
#include <string_view>

// An ASCII digit, whatever the locale says.
constexpr bool e_digito(char c) {
    return c >= '0' && c <= '9';
}

// Not empty, and ASCII digits only.
constexpr bool so_digitos(std::string_view s) {
    return !s.empty() && std::ranges::all_of(s, e_digito);
}

// The UTF-8 byte-order mark, with which spreadsheets begin a file.
inline constexpr std::string_view marca_utf8 = "\xEF\xBB\xBF";

// `texto` without the byte-order mark it may begin with.
constexpr std::string_view sem_marca_utf8(std::string_view texto) {
    return texto.starts_with(marca_utf8) ? texto.substr(marca_utf8.size()) : texto;
}
