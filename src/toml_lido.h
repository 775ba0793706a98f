#pragma once
// A TOML text parsed as the settings files are: UTF-8 checked line by line first, since where
// the text stops being UTF-8 the parser can only say which column it gave up at, and the
// parser's own English description replaced by the place.

#include <fmt/format.h>

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codigo850.h"
#include "erro.h"

inline Erro analisa_toml(std::string_view texto, const std::string& arquivo, toml::table& raiz) {
    for (std::size_t inicio = 0, linha = 1; inicio < texto.size(); ++linha) {
        const std::size_t fim = std::min(texto.find('\n', inicio), texto.size());
        if (!e_utf8(texto.substr(inicio, fim - inicio)))
            return Erro::dados(arquivo, linha, "nao esta em UTF-8");
        inicio = fim + 1;
    }
    try {
        raiz = toml::parse(texto, arquivo);
    } catch (const toml::parse_error& e) {
        return Erro::dados(arquivo, e.source().begin.line,
                           fmt::format("TOML invalido na coluna {}", e.source().begin.column));
    }
    return {};
}

// A TOML number with at most log10(escala) decimals, as a whole number of 1/escala from 0 to
// `maximo`; nothing when it is not one. A decimal is read as the nearest double, a few units in
// its 16th digit off: anything further from a whole number of 1/escala has more decimals, and a
// value above zero is never taken as zero.
inline std::optional<std::int64_t> em_unidades(const toml::node& n, std::int64_t escala,
                                               std::int64_t maximo) {
    const std::optional<double> d = n.value<double>();
    const double x = d.value_or(-1.0) * static_cast<double>(escala);
    const double inteiro = std::round(x);
    if (!d || !(x >= 0.0 && x <= static_cast<double>(maximo)) ||
        std::abs(x - inteiro) > 1e-12 * std::max(1.0, x) || (inteiro == 0.0) != (x == 0.0))
        return std::nullopt;
    return std::llround(x);
}
