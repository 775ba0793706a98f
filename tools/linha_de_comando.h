#pragma once
// What the companion programs share on their command line: whole numbers read strictly, and
// the usage error (one line saying what is wrong, then the usage, exit status 2).

#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

inline constexpr int saida_uso = 2;

// `s` as a whole number of type T, nothing before or after it.
template <typename T>
std::optional<T> numero(std::string_view s) {
    T v{};
    const auto [fim, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc{} || fim != s.data() + s.size()) return std::nullopt;
    return v;
}

inline int mostra_uso(const char* programa, std::string_view uso, const char* motivo) {
    std::fprintf(stderr, "%s: %s\n%.*s", programa, motivo, static_cast<int>(uso.size()),
                 uso.data());
    return saida_uso;
}
