#pragma once
// The bills, whichever calls they come from: a bill is a customer, a calendar month (its year
// included) and its rated calls. The simulated run's calls make bills, and so do the records of
// a real exchange; the CSV and PDF writers take bills, nothing else.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "clientes.h"
#include "datahora.h"
#include "dinheiro.h"
#include "tarifas.h"

struct Execucao;

// An amount of money as a bill adds it up. The simulated run keeps its console's arithmetic:
// single-precision reais, each charge rounded to float and added in the order of the calls.
// Records are billed in exact integer centavos, which no number of calls makes drift.
struct Valor {
    bool exato = true;
    std::int64_t centavos = 0;  // when exato
    float reais = 0.0F;         // when not

    Valor& operator+=(const Valor& v) {
        centavos += v.centavos;
        reais += v.reais;
        return *this;
    }
    [[nodiscard]] double em_reais() const {
        return exato ? static_cast<double>(centavos) / 100 : static_cast<double>(reais);
    }
};

// Two decimals and `decimal` between reais and centavos: "63.84", "63,84"; a float as the
// console's printf rounds it.
std::string dinheiro(Valor v, char decimal);

// The second a wall-clock date-time names when it is read as UTC: records are billed as written,
// with no zone.
std::int64_t segundo_utc(TDataHora d);

// Texts kept once however many calls share them (called numbers, lines): each by an index.
class Textos {
  public:
    Textos() { guarda({}); }
    // The views handed out point into the blocks, which a copy would not have.
    Textos(const Textos&) = delete;
    Textos& operator=(const Textos&) = delete;
    Textos(Textos&&) = default;
    Textos& operator=(Textos&&) = default;
    ~Textos() = default;
    // The index of `t`, kept on first sight; 0 is the empty text. One hash of `t` either way.
    std::uint32_t guarda(std::string_view t);
    // Stays valid while the Textos lives.
    std::string_view operator[](std::uint32_t i) const { return lista_[i]; }

  private:
    // A place of the open-addressing table: the low half of the text's hash and its index + 1
    // (0: free).
    struct Vaga {
        std::uint32_t hash = 0;
        std::uint32_t indice = 0;
    };
    void cresce();

    std::vector<std::string> blocos_;  // the texts' bytes, in blocks never moved once filled
    std::vector<std::string_view> lista_;
    std::vector<Vaga> vagas_;  // a power of two, at most half taken
};

// One rated call of a bill, as small as it can be: millions are kept for the calls' CSV and
// the documents.
struct ChamadaCobrada {
    TDataHora inicio;
    TDataHora fim;
    std::uint32_t cod_cli;   // the customer billed
    std::uint32_t segundos;  // the seconds billed
    std::uint32_t numero;    // the called number, as shown (Textos)
    std::uint32_t destino;   // the called customer's code as written, or empty (Textos)
    std::uint32_t linha;     // the caller's line, as shown, or empty (Textos)
    std::uint32_t ordem;     // the order it was read in: calls of one second keep it
    std::int64_t centavos;   // its charge
    // Rated by an operator's price list: the price a minute, the billed seconds, the
    // destination, the line's plan and the band.
    Preco preco = 0;
    std::uint32_t cobrados = 0;
    std::uint16_t destino_tarifa = 0;
    std::uint16_t plano = 0;
    bool reduzido = false;
    std::uint32_t franquia = 0;  // of its billed seconds, those the line's allowance paid
};

// One bill and its totals.
struct ContaMensal {
    std::uint32_t cod_cli;
    std::int16_t ano;
    std::int8_t mes;
    std::int64_t chamadas = 0;
    std::int64_t tempo_total = 0;
    Valor valor_total{};
    std::size_t primeira = 0;         // its first call in Contas::chamadas, when calls are kept
    std::int64_t mensalidades = 0;    // centavos of its lines' monthly fees, in valor_total
    std::int64_t franquia_usada = 0;  // seconds of the plans' allowance used

    void soma(std::int64_t segundos, Valor v) {
        ++chamadas;
        tempo_total += segundos;
        valor_total += v;
    }
};

// The key bills are found and ordered by: the customer, then the month (chave_mes).
constexpr std::uint64_t chave_conta(std::uint32_t cod_cli, TData d) {
    return std::uint64_t{cod_cli} << 32U | chave_mes(d);
}
constexpr std::uint64_t chave_conta(const ContaMensal& c) {
    return chave_conta(c.cod_cli, {1, c.mes, c.ano});
}

// The 10th of the month after the bill's: its due date.
TData vencimento_da_conta(const ContaMensal& c);
// The first day after the bill's month: its issue date.
TData emissao_da_conta(const ContaMensal& c);

// A bill issued and kept in a book: its number and its dates, printed again on a second copy.
struct Emitida {
    std::string numero;  // "2024-000123"
    TData emitida_em;
    TData vencimento;
};

// A line of a customer and its plan, which pays the plan's fee every month billed.
struct LinhaComPlano {
    std::uint32_t cod_cli;
    std::uint16_t plano;
    std::uint32_t linha = 0;  // as shown (Contas::textos)
};

// Bills by chave_conta; each bill's calls by start, in the order they were read when they start
// in the same second.
struct Contas {
    std::shared_ptr<const Clientes> clientes;  // whose names and addresses the bills show
    bool exatas = true;                        // centavos, or the run's float
    const Tarifa* tarifa = nullptr;            // an operator's price list the calls were rated by
    bool do_livro = false;  // the customers of a book: bills show their code and CPF/CNPJ
    std::vector<ContaMensal> contas;
    std::vector<ChamadaCobrada> chamadas;  // bill after bill; empty when only totals are kept
    Textos textos;
    // With a price list, every line of the lines file by customer: a bill names each one,
    // calls or not.
    std::vector<LinhaComPlano> linhas;
    // With a book: the bills already issued (or numbered to be), by chave_conta, and each
    // call's key (chave_da_chamada) by ChamadaCobrada::ordem when they were kept.
    std::unordered_map<std::uint64_t, Emitida> emitidas;
    std::vector<std::string> chaves;

    std::span<const ChamadaCobrada> chamadas_de(const ContaMensal& c) const {
        return std::span(chamadas).subspan(c.primeira, static_cast<std::size_t>(c.chamadas));
    }
    // A call's charge; the run's own in its float arithmetic.
    Valor valor(const ChamadaCobrada& c) const {
        if (exatas) return {true, c.centavos, 0.0F};
        return {false, 0, tarifa_da_execucao.reais(c.segundos)};
    }
};

// The bills of a prepared run, in its order, with the figures contacel prints in that run.
Contas contas_da_execucao(const Execucao& e);

// Rates the grouped calls of `contas` by its price list, in call order: each line's allowance
// of the month, and a call to the number before within the window of successive calls charged
// as what it adds to that group (bills without their calls kept are rated already); then gives
// every line of `linhas` its plan's fee in each of `meses` (chave_mes), a bill of fees alone
// where the customer made no call; keeps `linhas` in the bills, by customer.
void cobra_pela_lista(Contas& contas, std::span<const LinhaComPlano> linhas,
                      std::span<const std::uint32_t> meses);

// Sorts `contas.chamadas` (read in any order) into bills, with their totals; without calls,
// sorts the bills `contas.contas` already summed.
void agrupa_em_contas(Contas& contas);
