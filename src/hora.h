#pragma once
// Time of day.

#include <cstdint>

#include "impressao.h"

struct hora {
    std::int8_t hor;  // 0 to 23
    std::int8_t min;  // 0 to 59
    std::int8_t seg;  // 0 to 59
};
using THora = hora;

// A random time of day: hour, minute and second, drawn in that order.
THora gere_hora();
// hh:mm:ss, no line break.
void mostre_hora(THora h);

// hh:mm:ss.
template <>
struct fmt::formatter<THora> : SemEspecificacao {
    template <typename Contexto>
    auto format(THora h, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{}:{}:{}"), DoisDigitos{h.hor},
                              DoisDigitos{h.min}, DoisDigitos{h.seg});
    }
};
