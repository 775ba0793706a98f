#include "conta.h"

#include <algorithm>
#include <string_view>

#include "impressao.h"
#include "tarifas.h"

namespace {

constexpr char nome_mes[13][20] = {"",        "Janeiro",  "Fevereiro", "Mar\x87o", "Abril",
                                   "Maio",    "Junho",    "Julho",     "Agosto",   "Setembro",
                                   "Outubro", "Novembro", "Dezembro"};

constexpr char regua[] = "-------------------------------------------------";

// Shown for a bill whose caller is not in the register.
constexpr TCliente sem_cliente{};

void mostre_cabecalho(std::int8_t mes, std::int16_t ano, const TCliente& cli) {
    const Campo nome = (mes >= 0 && mes <= 12) ? campo(nome_mes[mes]) : Campo{};
    imprime(FMT_COMPILE("\n"
                        "{0}\n"
                        "CONTA DE TELEFONIA CELULAR{1:>15} de {2}\n"
                        "{0}\n"
                        "Cliente:  {3}\n"
                        "Endere\x87o: {4}\n"
                        "{0}\n"),
            campo(regua), nome, ano, campo(cli.nome), campo(cli.endereco));
}

void mostre_linha(const TChamada& cha, const TCelular& cel, std::int32_t ns, float tarifa) {
    imprime(FMT_COMPILE("{} {}  {:4} {:6.2f}\n"), cel, cha.ini, ns, tarifa);
}

void mostre_rodape(std::int64_t tempo_total, float tarifa_total, TData vencimento) {
    imprime(FMT_COMPILE("                                      ---- ------\n"
                        "                                      {0:4} {1:6.2f}\n"
                        "{2}\n"
                        "Vencimento:{3}     Valor a pagar: R$ {1:5.2f}\n"
                        "{2}\n\n"),
            tempo_total, tarifa_total, campo(regua), vencimento);
}

}  // namespace

const TCliente& cliente_da_conta(const TLisCli* lis_cli, std::uint32_t cod) {
    const int i = busca_cliente(lis_cli, static_cast<int>(cod));
    return i < 0 ? sem_cliente : lis_cli->clientes[i];
}

ParcelaConta SomaConta::soma(const TChamada& cha) {
    const std::int32_t ns = num_seg(cha.ini, cha.fim);
    const float tarifa = tarifa_da_execucao.reais(ns);
    ++chamadas;
    tempo_total += ns;
    tarifa_total += tarifa;
    vencimento = vencimento_de(cha.ini.dat);
    return {ns, tarifa};
}

Conta conta_em(const TLisCha* li_ch, std::int32_t inicio,
               std::span<ParcelaConta, capacidade_lis_cha> parcelas) {
    const std::int32_t num_cha = std::clamp(li_ch->num_cha, 0, capacidade_lis_cha);
    const TChamada& primeira = li_ch->chamadas[inicio];
    Conta conta{inicio, inicio, primeira.cod_cli_ori, primeira.ini.dat.mes, primeira.ini.dat.ano,
                {}};
    while (conta.fim < num_cha && li_ch->chamadas[conta.fim].cod_cli_ori == conta.cod_cli &&
           chave_mes(li_ch->chamadas[conta.fim].ini.dat) == chave_mes(primeira.ini.dat)) {
        parcelas[static_cast<std::size_t>(conta.fim - inicio)] =
            conta.soma.soma(li_ch->chamadas[conta.fim]);
        ++conta.fim;
    }
    return conta;
}

void mostre_contas(const TLisCli* lis_cli, const TLisCel* lis_cel, const TLisCha* li_ch) {
    para_cada_conta(li_ch, [&](const Conta& conta, std::span<const ParcelaConta> parcelas) {
        mostre_cabecalho(conta.mes, conta.ano, cliente_da_conta(lis_cli, conta.cod_cli));
        for (std::size_t k = 0; k < parcelas.size(); ++k) {
            const TChamada& cha = li_ch->chamadas[conta.inicio + static_cast<std::int32_t>(k)];
            mostre_linha(cha, linha_chamada(lis_cel, cha.cod_cli_des), parcelas[k].ns,
                         parcelas[k].tarifa);
        }
        mostre_rodape(conta.soma.tempo_total, conta.soma.tarifa_total, conta.soma.vencimento);
    });
}
