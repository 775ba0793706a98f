#include "execucao.h"

#include <cstdio>
#include <cstdlib>

#include "conta.h"

namespace {

constexpr std::int32_t chamadas_por_execucao = 200;

}  // namespace

Erro prepara_execucao(const char* arquivo, Execucao* e) {
    if (Erro erro = le_lis_cli_de(arquivo, &e->lis_cli); !erro.ok()) return erro;
    if (Erro erro = confere_cadastro(&e->lis_cli); !erro.ok()) {
        erro.arquivo = arquivo;
        return erro;
    }

    gere_lis_cel(&e->lis_cli, &e->lis_cel);

    e->li_ch.num_cha = 0;
    gere_lis_cha(&e->li_ch, chamadas_por_execucao);
    std::qsort(e->li_ch.chamadas, static_cast<std::size_t>(e->li_ch.num_cha), sizeof(TChamada),
               cmp_chamada_ori_dat_hor);
    return {};
}

Erro executa(const char* arquivo) {
    Execucao e;
    if (Erro erro = prepara_execucao(arquivo, &e); !erro.ok()) return erro;
    mostre_lis_cha(&e.li_ch);

    std::fputs("\n\n", stdout);
    // The operator sees the whole list before the wait, even through a pipe.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return {};
    static_cast<void>(std::getchar());

    mostre_contas(&e.lis_cli, &e.lis_cel, &e.li_ch);
    return {};
}
