#include "chamada.h"

#include <cstdlib>
#include <limits>

#include "impressao.h"

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
    cha.fim = mais_n_seg(cha.ini, ns);
    return cha;
}

void mostre_chamada(TChamada cha) {
    imprime(FMT_COMPILE(" {}  {:3} s"), cha.ini, num_seg(cha.ini, cha.fim));
}

void mostre_chamada2(TChamada cha) {
    imprime(FMT_COMPILE("{}"), cha);
}

int cmp_chamada_ori(const void* a, const void* b) {
    const auto* ca = static_cast<const TChamada*>(a);
    const auto* cb = static_cast<const TChamada*>(b);
    // The difference, as the other comparators give it, where an int holds it; its sign otherwise.
    const std::int64_t d =
        static_cast<std::int64_t>(ca->cod_cli_ori) - static_cast<std::int64_t>(cb->cod_cli_ori);
    if (d > std::numeric_limits<int>::max()) return 1;
    if (d < std::numeric_limits<int>::min()) return -1;
    return static_cast<int>(d);
}

int cmp_chamada_ori_dat_hor(const void* a, const void* b) {
    if (const int r = cmp_chamada_ori(a, b); r != 0) return r;
    return cmp_data_hora(&static_cast<const TChamada*>(a)->ini,
                         &static_cast<const TChamada*>(b)->ini);
}
