#pragma once
// The price of a call: the rules that turn its seconds into billed seconds, and the price list
// that turns those into money. A billing is given its price list as a value; the simulated run's
// tariff is the default one, and an operator's own list (tarifas_toml.h) takes its place.

#include <cstdint>

// The rating rules: how many of a call's seconds are billed.
struct RegrasTarifa {
    std::int32_t gratis = 3;           // a call this short or shorter costs nothing
    std::int32_t minimo = 30;          // seconds billed at least, above `gratis`
    std::int32_t incremento = 6;       // then blocks of this many seconds
    bool cobra_bloco_parcial = false;  // a part block at the end is billed whole, or not at all
    std::int32_t sucessivas = 0;       // seconds that join a call to the one before; 0: none

    // The billed seconds of a call of `n` seconds.
    [[nodiscard]] std::int64_t segundos_cobrados(std::int64_t n) const {
        if (n <= gratis) return 0;
        if (n <= minimo) return minimo;
        const std::int64_t resto = n - minimo;
        std::int64_t blocos = resto / incremento;
        if (cobra_bloco_parcial && resto % incremento != 0) ++blocos;
        return minimo + blocos * incremento;
    }
};

// A price per minute in ten-thousandths of a real (R$ 0,0001): R$ 0,60 is 6000.
using Preco = std::int64_t;

// The charge in centavos of `s` billed seconds at `preco` a minute, rounded half up.
constexpr std::int64_t centavos_de(Preco preco, std::int64_t s) {
    return (preco * s + 3000) / 6000;
}

// The price list of a billing.
struct Tarifa {
    RegrasTarifa regras;
    Preco preco = 6000;  // of every call

    // The charge of a call of `ns` seconds, in centavos.
    [[nodiscard]] std::int64_t centavos(std::int64_t ns) const {
        return centavos_de(preco, regras.segundos_cobrados(ns));
    }
    // The same charge in the simulated run's arithmetic: the price per second in float, the
    // minimum and the blocks multiplied and added in double, the result stored as float.
    [[nodiscard]] float reais(std::int64_t ns) const;
};

// The simulated run's tariff: R$ 0,01 a second, 3 s free, 30 s at least, then blocks of 6 s with
// a part block free.
inline constexpr Tarifa tarifa_da_execucao{};
