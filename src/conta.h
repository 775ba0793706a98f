#pragma once
// The monthly bills: one per calling customer and month of the sorted call list.

#include <cstdint>

#include "celular.h"
#include "cliente.h"
#include "lista_chamadas.h"

// Charge of a call of `ns` seconds: free up to 3 s, the 30-second minimum up to 30 s, then
// whole blocks of 6 s; a part block is free.
float tarifa_chamada(std::int32_t ns);
// The 10th of the month after the one `dat` falls in: a bill's due date, from its last call.
TData vencimento_de(TData dat);
// The end (one past the last call) of the bill that starts at call `i` of a sorted list: the
// bill holds the calls that follow with the same caller and start month.
std::int32_t fim_da_conta(const TLisCha* li_ch, std::int32_t i);
// The customer a bill is addressed to, and the line a call is shown with: a blank record when
// there is none, rather than one read from outside the lists.
const TCliente& cliente_da_conta(const TLisCli* lis_cli, std::uint32_t cod);
const TCelular& linha_chamada(const TLisCel* lis_cel, std::uint32_t cod);

// A bill's totals, added up one call at a time in list order: the seconds in 64 bits, the
// charges in float, as the bill prints them.
struct SomaConta {
    std::int32_t chamadas = 0;
    std::int64_t tempo_total = 0;
    float tarifa_total = 0.0F;
    TData vencimento{};
    // What one call adds: its seconds, counted again from start and end, and its charge.
    struct Parcela {
        std::int32_t ns;
        float tarifa;
    };
    Parcela soma(const TChamada& cha);
};

// Prints the bills of `li_ch`, which must be sorted by caller and start. A customer or line that
// cannot be found is shown blank rather than read from outside the lists.
void mostre_contas(const TLisCli* lis_cli, const TLisCel* lis_cel, const TLisCha* li_ch);
