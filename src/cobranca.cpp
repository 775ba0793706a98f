#include "cobranca.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <tuple>

#include "conta.h"
#include "dialeto_csv.h"
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

bool mesmo_mes(const ContaMensal& c, std::uint32_t cod, TData d) {
    return c.cod_cli == cod && c.ano == d.ano && c.mes == d.mes;
}

}  // namespace

std::int64_t centavos_chamada(std::int64_t ns) {
    if (ns <= 3) return 0;
    if (ns <= 30) return 30;
    return 30 + (ns - 30) / 6 * 6;
}

Valor valor_chamada(std::int64_t ns, bool exato) {
    if (exato) return {true, centavos_chamada(ns), 0.0F};
    // The run's calls last at most 600 s: the bound only keeps the cast defined.
    return {false, 0,
            tarifa_chamada(static_cast<std::int32_t>(std::min<std::int64_t>(ns, 1 << 30)))};
}

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
    if (const auto it = indice_.find(t); it != indice_.end()) return it->second;
    const std::string& s = guardados_.emplace_back(t);
    const auto i = static_cast<std::uint32_t>(lista_.size());
    lista_.push_back(&s);
    indice_.emplace(s, i);
    return i;
}

TData vencimento_da_conta(const ContaMensal& c) {
    return vencimento_de({10, c.mes, c.ano});
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
                              numero(cha.cod_cli_ori), static_cast<std::uint32_t>(i)});
        // The list is sorted by caller and start: a bill is a run of one caller's month.
        if (r.contas.empty() || !mesmo_mes(r.contas.back(), cha.cod_cli_ori, cha.ini.dat))
            r.contas.push_back({cha.cod_cli_ori,
                                cha.ini.dat.ano,
                                cha.ini.dat.mes,
                                0,
                                0,
                                {false, 0, 0.0F},
                                static_cast<std::size_t>(i)});
        ContaMensal& c = r.contas.back();
        ++c.chamadas;
        c.tempo_total += ns;
        c.valor_total += r.valor(r.chamadas.back());
    }
    return r;
}

void agrupa_em_contas(Contas& contas) {
    auto& ch = contas.chamadas;
    std::sort(ch.begin(), ch.end(), [](const ChamadaCobrada& a, const ChamadaCobrada& b) {
        return std::tuple(a.cod_cli, chave(a.inicio), a.ordem) <
               std::tuple(b.cod_cli, chave(b.inicio), b.ordem);
    });
    contas.contas.clear();
    for (std::size_t i = 0; i < ch.size(); ++i) {
        if (contas.contas.empty() ||
            !mesmo_mes(contas.contas.back(), ch[i].cod_cli, ch[i].inicio.dat))
            contas.contas.push_back({ch[i].cod_cli, ch[i].inicio.dat.ano, ch[i].inicio.dat.mes, 0,
                                     0, Valor{contas.exatas, 0, 0.0F}, i});
        ContaMensal& c = contas.contas.back();
        ++c.chamadas;
        c.tempo_total += ch[i].segundos;
        c.valor_total += contas.valor(ch[i]);
    }
}
