#pragma once
// Whole numbers written as text, read whole.

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

// `s` as a whole number of type T, nothing before or after it.
template <typename T>
std::optional<T> numero(std::string_view s) {
    T v{};
    const auto [fim, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc{} || fim != s.data() + s.size()) return std::nullopt;
    return v;
}
