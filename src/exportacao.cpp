#include "exportacao.h"

#include <string>

#include "conta.h"
#include "csv_clientes.h"
#include "impressao.h"

namespace {

std::string data_iso(TData d) {
    return fmt::format(FMT_COMPILE("{:04}-{:02}-{:02}"), d.ano, d.mes, d.dia);
}

std::string data_hora_iso(TDataHora dh) {
    return fmt::format(FMT_COMPILE("{} {:02}:{:02}:{:02}"), data_iso(dh.dat), dh.hor.hor,
                       dh.hor.min, dh.hor.seg);
}

void escreve(std::FILE* saida, const std::string& linha) {
    std::fwrite(linha.data(), 1, linha.size(), saida);
}

}  // namespace

void exporta_chamadas(const Execucao& e, std::FILE* saida) {
    escreve(saida, "origem,destino,telefone_destino,inicio,fim,duracao,valor\n");
    for (std::int32_t i = 0; i < e.li_ch.num_cha; ++i) {
        const TChamada& cha = e.li_ch.chamadas[i];
        const std::int32_t ns = num_seg(cha.ini, cha.fim);
        escreve(saida, fmt::format(FMT_COMPILE("{},{},{},{},{},{},{:.2f}\n"), cha.cod_cli_ori,
                                   cha.cod_cli_des, linha_chamada(&e.lis_cel, cha.cod_cli_des),
                                   data_hora_iso(cha.ini), data_hora_iso(cha.fim), ns,
                                   tarifa_chamada(ns)));
    }
}

void exporta_contas(const Execucao& e, std::FILE* saida) {
    escreve(saida, "cliente,nome,endereco,mes,ano,chamadas,duracao_total,valor_total,vencimento\n");
    para_cada_conta(&e.li_ch, [&](const Conta& conta, std::span<const ParcelaConta>) {
        const TCliente& cli = cliente_da_conta(&e.lis_cli, conta.cod_cli);
        std::string linha = std::to_string(conta.cod_cli) + ",";
        acrescenta_texto_csv(linha, cli.nome);
        linha += ',';
        acrescenta_texto_csv(linha, cli.endereco);
        linha += fmt::format(FMT_COMPILE(",{},{},{},{},{:.2f},{}\n"), conta.mes, conta.ano,
                             conta.soma.chamadas, conta.soma.tempo_total, conta.soma.tarifa_total,
                             data_iso(conta.soma.vencimento));
        escreve(saida, linha);
    });
}
