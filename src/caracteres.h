#pragma once
// Facts about bytes that every reader of text shares: digits, and the mark some editors put
// at the start of a UTF-8 file.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// An ASCII digit, whatever the locale says.
constexpr bool e_digito(char c) {
    return c >= '0' && c <= '9';
}

// Eight bytes from `p` as one word, the first in the lowest byte.
inline std::uint64_t oito_bytes(const char* p) {
    std::uint64_t x = 0;
    std::memcpy(&x, p, sizeof x);
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    return x;
}

// The value of eight decimal digits held in one word, each byte a digit's value (0 to 9), the
// first digit in the lowest byte; zero bytes before the first digit read as leading zeros.
constexpr std::uint64_t valor_oito_digitos(std::uint64_t c) {
    c = c * 10 + (c >> 8);  // in each even byte, that digit and the next as a pair
    return (((c & 0x000000FF000000FFU) * (100 + (1000000ULL << 32))) +
            (((c >> 16) & 0x000000FF000000FFU) * (1 + (10000ULL << 32)))) >>
           32;
}

// Whether each byte of `x` is at most its byte in `maximos` (each below 0x80): for bytes that
// are characters XORed with the ones they should be near, as digits XORed with '0' are their
// values. Adding 0x7F less the maximum takes a byte past it to its high bit, which a byte of
// 0x80 or more has already; no carry leaves a byte below 0x80.
constexpr bool bytes_ate(std::uint64_t x, std::uint64_t maximos) {
    return (((x + (0x7F7F7F7F7F7F7F7FU - maximos)) | x) & 0x8080808080808080U) == 0;
}

// bytes_ate's maximos for eight digits XORed with '0'.
inline constexpr std::uint64_t oito_digitos = 0x0909090909090909U;

// Not empty, and ASCII digits only: eight bytes at a time from eight on, the last eight
// overlapping those before when the size is no multiple of eight.
inline bool so_digitos(std::string_view s) {
    if (s.size() < 8) return !s.empty() && std::ranges::all_of(s, e_digito);
    const auto oito = [](const char* p) {
        return bytes_ate(oito_bytes(p) ^ 0x3030303030303030U, oito_digitos);
    };
    for (std::size_t i = 0; i + 8 < s.size(); i += 8)
        if (!oito(s.data() + i)) return false;
    return oito(s.data() + s.size() - 8);
}

// The UTF-8 byte-order mark, with which spreadsheets begin a file.
inline constexpr std::string_view marca_utf8 = "\xEF\xBB\xBF";

// `texto` without the byte-order mark it may begin with.
constexpr std::string_view sem_marca_utf8(std::string_view texto) {
    return texto.starts_with(marca_utf8) ? texto.substr(marca_utf8.size()) : texto;
}

// The characters of UTF-8 text, not its bytes: every byte but a continuation one starts one.
constexpr std::size_t caracteres_utf8(std::string_view t) {
    return static_cast<std::size_t>(std::ranges::count_if(
        t, [](char c) { return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U; }));
}
