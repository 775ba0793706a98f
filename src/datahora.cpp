#include "datahora.h"

#include <limits>

#include "saida.h"

TDataHora gere_data_hora() {
    TDataHora dh{};
    dh.dat = gere_data();
    dh.hor = gere_hora();
    return dh;
}

TDataHora mais_1_seg(TDataHora dh) {
    // Each field is incremented only when the one below it has just wrapped; the month's
    // length is looked up only when a day ends, for the year being stepped.
    if (const int seg = dh.hor.seg + 1; seg <= 59) {
        dh.hor.seg = static_cast<std::int8_t>(seg);
        return dh;
    }
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

void escreve_data_hora(Texto& t, TDataHora dh) {
    escreve_data(t, dh.dat);
    t.c(' ');
    escreve_hora(t, dh.hor);
}

void mostre_data_hora(TDataHora dh) {
    Texto t;
    escreve_data_hora(t, dh);
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
    // Steps while dha is earlier than dhb. A step changes the fields above the second only when
    // the second wraps to 0, so only then is their comparison made again.
    std::int32_t n = 0;
    int acima = compara_ate_minuto(dha, dhb);
    while (acima < 0 || (acima == 0 && dha.hor.seg < dhb.hor.seg)) {
        if (n == std::numeric_limits<std::int32_t>::max()) break;
        ++n;
        dha = mais_1_seg(dha);
        if (dha.hor.seg == 0) acima = compara_ate_minuto(dha, dhb);
    }
    return n;
}
