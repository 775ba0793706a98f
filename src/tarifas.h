#pragma once
// The price of a call: the rules that turn its seconds into billed seconds, and the price list
// that turns those into money. A billing is given its price list as a value; the simulated run's
// tariff is the default one, and an operator's own list (tarifas_toml.h) takes its place.

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datahora.h"

class Telefone;

// The rating rules: how many of a call's seconds are billed.
struct RegrasTarifa {
    std::int32_t gratis = 3;   // a call this short or shorter costs nothing
    std::int32_t minimo = 30;  // seconds billed at least, above `gratis`
    static constexpr std::int32_t incremento_usual = 6;
    std::int32_t incremento = incremento_usual;  // then blocks of this many seconds
    bool cobra_bloco_parcial = false;  // a part block at the end is billed whole, or not at all
    std::int32_t sucessivas = 0;       // seconds that join a call to the one before; 0: none

    // The billed seconds of a call of `n` seconds.
    [[nodiscard]] std::int64_t segundos_cobrados(std::int64_t n) const {
        if (n <= gratis) return 0;
        if (n <= minimo) return minimo;
        const std::int64_t resto = n - minimo;
        // The usual block a constant: a multiply rather than a division, once a billed row.
        std::int64_t blocos =
            incremento == incremento_usual ? resto / incremento_usual : resto / incremento;
        if (cobra_bloco_parcial && blocos * incremento != resto) ++blocos;
        return minimo + blocos * incremento;
    }
};

// A price per minute in ten-thousandths of a real (R$ 0,0001): R$ 0,60 is 6000.
using Preco = std::int64_t;

// The charge in centavos of `s` billed seconds at `preco` a minute, rounded half up.
constexpr std::int64_t centavos_de(Preco preco, std::int64_t s) {
    return (preco * s + 3000) / 6000;
}

// The kinds of destination of the numbering plan, from the number called and the caller's area.
enum class TipoDestino : std::uint8_t {
    local_fixo,
    local_movel,
    ld_fixo,  // another area code
    ld_movel,
    internacional,   // another country
    gratuito,        // 0800
    servico,         // three digits 1XX: 190, 192...
    nao_geografico,  // 0300, 0500, 0900, 400X
    ramal,           // no phone number, or a line of the lines file
};
inline constexpr std::array<std::string_view, 9> nomes_tipos{
    "local_fixo", "local_movel", "ld_fixo",        "ld_movel", "internacional",
    "gratuito",   "servico",     "nao_geografico", "ramal"};

// The area code a call from `origem` is rated from: its own when `origem` is a Brazilian number
// with its area code, else `ddd`.
int area_de(const Telefone& origem, int ddd);
// The kind of the number `numero` called from area code `area`.
TipoDestino tipo_destino(const Telefone& numero, int area);
// The kind of the number `numero` called from `origem`; `ddd` is the area of a caller that is
// not a Brazilian number with its area code.
TipoDestino tipo_destino(std::string_view origem, std::string_view numero, int ddd);

// A plan a line is sold: its monthly fee and allowance, and a price per destination (none: the
// plan does not sell it).
struct Plano {
    std::string nome;
    std::int64_t mensalidade = 0;                 // centavos per line per month
    std::int64_t franquia = 0;                    // seconds included per line per month
    std::vector<bool> na_franquia;                // by destination: its calls use the allowance
    std::vector<std::optional<Preco>> precos;     // by destination
    std::vector<std::optional<Preco>> reduzidos;  // by destination; none: the normal price
};

// One call as the price list rates it; its billed seconds are RegrasTarifa::segundos_cobrados,
// before allowance and successive calls.
struct ChamadaTarifada {
    Preco preco;            // a minute
    std::uint16_t destino;  // of Tarifa::destinos
    bool reduzido;          // in the reduced band
    bool na_franquia;       // its destination uses the plan's allowance
};

// The calls of one line in one month, rated one after another in answer order: what is left of
// its allowance and the group of successive calls the last one began or continued.
class ConsumoLinha {
  public:
    explicit ConsumoLinha(std::int64_t franquia) : restante_(franquia) {}
    struct Parcela {
        std::int64_t cobrados;     // billed seconds the call adds to its group
        std::int64_t da_franquia;  // of them, taken from the allowance
        std::int64_t centavos;     // what it adds to its group's charge
    };
    // The next call: to `numero` (a key equal for every spelling of one number), answered at
    // second `inicio` and `segundos` long, at `preco` a minute; `na_franquia`: its destination
    // uses the allowance.
    Parcela cobra(const RegrasTarifa& r, std::uint64_t numero, std::int64_t inicio,
                  std::int64_t segundos, Preco preco, bool na_franquia);

  private:
    std::int64_t restante_;  // seconds of the allowance
    std::uint64_t numero_ = 0;
    std::int64_t fim_ = 0;  // the end of the group's last call
    std::int64_t brutos_ = 0, cobrados_ = 0, pagos_ = 0, centavos_ = 0;
    Preco preco_ = 0;
    bool grupo_ = false;
};

inline ConsumoLinha::Parcela ConsumoLinha::cobra(const RegrasTarifa& r, std::uint64_t numero,
                                                 std::int64_t inicio, std::int64_t segundos,
                                                 Preco preco, bool na_franquia) {
    if (!(r.sucessivas > 0 && grupo_ && numero_ == numero && inicio >= fim_ &&
          inicio - fim_ <= r.sucessivas)) {
        grupo_ = true;
        numero_ = numero;
        brutos_ = cobrados_ = pagos_ = centavos_ = 0;
        preco_ = preco;
    }
    fim_ = inicio + segundos;
    brutos_ += segundos;
    const std::int64_t cobrados = r.segundos_cobrados(brutos_);
    const std::int64_t acrescimo = cobrados - cobrados_;
    cobrados_ = cobrados;
    const std::int64_t da_franquia = na_franquia ? std::min(acrescimo, restante_) : 0;
    restante_ -= da_franquia;
    pagos_ += acrescimo - da_franquia;
    const std::int64_t centavos = centavos_de(preco_, pagos_);
    const Parcela p{acrescimo, da_franquia, centavos - centavos_};
    centavos_ = centavos;
    return p;
}

// The dates a billing rated calls on, and which day of the reduced band each is (weekday,
// Saturday, Sunday, holiday): the last one seen of each day of the month, as a month's records
// come in any order. Each thread keeps its own.
struct DiaTarifado {
    std::array<TData, 32> datas{};  // by the day of the month; {} matches no date
    std::array<std::uint8_t, 32> dias{};
};

// The price list of a billing.
struct Tarifa {
    RegrasTarifa regras;
    Preco preco = 6000;  // of every call, when there are no plans

    // An operator's price list: its destinations and plans (no plans: the one price above).
    int ddd = 0;  // the operator's area code
    struct Destino {
        std::string nome;
        std::optional<TipoDestino> tipo;  // or prefixes only
    };
    std::vector<Destino> destinos;
    std::vector<Plano> planos;
    // The reduced band's minutes: weekdays, Saturday, Sunday, holiday.
    std::array<std::bitset<24 * 60>, 4> reduzido{};
    std::vector<TData> feriados;  // the operator's own, besides the national ones

    [[nodiscard]] bool lista() const { return !planos.empty(); }
    // Whether a call's charge depends on the calls before it: successive calls, or an allowance.
    [[nodiscard]] bool em_ordem() const;
    // Adds a destination; its kind, when it has one, names no other destination.
    void acrescenta_destino(Destino d);
    // Adds a destination's prefix (digits of the international form); false when another
    // destination has it already.
    bool acrescenta_prefixo(std::string_view digitos, std::uint16_t destino);
    // Readies the plans and prefixes added for avalia; none is added after.
    void prepara();
    // Whether the call answered at `inicio` falls in the reduced band.
    [[nodiscard]] bool no_reduzido(TDataHora inicio) const;
    [[nodiscard]] bool no_reduzido(TDataHora inicio, DiaTarifado& ultimo) const;
    // Rates a call from area code `area` (area_de) to `numero` answered at `inicio`, on plan
    // `plano`, once prepara() has run; `linha_da_tabela`: the number called is a
    // line of the lines file; `ultimo`: the day of the thread's call before. Nothing when the call
    // matches no destination, or one the plan has no price for that is not free by kind.
    [[nodiscard]] std::optional<ChamadaTarifada> avalia(int area, const Telefone& numero,
                                                        bool linha_da_tabela, TDataHora inicio,
                                                        std::size_t plano,
                                                        DiaTarifado& ultimo) const;

    // The charge of a call of `ns` seconds, in centavos.
    [[nodiscard]] std::int64_t centavos(std::int64_t ns) const {
        return centavos_de(preco, regras.segundos_cobrados(ns));
    }
    // The same charge in the simulated run's arithmetic: the price per second in float, the
    // minimum and the blocks multiplied and added in double, the result stored as float.
    [[nodiscard]] float reais(std::int64_t ns) const;

  private:
    [[nodiscard]] std::size_t dia_de(TData d) const;
    // The prefixes as a tree of digits: each node's children (0: none; once prepared, a child
    // without children of its own is -1 - the destination it ends, so that a walk never fetches
    // it) and the destination it ends (-1: none), a cache line each; the root is node 0.
    struct alignas(64) No {
        std::int32_t fim = -1;  // first: a step down reads it with the children, at once
        std::array<std::int32_t, 10> filhos{};
    };
    std::vector<No> nos_;
    // By a number's first `atalho` digits, the walk down the tree so far: the node they lead to
    // (0: the tree ends before) and the longest prefix's destination among them (-1: none).
    static constexpr std::size_t atalho = 4;
    struct Atalho {
        std::int32_t no = 0;
        std::int32_t destino = -1;
    };
    std::vector<Atalho> atalhos_;
    // By plan and destination: the price in the normal and in the reduced band (-1: none), and
    // whether the call uses the allowance; never across two cache lines.
    struct alignas(32) PrecoDestino {
        std::array<Preco, 2> valor;
        bool na_franquia;
    };
    std::vector<PrecoDestino> precos_;
    std::array<std::int32_t, nomes_tipos.size()> por_tipo_{-1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// Whether `d` is a national holiday: 1 Jan, Good Friday, 21 Apr, 1 May, 7 Sep, 12 Oct, 2 Nov,
// 15 Nov, 20 Nov (from 2024), 25 Dec.
bool feriado_nacional(TData d);

// The simulated run's tariff: R$ 0,01 a second, 3 s free, 30 s at least, then blocks of 6 s with
// a part block free.
inline const Tarifa tarifa_da_execucao{};
