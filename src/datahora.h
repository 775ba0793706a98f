#pragma once
// Date and time of day together: the start and end of a call.

#include <cstdint>

#include "data.h"
#include "hora.h"
#include "impressao.h"

struct data_hora {
    TData dat;
    THora hor;
};
using TDataHora = data_hora;

// A random date-time: date (month, day), then time (hour, minute, second).
TDataHora gere_data_hora();
// The step of mais_1_seg from a second of 59 or more: the second wraps to 0 and carries into the
// minute, the hour and the calendar.
TDataHora mais_1_seg_virando_minuto(TDataHora dh);
// The date-time one second after `dh`, carrying through the calendar. The common step is here,
// where loops that step one second at a time can keep it in line.
inline TDataHora mais_1_seg(TDataHora dh) {
    if (dh.hor.seg < 59) {
        ++dh.hor.seg;
        return dh;
    }
    return mais_1_seg_virando_minuto(dh);
}
// `dh` stepped `n` times by mais_1_seg: the seconds within a minute at once, each wrap as one
// step; nothing for an `n` of 0 or less.
TDataHora mais_n_seg(TDataHora dh, std::int32_t n);
// dd/mm/yyyy hh:mm:ss, no line break.
void mostre_data_hora(TDataHora dh);
// qsort comparator: the difference of the first differing field, from the year to the second.
int cmp_data_hora(const void* a, const void* b);
// Seconds from `dha` to `dhb`, counted one step of mais_1_seg at a time; 0 when `dha` is not
// earlier. The count stops at the largest int32 value rather than overflow.
std::int32_t num_seg(TDataHora dha, TDataHora dhb);

// "dd/mm/yyyy hh:mm:ss".
template <>
struct fmt::formatter<TDataHora> : SemEspecificacao {
    template <typename Contexto>
    auto format(TDataHora dh, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{} {}"), dh.dat, dh.hor);
    }
};
