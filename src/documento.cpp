#include "documento.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <span>

#include "caracteres.h"

namespace {

constexpr bool maiuscula(char c) {
    return c >= 'A' && c <= 'Z';
}

// Check digit of `d` weighed by `pesos`, the last weight applied to the last place.
int digito_verificador(std::string_view d, std::span<const int> pesos) {
    int soma = 0;
    for (std::size_t i = 0; i < d.size(); ++i)
        soma += (d[i] - '0') * pesos[pesos.size() - d.size() + i];
    const int resto = soma % 11;
    return resto < 2 ? 0 : 11 - resto;
}

bool digitos_certos(std::string_view s, std::span<const int> pesos) {
    const std::size_t n = s.size();
    return e_digito(s[n - 2]) && e_digito(s[n - 1]) &&
           digito_verificador(s.substr(0, n - 2), pesos) == s[n - 2] - '0' &&
           digito_verificador(s.substr(0, n - 1), pesos) == s[n - 1] - '0';
}

bool repetido(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [&](char c) { return c == s[0]; });
}

constexpr bool letra_ou_digito(char c) {
    return e_digito(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr std::array<int, 10> pesos_cpf{11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
constexpr std::array<int, 13> pesos_cnpj{6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};

}  // namespace

bool cpf_valido(std::string_view d) {
    return d.size() == 11 && so_digitos(d) && !repetido(d) && digitos_certos(d, pesos_cpf);
}

bool cnpj_valido(std::string_view d) {
    return d.size() == 14 &&
           std::all_of(d.begin(), d.end(), [](char c) { return e_digito(c) || maiuscula(c); }) &&
           !repetido(d) && digitos_certos(d, pesos_cnpj);
}

std::optional<std::string> documento_lido(std::string_view texto) {
    std::string d;
    for (const char c : texto) {
        if (c == '.' || c == '/' || c == '-' || c == ' ') continue;
        d += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (cpf_valido(d) || cnpj_valido(d)) return d;
    return std::nullopt;
}

std::string documento_formatado(std::string_view d) {
    if (d.size() == 11)
        return fmt::format("{}.{}.{}-{}", d.substr(0, 3), d.substr(3, 3), d.substr(6, 3),
                           d.substr(9, 2));
    if (d.size() == 14)
        return fmt::format("{}.{}.{}/{}-{}", d.substr(0, 2), d.substr(2, 3), d.substr(5, 3),
                           d.substr(8, 4), d.substr(12, 2));
    return std::string(d);
}

bool e_email(std::string_view s) {
    const std::size_t arroba = s.find('@');
    if (arroba == std::string_view::npos) return false;
    const std::string_view local = s.substr(0, arroba);
    std::string_view dominio = s.substr(arroba + 1);
    if (local.empty() || local.size() > 64 || local.front() == '.' || local.back() == '.' ||
        local.find("..") != local.npos || !std::all_of(local.begin(), local.end(), [](char c) {
            return letra_ou_digito(c) ||
                   std::string_view("._%+-").find(c) != std::string_view::npos;
        }))
        return false;
    std::size_t rotulos = 0;
    for (;; ++rotulos) {
        const std::size_t ponto = dominio.find('.');
        const std::string_view rotulo = dominio.substr(0, ponto);
        if (rotulo.empty() || rotulo.front() == '-' || rotulo.back() == '-' ||
            !std::all_of(rotulo.begin(), rotulo.end(),
                         [](char c) { return letra_ou_digito(c) || c == '-'; }))
            return false;
        if (ponto == dominio.npos) break;
        dominio.remove_prefix(ponto + 1);
    }
    return rotulos >= 1;
}
