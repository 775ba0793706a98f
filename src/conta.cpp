#include "conta.h"

#include <algorithm>
#include <string_view>

#include "formato.h"

namespace {

constexpr std::int32_t ttm = 30;  // minimum charged time, in seconds
constexpr float tps = 0.01F;      // price per second

constexpr char nome_mes[13][20] = {"",        "Janeiro",  "Fevereiro", "Mar\x87o", "Abril",
                                   "Maio",    "Junho",    "Julho",     "Agosto",   "Setembro",
                                   "Outubro", "Novembro", "Dezembro"};

constexpr char regua[] = "-------------------------------------------------";

// Shown for a call whose destination has no line.
constexpr TCelular sem_linha{{}, "00", 0, 0, ""};
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

float tarifa_chamada(std::int32_t ns) {
    if (ns <= 3) return 0.0F;
    const double minimo = ttm * static_cast<double>(tps);
    if (ns <= ttm) return static_cast<float>(minimo);
    const double blocos = ((ns - ttm) / 6) * 6;
    return static_cast<float>(minimo + blocos * static_cast<double>(tps));
}

TData vencimento_de(TData dat) {
    TData v = dat;
    v.dia = 10;
    if (dat.mes + 1 > 12) {
        v.mes = 1;
        v.ano = static_cast<std::int16_t>(dat.ano + 1);
    } else {
        v.mes = static_cast<std::int8_t>(dat.mes + 1);
    }
    return v;
}

std::int32_t fim_da_conta(const TLisCha* li_ch, std::int32_t i) {
    const std::int32_t num_cha = std::clamp(li_ch->num_cha, 0, capacidade_lis_cha);
    const TChamada& primeira = li_ch->chamadas[i];
    std::int32_t j = i + 1;
    while (j < num_cha && li_ch->chamadas[j].cod_cli_ori == primeira.cod_cli_ori &&
           li_ch->chamadas[j].ini.dat.mes == primeira.ini.dat.mes)
        ++j;
    return j;
}

const TCliente& cliente_da_conta(const TLisCli* lis_cli, std::uint32_t cod) {
    const int i = busca_cliente(lis_cli, static_cast<int>(cod));
    return i < 0 ? sem_cliente : lis_cli->clientes[i];
}

const TCelular& linha_chamada(const TLisCel* lis_cel, std::uint32_t cod) {
    const int i = busca_celular(*lis_cel, static_cast<int>(cod));
    return i < 0 ? sem_linha : lis_cel->celulares[i];
}

SomaConta::Parcela SomaConta::soma(const TChamada& cha) {
    const std::int32_t ns = num_seg(cha.ini, cha.fim);
    const float tarifa = tarifa_chamada(ns);
    ++chamadas;
    tempo_total += ns;
    tarifa_total += tarifa;
    vencimento = vencimento_de(cha.ini.dat);
    return {ns, tarifa};
}

void mostre_contas(const TLisCli* lis_cli, const TLisCel* lis_cel, const TLisCha* li_ch) {
    const std::int32_t num_cha = std::clamp(li_ch->num_cha, 0, capacidade_lis_cha);
    for (std::int32_t i = 0, fim = 0; i < num_cha; i = fim) {
        fim = fim_da_conta(li_ch, i);
        const TChamada& primeira = li_ch->chamadas[i];
        mostre_cabecalho(primeira.ini.dat.mes, primeira.ini.dat.ano,
                         cliente_da_conta(lis_cli, primeira.cod_cli_ori));
        SomaConta soma;
        for (std::int32_t k = i; k < fim; ++k) {
            const TChamada& cha = li_ch->chamadas[k];
            const auto [ns, tarifa] = soma.soma(cha);
            mostre_linha(cha, linha_chamada(lis_cel, cha.cod_cli_des), ns, tarifa);
        }
        mostre_rodape(soma.tempo_total, soma.tarifa_total, soma.vencimento);
    }
}
