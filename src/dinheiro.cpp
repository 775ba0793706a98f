#include "dinheiro.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>

std::string dinheiro(double valor, char decimal) {
    std::string s = fmt::format(FMT_COMPILE("{:.2f}"), valor);
    std::replace(s.begin(), s.end(), '.', decimal);
    return s;
}
