#include "exportacao.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "codigo850.h"
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

Erro textos_em_utf8(const TLisCli& lis_cli) {
    std::string utf8;
    for (std::uint32_t i = 0; i < std::min(lis_cli.ncl, capacidade_lis_cli); ++i)
        for (const auto& texto : {lis_cli.clientes[i].nome, lis_cli.clientes[i].endereco})
            if (Erro e = em_utf8({texto, ::strnlen(texto, sizeof(TCliente::nome))}, utf8); !e.ok())
                return e;
    return {};
}

void exporta_chamadas(const Execucao& e, std::FILE* saida, DialetoCsv d) {
    escreve(saida,
            cabecalho_csv(
                {"origem", "destino", "telefone_destino", "inicio", "fim", "duracao", "valor"}, d));
    for (std::int32_t i = 0; i < e.li_ch.num_cha; ++i) {
        const TChamada& cha = e.li_ch.chamadas[i];
        const std::int32_t ns = num_seg(cha.ini, cha.fim);
        std::string linha = fmt::format(FMT_COMPILE("{}{}{}{}"), cha.cod_cli_ori, d.separador,
                                        cha.cod_cli_des, d.separador);
        acrescenta_campo_csv(
            linha, fmt::format(FMT_COMPILE("{}"), linha_chamada(&e.lis_cel, cha.cod_cli_des)), d);
        linha += fmt::format(FMT_COMPILE("{0}{1}{0}{2}{0}{3}{0}"), d.separador,
                             data_hora_iso(cha.ini), data_hora_iso(cha.fim), ns);
        acrescenta_dinheiro_csv(linha, tarifa_chamada(ns), d);
        linha += d.fim_de_linha;
        escreve(saida, linha);
    }
}

void exporta_contas(const Execucao& e, std::FILE* saida, DialetoCsv d) {
    escreve(saida, cabecalho_csv({"cliente", "nome", "endereco", "mes", "ano", "chamadas",
                                  "duracao_total", "valor_total", "vencimento"},
                                 d));
    para_cada_conta(&e.li_ch, [&](const Conta& conta, std::span<const ParcelaConta>) {
        const TCliente& cli = cliente_da_conta(&e.lis_cli, conta.cod_cli);
        std::string linha = std::to_string(conta.cod_cli);
        linha += d.separador;
        acrescenta_texto_csv(linha, cli.nome, d);
        linha += d.separador;
        acrescenta_texto_csv(linha, cli.endereco, d);
        linha += fmt::format(FMT_COMPILE("{0}{1}{0}{2}{0}{3}{0}{4}{0}"), d.separador, conta.mes,
                             conta.ano, conta.soma.chamadas, conta.soma.tempo_total);
        acrescenta_dinheiro_csv(linha, conta.soma.tarifa_total, d);
        linha += d.separador;
        linha += data_iso(conta.soma.vencimento);
        linha += d.fim_de_linha;
        escreve(saida, linha);
    });
}
