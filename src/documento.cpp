#include "documento.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

namespace {

constexpr bool digito(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool maiuscula(char c) {
    return c >= 'A' && c <= 'Z';
}

constexpr bool letra_ou_digito(char c) {
    return digito(c) || (c >= 'a' && c <= 'z') || maiuscula(c);
}

bool repetido(std::string_view s) {
    return std::ranges::all_of(s, [&](char c) { return c == s[0]; });
}

// Check digit of `d` weighed by `pesos`, the last weight on the last character; a character
// counts as its code less 48, so a digit is its value and 'A' is 17.
int digito_verificador(std::string_view d, std::span<const int> pesos) {
    int soma = 0;
    for (std::size_t i = 0; i < d.size(); ++i)
        soma += (d[i] - '0') * pesos[pesos.size() - d.size() + i];
    const int resto = soma % 11;
    return resto < 2 ? 0 : 11 - resto;
}

bool digitos_certos(std::string_view s, std::span<const int> pesos) {
    const std::size_t n = s.size();
    return digito_verificador(s.substr(0, n - 2), pesos) == s[n - 2] - '0' &&
           digito_verificador(s.substr(0, n - 1), pesos) == s[n - 1] - '0';
}

constexpr std::array<int, 10> pesos_cpf{11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
constexpr std::array<int, 13> pesos_cnpj{6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};

}  // namespace

bool cpf_valido(std::string_view s) {
    return s.size() == 11 && std::ranges::all_of(s, digito) && !repetido(s) &&
           digitos_certos(s, pesos_cpf);
}

bool cnpj_valido(std::string_view s) {
    return s.size() == 14 &&
           std::ranges::all_of(s.substr(0, 12), [](char c) { return digito(c) || maiuscula(c); }) &&
           digito(s[12]) && digito(s[13]) && !repetido(s) && digitos_certos(s, pesos_cnpj);
}

Erro prepara_documento(std::string& documento) {
    std::string s;
    for (const char c : documento) {
        if (c == '.' || c == '/' || c == '-' || c == ' ') continue;
        s += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const bool cpf = s.size() == 11 && std::ranges::all_of(s, digito);
    if (cpf ? cpf_valido(s) : cnpj_valido(s)) {
        documento = s;
        return {};
    }
    const bool cnpj = s.size() == 14 && std::ranges::all_of(s, letra_ou_digito);
    const std::string qual = cpf ? "CPF" : cnpj ? "CNPJ" : "";
    return {
        .tipo = TipoErro::dados,
        .detalhe = qual.empty()
                       ? "documento invalido (um CPF de 11 digitos ou um CNPJ de 14): " + documento
                       : "documento: " + qual + " " + documento +
                             (repetido(s) ? " invalido" : " com digitos verificadores errados")};
}

std::string cnpj_formatado(std::string_view d) {
    if (d.size() != 14) return std::string(d);
    return std::string(d.substr(0, 2)) + "." + std::string(d.substr(2, 3)) + "." +
           std::string(d.substr(5, 3)) + "/" + std::string(d.substr(8, 4)) + "-" +
           std::string(d.substr(12, 2));
}

std::string documento_formatado(std::string_view d) {
    if (d.size() != 11) return cnpj_formatado(d);
    return std::string(d.substr(0, 3)) + "." + std::string(d.substr(3, 3)) + "." +
           std::string(d.substr(6, 3)) + "-" + std::string(d.substr(9, 2));
}

bool e_email(std::string_view s) {
    const std::size_t arroba = s.find('@');
    if (arroba == std::string_view::npos) return false;
    const std::string_view local = s.substr(0, arroba);
    std::string_view dominio = s.substr(arroba + 1);
    if (local.empty() || local.size() > 64 || local.front() == '.' || local.back() == '.' ||
        local.find("..") != local.npos || !std::ranges::all_of(local, [](char c) {
            return letra_ou_digito(c) ||
                   std::string_view("._%+-").find(c) != std::string_view::npos;
        }))
        return false;
    std::size_t rotulos = 0;
    for (;; ++rotulos) {
        const std::size_t ponto = dominio.find('.');
        const std::string_view rotulo = dominio.substr(0, ponto);
        if (rotulo.empty() || rotulo.front() == '-' || rotulo.back() == '-' ||
            !std::ranges::all_of(rotulo, [](char c) { return letra_ou_digito(c) || c == '-'; }))
            return false;
        if (ponto == dominio.npos) break;
        dominio.remove_prefix(ponto + 1);
    }
    return rotulos >= 1;
}
