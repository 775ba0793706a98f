#pragma once
// The call list: a count and a fixed array of calls.

#include <cstdint>

#include "chamada.h"

inline constexpr std::int32_t capacidade_lis_cha = 1500;

struct lis_cha {
    std::int32_t num_cha;
    TChamada chamadas[capacidade_lis_cha];
};
using TLisCha = lis_cha;

// Appends `cha`; a full list (or one whose count is out of range) refuses it and stays as it is.
void insere_chamada(TLisCha* lis, TChamada cha);
// Appends `qc` random calls after whatever the list holds.
void gere_lis_cha(TLisCha* lis, std::int32_t qc);
// One line per call, with both codes.
void mostre_lis_cha(TLisCha* la);
