#include "tarifas.h"

#include <algorithm>
#include <charconv>

#include "telefone.h"

namespace {

// 0 = Sunday to 6 = Saturday, of the Gregorian calendar.
int dia_da_semana(TData d) {
    constexpr std::array<int, 12> t{0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int a = d.ano - (d.mes < 3 ? 1 : 0);
    return (a + a / 4 - a / 100 + a / 400 + t[static_cast<std::size_t>(d.mes - 1)] + d.dia) % 7;
}

// Easter Sunday of the Gregorian year `a` (the anonymous Gregorian algorithm).
TData pascoa(int a) {
    const int b = a % 19, c = a / 100, d = a % 100;
    const int h = (19 * b + c - c / 4 - (c - (c + 8) / 25 + 1) / 3 + 15) % 30;
    const int l = (32 + 2 * (c % 4) + 2 * (d / 4) - h - d % 4) % 7;
    const int m = (b + 11 * h + 22 * l) / 451;
    const int mes = (h + l - 7 * m + 114) / 31;
    const int dia = (h + l - 7 * m + 114) % 31 + 1;
    return {static_cast<std::int8_t>(dia), static_cast<std::int8_t>(mes),
            static_cast<std::int16_t>(a)};
}

bool mesma_data(TData a, TData b) {
    return a.dia == b.dia && a.mes == b.mes && a.ano == b.ano;
}

}  // namespace

float Tarifa::reais(std::int64_t ns) const {
    const std::int64_t s = regras.segundos_cobrados(ns);
    if (s == 0) return 0.0F;
    const auto por_segundo = static_cast<double>(static_cast<float>(preco) / 600000.0F);
    const double minimo = regras.minimo * por_segundo;
    return static_cast<float>(minimo + static_cast<double>(s - regras.minimo) * por_segundo);
}

bool feriado_nacional(TData d) {
    constexpr std::array<std::pair<int, int>, 8> fixos{
        {{1, 1}, {21, 4}, {1, 5}, {7, 9}, {12, 10}, {2, 11}, {15, 11}, {25, 12}}};
    for (const auto& [dia, mes] : fixos)
        if (d.dia == dia && d.mes == mes) return true;
    if (d.dia == 20 && d.mes == 11 && d.ano >= 2024) return true;
    if (d.mes != 3 && d.mes != 4) return false;
    // Good Friday, two days before Easter.
    TData p = pascoa(d.ano);
    p.dia = static_cast<std::int8_t>(p.dia - 2);
    if (p.dia < 1) {
        p.mes = 3;
        p.dia = static_cast<std::int8_t>(p.dia + 31);
    }
    return mesma_data(p, d);
}

int area_de(const Telefone& origem, int ddd) {
    if (origem.forma() != FormaNumero::nacional) return ddd;
    const std::string_view d = origem.ddd();
    return (d[0] - '0') * 10 + (d[1] - '0');
}

TipoDestino tipo_destino(const Telefone& t, int area) {
    const auto de_area = [&](bool mesma) {
        const std::string_view a = t.assinante();
        if (a.size() == 8 && a.starts_with("400")) return TipoDestino::nao_geografico;
        if (t.movel()) return mesma ? TipoDestino::local_movel : TipoDestino::ld_movel;
        return mesma ? TipoDestino::local_fixo : TipoDestino::ld_fixo;
    };
    switch (t.forma()) {
        case FormaNumero::nome:
            return TipoDestino::ramal;
        case FormaNumero::digitos: {
            const std::string_view a = t.assinante();
            return a.size() == 3 && a[0] == '1' ? TipoDestino::servico : TipoDestino::ramal;
        }
        case FormaNumero::nao_geografico:
            return t.assinante().starts_with("0800") ? TipoDestino::gratuito
                                                     : TipoDestino::nao_geografico;
        case FormaNumero::internacional:
            return TipoDestino::internacional;
        case FormaNumero::local:
            return de_area(true);
        case FormaNumero::nacional: {
            const std::string_view d = t.ddd();
            return de_area((d[0] - '0') * 10 + (d[1] - '0') == area);
        }
    }
    return TipoDestino::ramal;
}

TipoDestino tipo_destino(std::string_view origem, std::string_view numero, int ddd) {
    return tipo_destino(Telefone(numero), area_de(Telefone(origem), ddd));
}

bool Tarifa::em_ordem() const {
    return regras.sucessivas > 0 ||
           std::ranges::any_of(planos, [](const Plano& p) { return p.franquia > 0; });
}

void Tarifa::acrescenta_destino(Destino d) {
    if (d.tipo)
        por_tipo_[static_cast<std::size_t>(*d.tipo)] = static_cast<std::int32_t>(destinos.size());
    destinos.push_back(std::move(d));
}

bool Tarifa::acrescenta_prefixo(std::string_view digitos, std::uint16_t destino) {
    constexpr std::size_t n_atalhos = 10000;
    static_assert(n_atalhos == 10 * 10 * 10 * 10 && atalho == 4);
    if (nos_.empty()) {
        nos_.emplace_back();
        atalhos_.assign(n_atalhos, {});
    }
    std::size_t no = 0, k = 0;
    for (std::size_t i = 0; i < digitos.size(); ++i) {
        const auto d = static_cast<std::size_t>(digitos[i] - '0');
        if (nos_[no].filhos[d] == 0) {
            nos_[no].filhos[d] = static_cast<std::int32_t>(nos_.size());
            nos_.emplace_back();
        }
        no = static_cast<std::size_t>(nos_[no].filhos[d]);
        if (i < atalho) k = k * 10 + d;
        if (i + 1 == atalho) atalhos_[k].no = static_cast<std::int32_t>(no);
    }
    if (nos_[no].fim >= 0) return false;
    nos_[no].fim = destino;
    // A prefix as short as the shortcut decides for every number that starts with it, unless a
    // longer one does.
    if (digitos.size() <= atalho) {
        std::size_t n = 1;
        for (std::size_t i = digitos.size(); i < atalho; ++i) {
            k *= 10;
            n *= 10;
        }
        for (std::size_t a = k; a < k + n; ++a) {
            std::int32_t achado = -1;
            std::size_t p = 0;
            for (std::size_t div = n_atalhos / 10; div > 0; div /= 10) {
                p = static_cast<std::size_t>(nos_[p].filhos[a / div % 10]);
                if (p == 0) break;
                if (nos_[p].fim >= 0) achado = nos_[p].fim;
            }
            atalhos_[a].destino = achado;
        }
    }
    return true;
}

void Tarifa::prepara() {
    const auto folha = [&](std::int32_t f) {
        return f > 0 && std::ranges::all_of(nos_[static_cast<std::size_t>(f)].filhos,
                                            [](std::int32_t x) { return x == 0; });
    };
    for (No& no : nos_)
        for (std::int32_t& f : no.filhos)
            if (folha(f)) f = -1 - nos_[static_cast<std::size_t>(f)].fim;
    const std::size_t n = destinos.size();
    precos_.assign(planos.size() * n, {{-1, -1}, false});
    for (std::size_t p = 0; p < planos.size(); ++p)
        for (std::size_t i = 0; i < n; ++i) {
            const Plano& pl = planos[p];
            const std::optional<Preco> normal = pl.precos[i];
            const std::optional<Preco> barato = pl.reduzidos[i] ? pl.reduzidos[i] : normal;
            precos_[p * n + i] = {{normal.value_or(-1), barato.value_or(-1)}, pl.na_franquia[i]};
        }
}

std::size_t Tarifa::dia_de(TData d) const {
    if (feriado_nacional(d) ||
        std::ranges::any_of(feriados, [&](TData f) { return mesma_data(f, d); }))
        return 3;
    if (const int s = dia_da_semana(d); s == 0)
        return 2;
    else if (s == 6)
        return 1;
    return 0;
}

bool Tarifa::no_reduzido(TDataHora inicio) const {
    DiaTarifado ultimo;
    return no_reduzido(inicio, ultimo);
}

bool Tarifa::no_reduzido(TDataHora inicio, DiaTarifado& ultimo) const {
    const auto k = static_cast<std::size_t>(inicio.dat.dia) & 31U;
    if (!mesma_data(ultimo.datas[k], inicio.dat)) {
        ultimo.datas[k] = inicio.dat;
        ultimo.dias[k] = static_cast<std::uint8_t>(dia_de(inicio.dat));
    }
    return reduzido[ultimo.dias[k]][static_cast<std::size_t>(inicio.hor.hor * 60 + inicio.hor.min)];
}

std::optional<ChamadaTarifada> Tarifa::avalia(int area, const Telefone& t, bool linha_da_tabela,
                                              TDataHora inicio, std::size_t plano,
                                              DiaTarifado& ultimo) const {
    std::int32_t destino = -1;
    if (!linha_da_tabela && !nos_.empty()) {
        // The international form, digits only: a local number takes the caller's country and
        // area.
        std::string_view internacional = t.internacional();
        std::array<char, 32> local{'5', '5'};
        if (t.forma() == FormaNumero::local && area >= 0) {
            const auto [fim, erro] = std::to_chars(local.data() + 2, local.data() + 8, area);
            const std::string_view a = t.assinante();
            if (erro == std::errc{} && a.size() <= static_cast<std::size_t>(local.end() - fim)) {
                a.copy(fim, a.size());
                internacional = std::string_view(local.data(), fim + a.size());
            }
        }
        std::size_t no = 0, i = 0;
        if (internacional.size() >= atalho) {
            std::size_t k = 0;
            for (; i < atalho; ++i)
                k = k * 10 + static_cast<std::size_t>(internacional[i] - '0');
            destino = atalhos_[k].destino;
            no = static_cast<std::size_t>(atalhos_[k].no);
            if (no == 0) i = internacional.size();
        }
        for (; i < internacional.size(); ++i) {
            const std::int32_t f =
                nos_[no].filhos[static_cast<std::size_t>(internacional[i] - '0')];
            if (f <= 0) {
                if (f < 0) destino = -1 - f;
                break;
            }
            no = static_cast<std::size_t>(f);
            if (nos_[no].fim >= 0) destino = nos_[no].fim;
        }
    }
    // The kind, only when it decides: the destination, or whether a call without price is free.
    std::optional<TipoDestino> tipo;
    if (destino < 0) {
        tipo = linha_da_tabela ? TipoDestino::ramal : tipo_destino(t, area);
        destino = por_tipo_[static_cast<std::size_t>(*tipo)];
        if (destino < 0) return std::nullopt;
    }
    const auto i = static_cast<std::size_t>(destino);
    const bool red = no_reduzido(inicio, ultimo);
    const PrecoDestino& pd = precos_[plano * destinos.size() + i];
    Preco valor = pd.valor[red ? 1 : 0];
    if (valor < 0) {
        if (!tipo) tipo = destinos[i].tipo ? *destinos[i].tipo : tipo_destino(t, area);
        // Nothing billable is priced at zero by accident: only what is free by its kind.
        if (tipo != TipoDestino::gratuito && tipo != TipoDestino::servico &&
            tipo != TipoDestino::ramal)
            return std::nullopt;
        valor = 0;
    }
    return ChamadaTarifada{valor, static_cast<std::uint16_t>(destino), red, pd.na_franquia};
}
