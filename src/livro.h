#pragma once
// The operator's book: every customer, line and issued bill in one SQLite database, for any
// number of customers, kept with the sqlite3 C API. Its schema (documented for the sqlite3
// shell in the README) carries its version in PRAGMA user_version; a book of a newer version,
// one whose tables were changed by hand, or a file that is not SQLite is refused by name. The
// book is opened in WAL mode, so readers never wait; a writer waits up to 5 s for another and
// then says so. Every change is one transaction: a program killed at any moment leaves the book
// as it was before or after it.
//
// The commands of contacel-clientes take a book wherever they take a register: each operation
// below is the register's for a file that is not a book (see e_livro).

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "clientes.h"
#include "cobranca.h"
#include "cobranca_registros.h"
#include "dialeto_csv.h"
#include "erro.h"
#include "linhas.h"

struct sqlite3;

// The schema version this program writes and reads.
inline constexpr int versao_do_livro = 1;

// Whether `caminho` names a book: a file that begins with SQLite's header, or a name ending in
// ".db" (a new book, or a file that is refused as not being one).
bool e_livro(const std::string& caminho);

// A line of the book: as written, its customer and its price plan (empty: the default one).
struct LinhaDoLivro {
    std::string numero;
    std::uint32_t cliente = 0;
    std::string plano{};
};

// A bill the book keeps: one per customer and month, numbered "AAAA-NNNNNN" in its year of
// issue, with the SHA-256 of its document.
struct FaturaDoLivro {
    std::string numero;
    std::uint32_t cliente = 0;
    std::int16_t ano = 0;
    std::int8_t mes = 0;
    std::int64_t valor_centavos = 0;
    TData vencimento{};
    TData emitida_em{};
    std::string sha256{};
};

class Livro {
  public:
    // Opens the book `caminho`; with `cria`, one that does not exist is made empty.
    static Erro abre(const std::string& caminho, bool cria, std::unique_ptr<Livro>& livro);
    ~Livro();
    Livro(const Livro&) = delete;
    Livro& operator=(const Livro&) = delete;

    Erro clientes(Clientes& lista);
    // The codes of every customer, in ascending order.
    Erro codigos(std::vector<std::uint32_t>& lista);
    // Appends to `lista` the customers of the codes `cods` that the book has.
    Erro clientes(std::span<const std::uint32_t> cods, Clientes& lista);
    Erro linhas(std::vector<LinhaDoLivro>& lista);
    // Each line in turn, without holding them all: its number, customer and plan.
    Erro linhas(const std::function<void(std::string_view, std::uint32_t, std::string_view)>& cada);
    // Runs `muda` as one transaction, taken for writing at once: kept when it returns ok.
    template <typename F>
    Erro transacao(F&& muda) {
        if (Erro e = executa("BEGIN IMMEDIATE"); !e.ok()) return e;
        Erro e = muda();
        if (e.ok()) e = executa("COMMIT");
        if (!e.ok()) static_cast<void>(executa("ROLLBACK"));
        return e;
    }
    // Takes the book for writing, as one transaction kept only by grava(): closed before, the
    // book is as it was.
    Erro trava() { return executa("BEGIN IMMEDIATE"); }
    Erro grava() { return executa("COMMIT"); }
    // Inserts each customer, or gives the customer of its code its fields.
    Erro grava_clientes(std::span<const Cliente> lista);
    Erro grava_cliente(const Cliente& c) { return grava_clientes(std::span(&c, 1)); }
    // Removes the customer `cod`; refused when bills or lines are kept for it.
    Erro exclui_cliente(std::uint32_t cod);
    // The book's lines become `linhas`.
    Erro troca_linhas(std::span<const LinhaDoLivro> linhas);
    // A consistent copy of the book, taken while others write, as the new file `destino`.
    Erro copia_para(const std::string& destino);
    [[nodiscard]] const std::string& caminho() const { return caminho_; }

    // One SQL statement without results.
    Erro executa(const char* sql);
    // What SQLite's result `rc` means, said of the book.
    Erro falha(int rc) const;
    [[nodiscard]] sqlite3* db() const { return db_; }

  private:
    explicit Livro(std::string caminho) : caminho_(std::move(caminho)) {}
    Erro prepara(bool cria);
    Erro confere_esquema();

    sqlite3* db_ = nullptr;
    std::string caminho_;
};

// The calls on the book's issued bills, asked row by row (only in the months that have any); a
// failure of the book meanwhile is kept for erro().
class FaturadasDoLivro final : public JaFaturadas {
  public:
    explicit FaturadasDoLivro(Livro& livro);
    ~FaturadasDoLivro() override;
    FaturadasDoLivro(const FaturadasDoLivro&) = delete;
    FaturadasDoLivro& operator=(const FaturadasDoLivro&) = delete;
    bool contem(const RegistroChamada& r) override;
    // Whether the book holds no call at all, and so nothing needs asking.
    bool nenhuma();
    [[nodiscard]] const Erro& erro() const { return erro_; }

  private:
    struct Consultas;
    std::unique_ptr<Consultas> consultas_;
    std::vector<std::pair<std::uint32_t, bool>> meses_;  // chave_mes asked: whether it has calls
    Erro erro_;
};

// The bills of records billed with a book, against the bills it issued (Contas::emitidas):
// - tira_emitidas: a bill already issued with nothing left to bill (its calls were on it, its
//   fees too) goes; one with calls stays, with the number it was issued with.
// - numera_faturas: after tira_emitidas, refuses a bill already issued, naming its number;
//   gives every other the next number of its year of issue, never one issued before.
// - registra_fatura: keeps the bill `conta` numbered so, its document's SHA-256 and the keys
//   of its calls (contas.chaves), in the book's transaction (see Livro::trava).
// - confere_segunda_via: each bill must have been issued with the same value and the same calls;
//   it gets again the number and dates it was issued with.
Erro tira_emitidas(Livro& l, Contas& contas);
Erro numera_faturas(Livro& l, Contas& contas);
Erro registra_fatura(Livro& l, const Contas& contas, const ContaMensal& conta,
                     const std::string& sha256);
Erro confere_segunda_via(Livro& l, Contas& contas);

// The customers' codes and the lines of the book `caminho`, opened into `livro` for billing:
// each line with its plan in `tarifa`.
Erro abre_para_cobrar(const std::string& caminho, const Tarifa& tarifa,
                      std::unique_ptr<Livro>& livro, Clientes& clientes, TabelaLinhas& linhas);

// The bills of records billed with the book `l`, made ready to print: listed (tira_emitidas),
// issued (numera_faturas) or copied again (confere_segunda_via), each customer billed with the
// details the book has.
enum class UsoDasContas { lista, emissao, segunda_via };
Erro prepara_contas(Livro& l, Contas& contas, UsoDasContas uso);

// The customers and lines of the register or book `caminho`, for billing. A register has no
// lines.
Erro carrega_clientes(const std::string& caminho, Clientes& clientes,
                      std::vector<LinhaDoLivro>* linhas = nullptr);

// The commands of contacel-clientes on a register or a book (see cadastro.h for a register).
// Customer fields in order: nome, endereco, documento, email, cep, cidade, uf.
using CamposCliente = std::array<std::optional<std::string_view>, 7>;
Erro importa_clientes(const std::string& caminho, const std::string& csv, bool forcar,
                      Codificacao codificacao, std::size_t& importados);
Erro exporta_clientes(const std::string& caminho, const std::string& csv, bool forcar,
                      DialetoCsv dialeto, std::vector<Erro>& avisos);
Erro inclui(const std::string& caminho, std::uint32_t cod, const CamposCliente& campos,
            bool forcar);
Erro altera(const std::string& caminho, std::uint32_t cod, const CamposCliente& campos,
            bool forcar);
Erro exclui(const std::string& caminho, std::uint32_t cod, bool forcar);
// What verificar says: the number of customers and for which use the file serves, on `saida`.
Erro verifica(const std::string& caminho, std::string& saida, std::vector<Erro>& avisos);
Erro lista(const std::string& caminho, bool utf8, std::string& saida);

// The lines of a book: from a lines file (replacing them all; one already with lines only when
// `forcar`), to one (or standard output), or listed.
Erro importa_linhas(const std::string& livro, const std::string& csv, bool forcar,
                    std::size_t& importadas);
Erro exporta_linhas(const std::string& livro, const std::string& csv, bool forcar,
                    DialetoCsv dialeto);
Erro lista_linhas(const std::string& livro, std::string& saida);

// The run's register `arq` from the book: refused, with the reason, when it cannot hold it.
Erro exporta_cadastro(const std::string& livro, const std::string& arq, bool forcar);
// A consistent copy of the book as the new file `copia`.
Erro copia_livro(const std::string& livro, const std::string& copia);
