#include "dinheiro.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>

std::string dinheiro(double valor, char decimal) {
    std::string s = fmt::format(FMT_COMPILE("{:.2f}"), valor);
    std::replace(s.begin(), s.end(), '.', decimal);
    return s;
}

std::string no_papel(std::string_view valor) {
    const std::size_t sinal = valor.starts_with('-') ? 1 : 0;
    const std::size_t fim = std::min(valor.find_first_of(".,"), valor.size());
    std::string s(valor.substr(0, sinal));
    for (std::size_t i = sinal; i < fim; ++i) {
        if (i > sinal && (fim - i) % 3 == 0) s += '.';
        s += valor[i];
    }
    s += valor.substr(fim);
    return s;
}
