#include "lista_chamadas.h"

#include "impressao.h"

void insere_chamada(TLisCha* lis, TChamada cha) {
    if (lis->num_cha < 0 || lis->num_cha >= capacidade_lis_cha) return;
    lis->chamadas[lis->num_cha] = cha;
    ++lis->num_cha;
}

void gere_lis_cha(TLisCha* lis, std::int32_t qc) {
    for (std::int32_t i = 0; i < qc; ++i)
        insere_chamada(lis, gere_chamada());
}

void mostre_lis_cha(TLisCha* la) {
    for (std::int32_t i = 0; i < la->num_cha && i < capacidade_lis_cha; ++i)
        imprime(FMT_COMPILE("{}\n"), la->chamadas[i]);
}
