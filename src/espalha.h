#pragma once
// Hashes of 64 bits for the tables kept per record: a text's bytes read a word at a time, never
// past its end, and mixed so that every bit of the result depends on every bit read.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// A 64-bit mixer (the finaliser of SplitMix64): every bit of the input moves every bit out.
constexpr std::uint64_t mistura(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9U;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBU;
    return x ^ (x >> 31);
}

// Adds `v` to the hash `h`: order matters; `mistura` finishes it once it is whole.
constexpr std::uint64_t junta(std::uint64_t h, std::uint64_t v) {
    return (std::rotl(h, 23) ^ v) * 0x9E3779B97F4A7C15U;
}

// The bytes of a text of up to 16, `p` to `p + n`, as two words equal for two texts of one size
// exactly when their bytes are: two words that may overlap, from 4 to 7 bytes two halves of one
// word that may, and below that the bytes that make it up (the second word 0 below 8 bytes).
struct Palavras {
    std::uint64_t a = 0, b = 0;
};
inline Palavras palavras(const char* p, std::size_t n) {
    const auto palavra = [](const char* q, auto x) {
        std::memcpy(&x, q, sizeof x);
        return std::uint64_t{x};
    };
    if (n >= 8) return {palavra(p, std::uint64_t{}), palavra(p + n - 8, std::uint64_t{})};
    if (n >= 4) return {palavra(p, std::uint32_t{}) | palavra(p + n - 4, std::uint32_t{}) << 32};
    if (n == 0) return {};
    const auto byte = [&](std::size_t i) {
        return std::uint64_t{static_cast<unsigned char>(p[i])};
    };
    return {byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16};
}

// Adds the bytes of `t` to `h`, but not its length, which must come in otherwise: eight bytes at
// a time, the last up to 16 as palavras() reads them.
inline std::uint64_t junta_bytes(std::uint64_t h, std::string_view t) {
    const char* p = t.data();
    std::size_t n = t.size();
    for (; n > 16; p += 8, n -= 8) {
        std::uint64_t x = 0;
        std::memcpy(&x, p, sizeof x);
        h = junta(h, x);
    }
    const Palavras w = palavras(p, n);
    if (n >= 8) return junta(junta(h, w.a), w.b);
    return n == 0 ? h : junta(h, w.a);
}

// Adds the text `t` and its length to `h`.
inline std::uint64_t junta_texto(std::uint64_t h, std::string_view t) {
    return junta_bytes(junta(h, t.size()), t);
}

inline std::uint64_t espalha_texto(std::string_view t) {
    return mistura(junta_texto(0, t));
}
