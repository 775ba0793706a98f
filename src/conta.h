#pragma once
// The monthly bills: one per calling customer and month of the sorted call list.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "celular.h"
#include "cliente.h"
#include "lista_chamadas.h"

// The customer a bill is addressed to: a blank record when there is none, rather than one read
// from outside the list.
const TCliente& cliente_da_conta(const TLisCli* lis_cli, std::uint32_t cod);

// One call of a bill: its seconds, counted again from start and end, and its charge.
struct ParcelaConta {
    std::int32_t ns;
    float tarifa;
};

// A bill's totals, added up one call at a time in list order: the seconds in 64 bits, the
// charges in float, as the bill prints them.
struct SomaConta {
    std::int32_t chamadas = 0;
    std::int64_t tempo_total = 0;
    float tarifa_total = 0.0F;
    TData vencimento{};
    ParcelaConta soma(const TChamada& cha);
};

// One bill of a sorted call list: the calls from `inicio` to one before `fim`, all of one caller
// and start month (chave_mes), and their totals.
struct Conta {
    std::int32_t inicio;
    std::int32_t fim;
    std::uint32_t cod_cli;
    std::int8_t mes;
    std::int16_t ano;
    SomaConta soma;
};

// The bill that starts at call `inicio` (within the list's count) of a sorted list; each of its
// calls' part goes to parcelas[k - inicio].
Conta conta_em(const TLisCha* li_ch, std::int32_t inicio,
               std::span<ParcelaConta, capacidade_lis_cha> parcelas);

// Calls f(conta, parcelas) for every bill of a sorted list, in list order: each call is counted
// and charged once, and parcelas[k] belongs to call conta.inicio + k.
template <typename F>
void para_cada_conta(const TLisCha* li_ch, F&& f) {
    std::array<ParcelaConta, capacidade_lis_cha> parcelas;
    const std::int32_t num_cha = std::clamp(li_ch->num_cha, 0, capacidade_lis_cha);
    for (std::int32_t i = 0; i < num_cha;) {
        const Conta conta = conta_em(li_ch, i, parcelas);
        f(conta, std::span<const ParcelaConta>(parcelas).first(
                     static_cast<std::size_t>(conta.fim - conta.inicio)));
        i = conta.fim;
    }
}

// Prints the bills of `li_ch`, which must be sorted by caller and start. A customer or line that
// cannot be found is shown blank rather than read from outside the lists.
void mostre_contas(const TLisCli* lis_cli, const TLisCel* lis_cel, const TLisCha* li_ch);
