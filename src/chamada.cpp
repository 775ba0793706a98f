#include "chamada.h"

#include <cstdlib>

#include "saida.h"

TChamada gere_chamada() {
    const int ns = std::rand() % duracao_maxima + 1;
    const int o = std::rand() % 5 + 1;
    int d = std::rand() % 5 + 1;
    while (d == o)
        d = std::rand() % 5 + 1;

    TChamada cha{};
    cha.cod_cli_ori = static_cast<std::uint32_t>(o);
    cha.cod_cli_des = static_cast<std::uint32_t>(d);
    cha.ini = gere_data_hora();
    TDataHora di = cha.ini;
    for (int i = 0; i < ns; ++i)
        di = mais_1_seg(di);
    cha.fim = di;
    return cha;
}

namespace {

// The part both printers share: a blank, the start, a blank, the duration.
void escreve_inicio_e_duracao(Texto& t, const TChamada& cha) {
    t.c(' ');
    escreve_data_hora(t, cha.ini);
    t.c(' ').c(' ').d(num_seg(cha.ini, cha.fim), 3).s(" s");
}

}  // namespace

void mostre_chamada(TChamada cha) {
    Texto t;
    escreve_inicio_e_duracao(t, cha);
}

void escreve_chamada2(Texto& t, const TChamada& cha) {
    // The codes are shown as signed ints, like every other number of the listing.
    t.z(static_cast<std::int32_t>(cha.cod_cli_ori), 3).c(' ');
    t.z(static_cast<std::int32_t>(cha.cod_cli_des), 3).c(' ');
    escreve_inicio_e_duracao(t, cha);
}

void mostre_chamada2(TChamada cha) {
    Texto t;
    escreve_chamada2(t, cha);
}

int cmp_chamada_ori(const void* a, const void* b) {
    const auto* ca = static_cast<const TChamada*>(a);
    const auto* cb = static_cast<const TChamada*>(b);
    return static_cast<int>(ca->cod_cli_ori - cb->cod_cli_ori);
}

int cmp_chamada_ori_dat_hor(const void* a, const void* b) {
    if (const int r = cmp_chamada_ori(a, b); r != 0) return r;
    return cmp_data_hora(&static_cast<const TChamada*>(a)->ini,
                         &static_cast<const TChamada*>(b)->ini);
}
