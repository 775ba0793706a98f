#include "cobranca.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <unordered_map>

#include "dialeto_csv.h"
#include "espalha.h"
#include "execucao.h"

namespace {

// Start, as one number that orders like the date-time.
std::uint64_t chave(TDataHora d) {
    return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(d.dat.ano)) << 40U) |
           (static_cast<std::uint64_t>(static_cast<std::uint8_t>(d.dat.mes)) << 32U) |
           (static_cast<std::uint64_t>(static_cast<std::uint8_t>(d.dat.dia)) << 24U) |
           (static_cast<std::uint64_t>(static_cast<std::uint8_t>(d.hor.hor)) << 16U) |
           (static_cast<std::uint64_t>(static_cast<std::uint8_t>(d.hor.min)) << 8U) |
           static_cast<std::uint64_t>(static_cast<std::uint8_t>(d.hor.seg));
}

}  // namespace

std::string dinheiro(Valor v, char decimal) {
    if (!v.exato) return dinheiro(static_cast<double>(v.reais), decimal);
    return fmt::format(FMT_COMPILE("{}{}{:02}"), v.centavos / 100, decimal, v.centavos % 100);
}

std::int64_t segundo_utc(TDataHora d) {
    // Days since 1970-01-01 of the proleptic Gregorian calendar, years counted from March.
    const std::int64_t a = d.dat.ano - (d.dat.mes <= 2 ? 1 : 0);
    const std::int64_t era = (a >= 0 ? a : a - 399) / 400;
    const std::int64_t ano_da_era = a - era * 400;
    const std::int64_t dia_do_ano =
        (153 * (d.dat.mes + (d.dat.mes > 2 ? -3 : 9)) + 2) / 5 + d.dat.dia - 1;
    const std::int64_t dia_da_era =
        ano_da_era * 365 + ano_da_era / 4 - ano_da_era / 100 + dia_do_ano;
    const std::int64_t dias = era * 146097 + dia_da_era - 719468;
    return dias * 86400 + d.hor.hor * 3600 + d.hor.min * 60 + d.hor.seg;
}

std::uint32_t Textos::guarda(std::string_view t) {
    if (vagas_.size() < 2 * (lista_.size() + 1)) cresce();
    const std::uint64_t h = espalha_texto(t);
    const std::size_t mascara = vagas_.size() - 1;
    for (std::size_t v = h & mascara;; v = (v + 1) & mascara) {
        Vaga& vaga = vagas_[v];
        if (vaga.indice == 0) {
            // Texts are copied into blocks of 64 KiB, a longer one into its own.
            constexpr std::size_t bloco = 64 * 1024;
            if (blocos_.empty() || blocos_.back().capacity() - blocos_.back().size() < t.size()) {
                blocos_.emplace_back();
                blocos_.back().reserve(std::max(bloco, t.size()));
            }
            std::string& b = blocos_.back();
            b.append(t);
            lista_.emplace_back(b.data() + b.size() - t.size(), t.size());
            vaga = {static_cast<std::uint32_t>(h), static_cast<std::uint32_t>(lista_.size())};
            return vaga.indice - 1;
        }
        if (vaga.hash == static_cast<std::uint32_t>(h) && lista_[vaga.indice - 1] == t)
            return vaga.indice - 1;
    }
}

void Textos::cresce() {
    std::vector<Vaga> velhas(std::max<std::size_t>(64, vagas_.size() * 2));
    velhas.swap(vagas_);
    const std::size_t mascara = vagas_.size() - 1;
    for (const Vaga& vaga : velhas) {
        if (vaga.indice == 0) continue;
        std::size_t v = vaga.hash & mascara;
        while (vagas_[v].indice != 0)
            v = (v + 1) & mascara;
        vagas_[v] = vaga;
    }
}

TData vencimento_da_conta(const ContaMensal& c) {
    return vencimento_de({10, c.mes, c.ano});
}

TData emissao_da_conta(const ContaMensal& c) {
    if (c.mes >= 12) return {1, 1, static_cast<std::int16_t>(c.ano + 1)};
    return {1, static_cast<std::int8_t>(c.mes + 1), c.ano};
}

Contas contas_da_execucao(const Execucao& e) {
    Contas r;
    r.clientes = std::make_shared<const Clientes>(clientes_do_cadastro(e.lis_cli));
    r.exatas = false;
    const std::int32_t num_cha = std::clamp(e.li_ch.num_cha, 0, capacidade_lis_cha);
    r.chamadas.reserve(static_cast<std::size_t>(num_cha));
    for (std::int32_t i = 0; i < num_cha; ++i) {
        const TChamada& cha = e.li_ch.chamadas[i];
        const std::int32_t ns = num_seg(cha.ini, cha.fim);
        const auto numero = [&](std::uint32_t cod) {
            return r.textos.guarda(fmt::format(FMT_COMPILE("{}"), linha_chamada(&e.lis_cel, cod)));
        };
        r.chamadas.push_back({cha.ini, cha.fim, cha.cod_cli_ori, static_cast<std::uint32_t>(ns),
                              numero(cha.cod_cli_des),
                              r.textos.guarda(std::to_string(cha.cod_cli_des)),
                              numero(cha.cod_cli_ori), static_cast<std::uint32_t>(i),
                              tarifa_da_execucao.centavos(ns)});
    }
    // Sorted by caller and start already, the list keeps its order.
    agrupa_em_contas(r);
    return r;
}

void agrupa_em_contas(Contas& contas) {
    auto& ch = contas.chamadas;
    if (ch.empty()) {
        std::ranges::sort(contas.contas, {}, [](const ContaMensal& c) { return chave_conta(c); });
        return;
    }
    std::sort(ch.begin(), ch.end(), [](const ChamadaCobrada& a, const ChamadaCobrada& b) {
        return std::tuple(a.cod_cli, chave(a.inicio), a.ordem) <
               std::tuple(b.cod_cli, chave(b.inicio), b.ordem);
    });
    contas.contas.clear();
    for (std::size_t i = 0; i < ch.size(); ++i) {
        const std::uint64_t k = chave_conta(ch[i].cod_cli, ch[i].inicio.dat);
        if (contas.contas.empty() || chave_conta(contas.contas.back()) != k)
            contas.contas.push_back({ch[i].cod_cli, ch[i].inicio.dat.ano, ch[i].inicio.dat.mes, 0,
                                     0, Valor{contas.exatas, 0, 0.0F}, i});
        contas.contas.back().soma(ch[i].segundos, contas.valor(ch[i]));
    }
}

void cobra_pela_lista(Contas& contas, std::span<const LinhaComPlano> linhas,
                      std::span<const std::uint32_t> meses) {
    const Tarifa& t = *contas.tarifa;
    // Without the calls, the bills hold their charges already.
    std::unordered_map<std::uint32_t, ConsumoLinha> linhas_da_conta;
    for (ContaMensal& conta : contas.contas) {
        if (contas.chamadas.empty()) break;
        linhas_da_conta.clear();
        conta.valor_total = {};
        conta.franquia_usada = 0;
        for (std::size_t k = conta.primeira;
             k < conta.primeira + static_cast<std::size_t>(conta.chamadas); ++k) {
            ChamadaCobrada& c = contas.chamadas[k];
            const Plano& plano = t.planos[c.plano];
            ConsumoLinha& l =
                linhas_da_conta.try_emplace(c.linha, ConsumoLinha(plano.franquia)).first->second;
            const ConsumoLinha::Parcela p =
                l.cobra(t.regras, c.numero, segundo_utc(c.inicio), c.segundos, c.preco,
                        plano.na_franquia[c.destino_tarifa]);
            c.centavos = p.centavos;
            c.cobrados = static_cast<std::uint32_t>(p.cobrados);
            c.franquia = static_cast<std::uint32_t>(p.da_franquia);
            conta.franquia_usada += p.da_franquia;
            conta.valor_total.centavos += c.centavos;
        }
    }
    std::unordered_map<std::uint64_t, std::size_t> indice;
    for (std::size_t i = 0; i < contas.contas.size(); ++i)
        indice.emplace(chave_conta(contas.contas[i]), i);
    for (const std::uint32_t mes : meses)
        for (const LinhaComPlano& l : linhas) {
            const TData d{1, static_cast<std::int8_t>(mes & 0xFFU),
                          static_cast<std::int16_t>(mes >> 8U)};
            const auto [it, nova] =
                indice.try_emplace(chave_conta(l.cod_cli, d), contas.contas.size());
            if (nova) contas.contas.push_back({l.cod_cli, d.ano, d.mes, 0, 0, {}, 0});
            ContaMensal& conta = contas.contas[it->second];
            const std::int64_t m = t.planos[l.plano].mensalidade;
            conta.mensalidades += m;
            conta.valor_total.centavos += m;
        }
    std::ranges::sort(contas.contas, {}, [](const ContaMensal& c) { return chave_conta(c); });
    contas.linhas.assign(linhas.begin(), linhas.end());
    std::ranges::stable_sort(contas.linhas, {}, &LinhaComPlano::cod_cli);
}
