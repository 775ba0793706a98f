#include "tarifas.h"

float Tarifa::reais(std::int64_t ns) const {
    const std::int64_t s = regras.segundos_cobrados(ns);
    if (s == 0) return 0.0F;
    const auto por_segundo = static_cast<double>(static_cast<float>(preco) / 600000.0F);
    const double minimo = regras.minimo * por_segundo;
    return static_cast<float>(minimo + static_cast<double>(s - regras.minimo) * por_segundo);
}
