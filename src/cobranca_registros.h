#pragma once
// Billing call records: every row read is accounted for once, in the first of these that
// applies: rejected (unreadable), not billable, duplicate (a call already read), already on an
// issued bill, without customer, of another month, billed.
// The customer of a row is its account code when that is the code of a register customer,
// otherwise the customer whose line its caller is.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cobranca.h"
#include "dialeto_csv.h"
#include "erro.h"
#include "espalha.h"
#include "linhas.h"
#include "paginas_grandes.h"
#include "registros.h"

// A calendar month: --mes AAAA-MM.
struct MesAno {
    std::int16_t ano;
    std::int8_t mes;
};
// "2024-12" as a month; nothing for any other text.
std::optional<MesAno> le_mes(std::string_view texto);

// The key of a call: two billable rows equal in it are one call, billed once. Its answer time
// comes first, so that the keys of a month are one range of a book's keys, then its caller,
// called number and billed seconds, the PBX's uniqueid and sequence where the layout has them,
// and the account codes: "2024-11-05 10:00:05|85988774123|8532345678|61|1730800805.17|3||",
// a "|" or a backslash within a field written after a backslash.
std::string chave_da_chamada(const RegistroChamada& r);

// Calls already on issued bills: a book's, asked of every billable row.
class JaFaturadas {
  public:
    virtual ~JaFaturadas() = default;
    // Whether the call of `r` is on an issued bill.
    virtual bool contem(const RegistroChamada& r) = 0;
};

// What to bill, and how much of it to keep.
struct PedidoCobranca {
    std::shared_ptr<const Clientes> clientes;
    const TabelaLinhas* linhas = nullptr;  // none: only account codes name customers
    std::optional<MesAno> mes;             // only this month's calls are billed
    bool guarda_chamadas = false;  // the calls themselves (calls' CSV, documents), or totals only
    // Unreadable rows are written down and the rest billed, rather than stopping the reading.
    bool aceita_rejeitados = false;
    DialetoCsv dialeto = csv_padrao;             // of the rejected rows' CSV
    const Tarifa* tarifa = &tarifa_da_execucao;  // the price list the calls are rated by
    Tarefas tarefas{};                 // threads a large plain records file is read on at once
    JaFaturadas* faturadas = nullptr;  // calls not to bill again, asked in the billing's order
    bool guarda_chaves = false;        // with the calls, each call's key (Contas::chaves)
};

// The billable calls of one caller that is no customer's line.
struct SemCliente {
    std::string chamador;  // as its first call writes it (src, or the account code)
    std::uint64_t chamadas = 0;
    std::uint64_t segundos = 0;
};

// How many rows went where.
struct ResumoCobranca {
    std::uint64_t registros = 0;
    std::uint64_t cobrados = 0;
    std::uint64_t contas = 0;
    std::uint64_t outros_meses = 0;
    std::uint64_t nao_cobraveis = 0;
    std::uint64_t sem_cliente = 0;
    std::uint64_t rejeitados = 0;
    std::uint64_t duplicados = 0;                      // billable rows of a call already read
    std::uint64_t ja_faturados = 0;                    // of a call on an issued bill
    bool do_livro = false;                             // billed with a book: ja_faturados said
    std::vector<SemCliente> sem_cliente_por_chamador;  // most calls first, once billing ends
};
// "N registros: C cobrados em K contas, O de outros meses, X nao cobraveis, S sem cliente, R
// rejeitados, D duplicados" and, with a book, ", J ja faturados".
std::string descreve_resumo(const ResumoCobranca& r);
// What an operator adds to the lines file: a line per customer-less caller, at most `maximo`,
// then how many more: "sem cliente: 85999990000, 12 chamadas, 00:41:20\n", "sem cliente: e mais
// 3\n". Empty when every billable call had its customer.
std::string descreve_sem_cliente(const ResumoCobranca& r, std::size_t maximo = 10);

// A set of 64-bit keys that are hashes already: open addressing, the key its own place.
class ChavesVistas {
  public:
    // Whether `k` is new; it is kept either way.
    bool insere(std::uint64_t k);
    [[nodiscard]] bool contem(std::uint64_t k) const;
    // Starts fetching the place of `k` into the caches, for an insere to come.
    void antecipa(std::uint64_t k) const { __builtin_prefetch(&vagas_[k & (vagas_.size() - 1)]); }
    // Room for about `n` keys without growing.
    void reserva(std::size_t n);

  private:
    void cresce(std::size_t vagas);  // to that many places, a power of two
    using Vagas = std::vector<std::uint64_t, EmPaginasGrandes<std::uint64_t>>;
    Vagas vagas_ = Vagas(std::size_t{1} << 12);
    std::size_t n_ = 0;
    bool zero_ = false;  // 0 marks a free place; the key 0 is kept here
};

// Bills the records of one file after another.
class CobrancaRegistros final : public DestinoRegistros {
  public:
    explicit CobrancaRegistros(const PedidoCobranca& pedido);
    // Reads and bills the records file `arquivo`.
    Erro le(const std::string& arquivo);
    // The bills of every file read; the calls too when they were kept.
    Contas termina();
    [[nodiscard]] const ResumoCobranca& resumo() const { return resumo_; }
    // The CSV "arquivo,linha,motivo,registro" of every rejected and every customer-less row.
    [[nodiscard]] const std::string& rejeitadas() const { return rejeitadas_; }
    // The latest start of a billed call; none when nothing was billed.
    [[nodiscard]] std::optional<TDataHora> ultima() const { return ultima_; }

    void registro(const RegistroChamada& r) override;
    void registros(std::span<const RegistroChamada> rs) override;
    bool rejeitado(const RegistroRejeitado& r) override;
    std::unique_ptr<ParteRegistros> parte() override;

  private:
    class Parte;
    // What a billable row comes to, found without changing the bills (and so on any thread):
    // the key of its call, its customer and line's plan (the first for a row billed by account
    // code), and its rating by a price list when it is billed by one.
    struct Avaliacao {
        std::uint64_t chave;
        // For rating in answer order: the number called and the caller's line, each a key
        // equal for every spelling a bill shows alike (chave_numero), or for a caller named as
        // a line, that line; 0: none, by its text.
        std::uint64_t numero = 0, linha = 0;
        std::optional<ChamadaTarifada> tarifada;
        std::optional<std::pair<std::uint32_t, std::uint16_t>> dono;
    };
    // `chave`: chave(r); `dia` and `lembradas`: the thread's (tarifas.h, linhas.h).
    [[nodiscard]] Avaliacao avalia(const RegistroChamada& r, std::uint64_t chave, DiaTarifado& dia,
                                   LinhasLembradas& lembradas) const;
    [[nodiscard]] bool do_mes(const RegistroChamada& r) const;
    // Adds a billable row to the bills, as `a` says, unless its call was read before.
    void cobra(const RegistroChamada& r, const Avaliacao& a);
    // `origem`: r.origem read, or nothing, to be read here when needed.
    // `linha`, when given, gets the caller's line when it is one of pedido_.linhas.
    std::optional<std::pair<std::uint32_t, std::uint16_t>> cliente_de(
        const RegistroChamada& r, std::optional<Telefone>& origem, LinhasLembradas& lembradas,
        const TabelaLinhas::Linha** linha = nullptr) const;
    void anota(std::size_t linha, std::string_view motivo, std::string_view texto);
    ContaMensal& conta_de(std::uint32_t cod, TData d);
    std::uint32_t exibido(std::string_view numero);
    [[nodiscard]] static std::uint64_t chave(const RegistroChamada& r);
    // Whether adding a row rated as `a` to the bills reads its numbers' texts: also a row that
    // the price list has no price for, which is written down or named in the error.
    [[nodiscard]] bool le_textos(const Avaliacao& a) const {
        return pedido_.guarda_chamadas || !a.dono ||
               (a.tarifada ? a.numero == 0 || a.linha == 0 : pedido_.tarifa->lista());
    }
    // Rates the calls kept as Pendente into their bills.
    void cobra_em_ordem();

    PedidoCobranca pedido_;
    ResumoCobranca resumo_;
    std::string arquivo_;
    std::string rejeitadas_;
    Contas contas_;
    std::size_t ultima_conta_ = 0;  // the bill conta_de found last
    // Bills found lately by a few bits of their key: the key, and the bill's place in contas_ + 1
    // (0: none), which a row compares without reading the bill.
    struct Recente {
        std::uint64_t chave = 0;
        std::size_t conta = 0;
    };
    std::array<Recente, 256> recentes_{};
    DiaTarifado dia_;                                        // of the rows read on this thread
    LinhasLembradas lembradas_;                              // and their callers' lines
    std::unordered_map<std::uint64_t, std::size_t> indice_;  // each bill's place in contas_
    // Each customer-less caller's place in resumo_.sem_cliente_por_chamador, by its line's key.
    std::unordered_map<std::string, std::size_t> sem_cliente_;
    std::optional<TDataHora> ultima_;
    // The same as a number in the order of date-times; 0: none.
    std::uint64_t ultima_na_ordem_ = 0;
    Erro erro_;                         // the first call the price list has no price for
    std::vector<std::uint32_t> meses_;  // chave_mes of the months billed, when fees are due
    // The key of every billable call read: its row again is the same call, billed once.
    ChavesVistas chaves_;
    Textos escritos_;                  // numbers as written, and
    std::vector<std::uint32_t> como_;  // each one's index as shown in contas_.textos

    // Without the calls kept, what the allowance and successive calls need of each call, kept
    // by line and bill in the order read and rated in answer order once every row is read.
    bool em_ordem_ = false;
    struct Pendente {
        // Left unset in a piece handed out, rather than zeroed and written again: each call
        // fills its own place. (A constructor "= default" would have a piece zeroed.)
        Pendente() {}
        Pendente(std::uint64_t n, Preco p, std::uint32_t i, bool f, std::uint32_t s)
            : numero(n), preco(p), inicio(i & 0x7FFFFFFFU), na_franquia(f), segundos(s) {}
        std::uint64_t numero;  // Avaliacao::numero, or a place in outros_numeros_
        Preco preco;
        std::uint32_t inicio : 31;  // the answer's second from the start of its month, the bill's
        std::uint32_t na_franquia : 1;
        std::uint32_t segundos;
    };
    // The calls of one line (by its key) in one bill, and the plan of the first: in pieces, each
    // twice the one before up to a limit, so that a line of one call takes little room and no
    // line's calls are copied to grow. What each call reads, half a cache line; the pieces
    // apart, in pedacos_.
    struct alignas(32) LinhaDaConta {
        std::uint64_t linha;
        Pendente* proxima = nullptr;  // the next call's place in the last piece
        Pendente* fim = nullptr;      // of the last piece
        std::uint32_t conta;
        std::uint16_t plano;
        void acrescenta(const Pendente& p, CobrancaRegistros& c) {
            if (proxima == fim) c.novo_pedaco(*this);
            *proxima++ = p;
        }
    };
    // The calls a line's piece `k` holds: 4, 8... up to 256.
    static std::size_t tamanho_do_pedaco(std::size_t k) {
        return std::size_t{4} << std::min<std::size_t>(k, 6);
    }
    void novo_pedaco(LinhaDaConta& l);
    // The pieces, handed out in order from blocks of huge pages: a page fault every 2 MiB of
    // calls. A block is never filled past the room it was given, so its pieces stay in place.
    using Bloco = std::vector<Pendente, EmPaginasGrandes<Pendente>>;
    static constexpr std::size_t por_bloco =
        2 * EmPaginasGrandes<Pendente>::pagina / sizeof(Pendente);
    std::vector<Bloco> blocos_;
    std::vector<LinhaDaConta> linhas_das_contas_;
    std::vector<std::vector<Pendente*>> pedacos_;  // of each of linhas_das_contas_
    // The place in linhas_das_contas_ + 1 of a line's calls in a bill, by the line's key and the
    // bill's place in contas_: open addressing, 0 a free place. Four bytes a place, the key
    // compared in the calls' own record, which a call reads anyway.
    std::vector<std::uint32_t> vagas_ = std::vector<std::uint32_t>(1024);
    std::uint32_t& vaga(std::uint64_t linha, std::size_t conta) {
        const std::size_t m = vagas_.size() - 1;
        for (std::size_t i = mistura(linha ^ conta << 48) & m;; i = (i + 1) & m) {
            std::uint32_t& v = vagas_[i];
            if (v == 0) return v;
            if (const LinhaDaConta& l = linhas_das_contas_[v - 1];
                l.linha == linha && l.conta == conta)
                return v;
        }
    }
    // The calls of `linha` in the bill `conta`; a line's first call gives them `plano`.
    LinhaDaConta& linha_da_conta(std::uint64_t linha, std::size_t conta, std::uint16_t plano) {
        if (const std::uint32_t v = vaga(linha, conta); v != 0) return linhas_das_contas_[v - 1];
        return nova_linha_da_conta(linha, conta, plano);
    }
    LinhaDaConta& nova_linha_da_conta(std::uint64_t linha, std::size_t conta, std::uint16_t plano);

    Textos outros_numeros_;  // numbers and lines without a key of digits
};

// The files to bill.
struct ArquivosRegistros {
    std::vector<std::string> chamadas;     // records files, in order
    std::string linhas;                    // the lines file; empty: none
    const TabelaLinhas* tabela = nullptr;  // or the lines already read, a book's
};

struct Cobradas {
    Erro erro;
    Contas contas;
    ResumoCobranca resumo;
    std::optional<TDataHora> ultima;  // the latest start billed
    std::string rejeitadas;           // CobrancaRegistros::rejeitadas()
};

// Gives each line of `linhas` its plan's place in the price list `tarifa` (without a list, the
// first); a plan the list does not have is an error naming `arquivo` and the line's row.
Erro acha_planos(TabelaLinhas& linhas, const Tarifa& tarifa, const std::string& arquivo);

// Reads the lines file, then bills every records file (a file named twice is refused: its calls
// would be billed twice). With pedido.aceita_rejeitados an unreadable row goes to the rejected
// rows' CSV instead of stopping the billing. The rows of `pedido.linhas` come from a.linhas.
Cobradas cobra_arquivos(const ArquivosRegistros& a, PedidoCobranca pedido);
