#pragma once
// One phone call between two customers.

#include <cstdint>

#include "datahora.h"
#include "impressao.h"

struct chamada {
    std::uint32_t cod_cli_ori;  // the caller
    std::uint32_t cod_cli_des;  // the called customer
    TDataHora ini;              // start
    TDataHora fim;              // end
};
using TChamada = chamada;

// Longest call, in seconds.
inline constexpr int duracao_maxima = 600;

// A random call: duration, origin, destination (redrawn while it equals the origin), then the
// start; the end is the start stepped one second at a time.
TChamada gere_chamada();
// Start and duration, no line break.
void mostre_chamada(TChamada cha);
// Both customer codes, start and duration, no line break.
void mostre_chamada2(TChamada cha);
// qsort comparators: by caller; by caller, then start.
int cmp_chamada_ori(const void* a, const void* b);
int cmp_chamada_ori_dat_hor(const void* a, const void* b);

// A call as the call list shows it: both codes, the start and the duration counted again.
// The codes are shown as signed ints, like every other number of the listing.
template <>
struct fmt::formatter<TChamada> : SemEspecificacao {
    template <typename Contexto>
    auto format(const TChamada& c, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{:03} {:03}  {}  {:3} s"),
                              static_cast<std::int32_t>(c.cod_cli_ori),
                              static_cast<std::int32_t>(c.cod_cli_des), c.ini,
                              num_seg(c.ini, c.fim));
    }
};
