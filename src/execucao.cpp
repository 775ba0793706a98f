#include "execucao.h"

#include <cstdio>
#include <cstdlib>

#include "celular.h"
#include "conta.h"
#include "lista_chamadas.h"

namespace {

constexpr std::int32_t chamadas_por_execucao = 200;

// Every list of the run, for the whole run.
struct Listas {
    TLisCli lis_cli;
    TLisCel lis_cel;
    TLisCha li_ch;
};

}  // namespace

StatusCli executa(const char* arquivo) {
    Listas l;

    if (const StatusCli st = le_lis_cli_de(arquivo, &l.lis_cli); !st.ok()) return st;
    if (const StatusCli st = confere_cadastro(&l.lis_cli); !st.ok()) return st;

    gere_lis_cel(&l.lis_cli, &l.lis_cel);

    l.li_ch.num_cha = 0;
    gere_lis_cha(&l.li_ch, chamadas_por_execucao);
    std::qsort(l.li_ch.chamadas, static_cast<std::size_t>(l.li_ch.num_cha), sizeof(TChamada),
               cmp_chamada_ori_dat_hor);
    mostre_lis_cha(&l.li_ch);

    std::fputs("\n\n", stdout);
    // The operator sees the whole list before the wait, even through a pipe.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return {};
    static_cast<void>(std::getchar());

    mostre_contas(&l.lis_cli, &l.lis_cel, &l.li_ch);
    return {};
}
