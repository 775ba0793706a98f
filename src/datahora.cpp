#include "datahora.h"

#include <algorithm>
#include <limits>

#include "impressao.h"

TDataHora gere_data_hora() {
    TDataHora dh{};
    dh.dat = gere_data();
    dh.hor = gere_hora();
    return dh;
}

TDataHora mais_1_seg_virando_minuto(TDataHora dh) {
    // Each field is incremented only when the one below it has just wrapped; the month's
    // length is looked up only when a day ends, for the year being stepped.
    dh.hor.seg = 0;
    if (const int min = dh.hor.min + 1; min <= 59) {
        dh.hor.min = static_cast<std::int8_t>(min);
        return dh;
    }
    dh.hor.min = 0;
    if (const int hor = dh.hor.hor + 1; hor <= 23) {
        dh.hor.hor = static_cast<std::int8_t>(hor);
        return dh;
    }
    dh.hor.hor = 0;
    passa_um_dia_ref(&dh.dat);
    return dh;
}

TDataHora mais_n_seg(TDataHora dh, std::int32_t n) {
    while (n > 0) {
        if (dh.hor.seg < 59) {
            // Up to 59 by single steps, a second below 0 included.
            const std::int32_t k = std::min(n, 59 - std::int32_t{dh.hor.seg});
            dh.hor.seg = static_cast<std::int8_t>(dh.hor.seg + k);
            n -= k;
        } else {
            dh = mais_1_seg_virando_minuto(dh);
            --n;
        }
    }
    return dh;
}

void mostre_data_hora(TDataHora dh) {
    imprime(FMT_COMPILE("{}"), dh);
}

namespace {

// The fields above the second, in order of weight.
int compara_ate_minuto(const TDataHora& a, const TDataHora& b) {
    if (a.dat.ano != b.dat.ano) return a.dat.ano - b.dat.ano;
    if (a.dat.mes != b.dat.mes) return a.dat.mes - b.dat.mes;
    if (a.dat.dia != b.dat.dia) return a.dat.dia - b.dat.dia;
    if (a.hor.hor != b.hor.hor) return a.hor.hor - b.hor.hor;
    return a.hor.min - b.hor.min;
}

}  // namespace

int cmp_data_hora(const void* a, const void* b) {
    const auto& dha = *static_cast<const TDataHora*>(a);
    const auto& dhb = *static_cast<const TDataHora*>(b);
    if (const int r = compara_ate_minuto(dha, dhb); r != 0) return r;
    return dha.hor.seg - dhb.hor.seg;
}

std::int32_t num_seg(TDataHora dha, TDataHora dhb) {
    // Steps dha while it is earlier than dhb, as mais_1_seg steps it. The fields above the second
    // change only when the second wraps to 0, so they are compared again only then: within a
    // minute the seconds run up to dhb's second in dhb's own minute, else up to the wrap, and
    // are counted at once. Counting goes on in 64 bits for the rest of a minute and stops at the
    // largest int32 value.
    constexpr std::int64_t teto = std::numeric_limits<std::int32_t>::max();
    std::int64_t n = 0;
    for (int acima = compara_ate_minuto(dha, dhb); n < teto; acima = compara_ate_minuto(dha, dhb)) {
        const int s = dha.hor.seg;
        if (acima > 0 || (acima == 0 && s >= dhb.hor.seg)) break;
        if (acima == 0 && dhb.hor.seg <= 59) {
            // dhb's second, in this minute: no wrap on the way.
            n += dhb.hor.seg - s;
            break;
        }
        if (s < 0) {
            // A second below 0 reaches 0 by single steps, in the same minute.
            n -= s;
            dha.hor.seg = 0;
            continue;
        }
        // Up to 59, then the wrap into the next minute.
        n += s < 59 ? 60 - s : 1;
        dha = mais_1_seg_virando_minuto(dha);
    }
    return static_cast<std::int32_t>(std::min(n, teto));
}
