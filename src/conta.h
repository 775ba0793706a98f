#pragma once
// The monthly bills: one per calling customer and month of the sorted call list.

#include <cstdint>

#include "celular.h"
#include "cliente.h"
#include "lista_chamadas.h"

// Charge of a call of `ns` seconds: free up to 3 s, the 30-second minimum up to 30 s, then
// whole blocks of 6 s; a part block is free.
float tarifa_chamada(std::int32_t ns);
// Prints the bills of `li_ch`, which must be sorted by caller and start. A customer or line that
// cannot be found is shown blank rather than read from outside the lists.
void mostre_contas(const TLisCli* lis_cli, const TLisCel* lis_cel, const TLisCha* li_ch);
