#pragma once
// A TOML text parsed as the settings files are: UTF-8 checked line by line first, since where
// the text stops being UTF-8 the parser can only say which column it gave up at, what the
// parser must not be handed refused before it reads it, and the parser's own English
// description replaced by the place.

#include <fmt/format.h>

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "caracteres.h"
#include "codigo850.h"
#include "erro.h"

// Where the first place of `t` that toml++ 3.3 must not be handed begins, or nothing when there
// is none: there it fails one of its own assertions, or with them off takes a branch it assumes
// unreachable, so that what it does is undefined. The places:
// - a character beyond ASCII outside strings and comments, which its whitespace test classes
//   through such a branch (a "ç" in a key, or in a value without quotes);
// - a table header whose key opens with what opens no key ("[$]", "[ =]", "[[#]]");
// - in an array, a closing brace where a value is due ("[}", "[1, }");
// - in a string of many lines in double quotes, a character beyond ASCII first after a backslash
//   and the blanks and line ends it skips: the same whitespace test. This one alone is valid
//   TOML, and is refused all the same.
// Only what toml++ reads before it fails otherwise needs to be followed rightly, and in that
// the brackets and braces open tell a header from an array and a key from a value. A value
// without quotes runs on to the next blank, comma, closing bracket or comment whatever it holds,
// quotes and opening brackets too.
inline std::optional<std::size_t> ponto_vedado(std::string_view t) {
    const auto alem_de_ascii = [t](std::size_t i) {
        return i < t.size() && static_cast<unsigned char>(t[i]) >= 0x80;
    };
    std::string abertos;     // the brackets and braces open, innermost last
    bool valor = false;      // a value is due, not a key
    bool sem_aspas = false;  // in a value without quotes
    char antes = '\n';       // the last character outside strings and comments, blanks aside
    char ultimo = '\n';      // the same, line ends aside too
    // A byte order mark opens a text as toml++ reads it.
    for (std::size_t i = t.size() - sem_marca_utf8(t).size(); i < t.size(); ++i) {
        const char c = t[i];
        sem_aspas = sem_aspas && std::string_view(" \t\r\n]},#").find(c) == std::string_view::npos;
        if (c == '#') {
            i = std::min(t.find('\n', i), t.size()) - 1;
            continue;
        }
        if (alem_de_ascii(i)) return i;
        if (sem_aspas) {
            antes = ultimo = c;
            continue;
        }
        if (c == '"' || c == '\'') {
            // To the string's end: three quotes for one of many lines, with up to two quotes of
            // its text right before them; in double quotes a backslash escapes. A string left
            // open ends with its line, or the text.
            const std::string fim(t.substr(i, 3) == std::string(3, c) ? 3 : 1, c);
            for (i += fim.size(); i < t.size() && !(fim.size() == 1 && t[i] == '\n'); ++i) {
                if (c == '"' && t[i] == '\\') {
                    if (const std::size_t j = t.find_first_not_of(" \t\r\n", i + 1);
                        fim.size() == 3 && alem_de_ascii(j))
                        return j;
                    ++i;
                } else if (t.substr(i, fim.size()) == fim) {
                    i += fim.size() - 1;
                    while (fim.size() == 3 && i + 1 < t.size() && t[i + 1] == c)
                        ++i;
                    break;
                }
            }
        } else if (c == '}' && (ultimo == '[' || ultimo == ',')) {
            return i;
        } else if (c == '[' && abertos.empty() && antes == '\n') {
            // A header: its key, after one more bracket and blanks, if the line goes on.
            const std::size_t n = t.substr(i, 2) == "[[" ? 2 : 1;
            const std::size_t k = t.find_first_not_of(" \t", i + n);
            const auto chave = [](char d) {
                return (d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z') || (d >= '0' && d <= '9') ||
                       std::string_view("_-\"']").find(d) != std::string_view::npos;
            };
            if (k < t.size() && !chave(t[k])) return k;
            // Both brackets of "[[" open the header, whose key follows.
            abertos.append(n, c);
            i += n - 1;
        } else if (c == '[' || c == '{') {
            abertos += c;
            valor = c == '[';
        } else if (c == ']' || c == '}') {
            if (!abertos.empty()) abertos.pop_back();
        } else if (c == '=') {
            valor = true;
        } else if (c == ',') {
            valor = abertos.empty() || abertos.back() == '[';
        } else if (c == '\n') {
            valor = valor && !abertos.empty();
        } else if (valor && c != ' ' && c != '\t' && c != '\r') {
            sem_aspas = true;
        }
        if (c != ' ' && c != '\t') antes = c;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') ultimo = c;
    }
    return std::nullopt;
}

inline Erro analisa_toml(std::string_view texto, const std::string& arquivo, toml::table& raiz) {
    for (std::size_t inicio = 0, linha = 1; inicio < texto.size(); ++linha) {
        const std::size_t fim = std::min(texto.find('\n', inicio), texto.size());
        if (!e_utf8(texto.substr(inicio, fim - inicio)))
            return Erro::dados(arquivo, linha, "nao esta em UTF-8");
        inicio = fim + 1;
    }
    // Such a place is refused where it is, unless toml++ refuses the text before it: it reads
    // only up to it. Where that text stops short, it says so at the end: at or after the last
    // character, which is then no fault of its own.
    using Lugar = std::pair<std::size_t, std::size_t>;  // line and column
    const auto lugar = [texto](std::size_t i) {
        const std::string_view antes = texto.substr(0, i);
        // Of its line (npos + 1: 0); a byte order mark opening the text is in no column.
        const std::size_t inicio = antes.rfind('\n') + 1;
        const std::string_view na_linha =
            inicio == 0 ? sem_marca_utf8(antes) : antes.substr(inicio);
        return Lugar{static_cast<std::size_t>(std::ranges::count(antes, '\n')) + 1,
                     caracteres_utf8(na_linha) + 1};
    };
    const std::optional<std::size_t> vedado = ponto_vedado(texto);
    try {
        raiz = toml::parse(texto.substr(0, vedado.value_or(texto.size())), arquivo);
    } catch (const toml::parse_error& e) {
        const Lugar onde{e.source().begin.line, e.source().begin.column};
        if (!vedado || *vedado == 0 || onde < lugar(*vedado - 1))
            return Erro::dados(arquivo, onde.first,
                               fmt::format("TOML invalido na coluna {}", onde.second));
    }
    if (!vedado) return {};
    const Lugar onde = lugar(*vedado);
    return Erro::dados(arquivo, onde.first, fmt::format("TOML invalido na coluna {}", onde.second));
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
