#include "hora.h"

#include <cstdlib>

#include "saida.h"

THora gere_hora() {
    THora h{};
    h.hor = static_cast<std::int8_t>(std::rand() % 24);
    h.min = static_cast<std::int8_t>(std::rand() % 60);
    h.seg = static_cast<std::int8_t>(std::rand() % 60);
    return h;
}

void escreve_hora(Texto& t, THora h) {
    t.z(h.hor, 2).c(':').z(h.min, 2).c(':').z(h.seg, 2);
}

void mostre_hora(THora h) {
    Texto t;
    escreve_hora(t, h);
}
