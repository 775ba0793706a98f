#include "celular.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "impressao.h"

namespace {

constexpr std::array<TCelular, 12> tabela{{
    {{}, "85", 8899, 1234, "OI"},
    {{}, "85", 8888, 4321, "OI"},
    {{}, "85", 8877, 4123, "OI"},
    {{}, "85", 9956, 5678, "TIM"},
    {{}, "85", 9988, 3412, "TIM"},
    {{}, "85", 9988, 6578, "TIM"},
    {{}, "85", 8787, 6578, "VIVO"},
    {{}, "85", 8787, 1234, "VIVO"},
    {{}, "85", 8787, 5768, "VIVO"},
    {{}, "85", 9787, 5768, "CLARO"},
    {{}, "85", 9787, 7568, "CLARO"},
    {{}, "85", 9787, 5786, "CLARO"},
}};

}  // namespace

void insere_celular(TLisCel* lis, TCelular cel) {
    if (lis->nce >= capacidade_lis_cel) return;
    lis->celulares[lis->nce] = cel;
    ++lis->nce;
}

int busca_celular(TLisCel cl, int cod_cli) {
    const std::uint32_t n = std::min(cl.nce, capacidade_lis_cel);
    for (std::uint32_t i = 0; i < n; ++i)
        if (cl.celulares[i].cli.cod_cli == static_cast<std::uint32_t>(cod_cli))
            return static_cast<int>(i);
    return -1;
}

const TCelular& linha_chamada(const TLisCel* lis_cel, std::uint32_t cod) {
    // Shown for a call whose destination has no line.
    static constexpr TCelular sem_linha{{}, "00", 0, 0, ""};
    const int i = busca_celular(*lis_cel, static_cast<int>(cod));
    return i < 0 ? sem_linha : lis_cel->celulares[i];
}

void mostre_lis_cel(TLisCel lis) {
    const std::uint32_t n = std::min(lis.nce, capacidade_lis_cel);
    for (std::uint32_t i = 0; i < n; ++i) {
        const TCelular& cel = lis.celulares[i];
        imprime(FMT_COMPILE("{} {:>3} 9 {:04} {:04} {:>5}\n"), cel.cli, campo(cel.ddd), cel.prefixo,
                cel.numero, campo(cel.operadora));
    }
}

TCelular gere_celular(int ind) {
    if (ind < 0 || ind >= static_cast<int>(tabela.size())) return TCelular{};
    return tabela[static_cast<std::size_t>(ind)];
}

void mostre_cel(TCelular cel) {
    imprime(FMT_COMPILE("{} {:<5}"), cel, campo(cel.operadora));
}

int cmp_celular(const void* a, const void* b) {
    const auto* ca = static_cast<const TCelular*>(a);
    const auto* cb = static_cast<const TCelular*>(b);
    if (const int r = std::strncmp(ca->ddd, cb->ddd, sizeof ca->ddd); r != 0) return r;
    if (ca->prefixo != cb->prefixo) return ca->prefixo - cb->prefixo;
    return ca->numero - cb->numero;
}

void gere_lis_cel(const TLisCli* lc, TLisCel* lis) {
    lis->nce = 0;
    const int n =
        static_cast<int>(std::min(lc->ncl, static_cast<std::uint32_t>(linhas_da_execucao)));
    for (int i = 0; i < n; ++i) {
        TCelular cel = gere_celular(i);
        cel.cli = lc->clientes[i];
        insere_celular(lis, cel);
    }
}
