#include "hora.h"

#include <cstdlib>

#include "impressao.h"

THora gere_hora() {
    THora h{};
    h.hor = static_cast<std::int8_t>(std::rand() % 24);
    h.min = static_cast<std::int8_t>(std::rand() % 60);
    h.seg = static_cast<std::int8_t>(std::rand() % 60);
    return h;
}

void mostre_hora(THora h) {
    imprime(FMT_COMPILE("{}"), h);
}
