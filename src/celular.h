#pragma once
// Mobile lines, each owned by a customer, and the run's line list.

#include <cstdint>

#include "cliente.h"
#include "impressao.h"

struct celular {
    TCliente cli;          // a copy of the owner
    char ddd[3];           // area code, two digits
    std::int16_t prefixo;  // the four digits after the leading 9
    std::int16_t numero;   // the last four digits
    char operadora[6];     // carrier
};
using TCelular = celular;

inline constexpr std::uint32_t capacidade_lis_cel = 20;

struct lis_cel {
    std::uint32_t nce;
    TCelular celulares[capacidade_lis_cel];
};
using TLisCel = lis_cel;

// Lines the run hands out.
inline constexpr int linhas_da_execucao = 5;

// Appends a copy of `cel`; a full list refuses it and stays as it is.
void insere_celular(TLisCel* lis, TCelular cel);
// Lowest position whose owner's code is `cod_cli`, or -1.
int busca_celular(TLisCel cl, int cod_cli);
// The line of the customer `cod` a call is shown with: a blank line when there is none, rather
// than one read from outside the list.
const TCelular& linha_chamada(const TLisCel* lis_cel, std::uint32_t cod);
// Each line with its owner, one per line.
void mostre_lis_cel(TLisCel lis);
// Entry `ind` (0 to 11) of the phone table, with no owner; outside the table, an empty line.
TCelular gere_celular(int ind);
// "(85) 9 8899-1234 OI   ", no line break.
void mostre_cel(TCelular cel);
// qsort comparator: area code, then prefix, then number.
int cmp_celular(const void* a, const void* b);
// Empties `lis` and gives table entry k to the customer at position k, for the first five
// customers (fewer when the list holds fewer).
void gere_lis_cel(const TLisCli* lc, TLisCel* lis);

// A line's number as bills show it: "(85) 9 8877-4123".
template <>
struct fmt::formatter<TCelular> : SemEspecificacao {
    template <typename Contexto>
    auto format(const TCelular& c, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("({}) 9 {:04}-{:04}"), campo(c.ddd), c.prefixo,
                              c.numero);
    }
};
