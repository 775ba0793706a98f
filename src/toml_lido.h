#pragma once
// A TOML text parsed as the settings files are: UTF-8 checked line by line first, since where
// the text stops being UTF-8 the parser can only say which column it gave up at, and the
// parser's own English description replaced by the place.

#include <fmt/format.h>

#include <toml++/toml.h>

#include <algorithm>
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
