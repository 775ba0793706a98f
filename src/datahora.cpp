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
    // Steps dha one second at a time while it is earlier than dhb. The fields above the second
    // change only when the second wraps to 0, so they are compared again only then: within a
    // minute the stepping runs up to dhb's second in dhb's own minute, else up to the wrap.
    // Counting goes on in 64 bits for the rest of a minute and stops at the largest int32 value.
    constexpr std::int64_t teto = std::numeric_limits<std::int32_t>::max();
    std::int64_t n = 0;
    for (int acima = compara_ate_minuto(dha, dhb); n < teto; acima = compara_ate_minuto(dha, dhb)) {
        if (acima > 0 || (acima == 0 && dha.hor.seg >= dhb.hor.seg)) break;
        const std::int8_t ate = (acima == 0 && dhb.hor.seg <= 59) ? dhb.hor.seg : 0;
        do {
            dha = mais_1_seg(dha);
            ++n;
        } while (dha.hor.seg != ate);
    }
    return static_cast<std::int32_t>(std::min(n, teto));
}
