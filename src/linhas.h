#pragma once
// The lines file: which customer each caller of a PBX is. A CSV with the header
// "numero,cliente" (or "numero;cliente" with the spreadsheet dialect's mark and line ends):
// `numero` is the caller as the PBX writes its src, a phone number or an extension name;
// `cliente` is a customer code of the register. A third column, `plano`, names the price plan of
// each line (empty: the price list's first plan). LF, CRLF and a bare CR end a line.
//
// Lines compare as telefone.h reads numbers: "(85) 9 8877-4123", "85988774123", "085988774123",
// "+55 85 98877-4123" and "0055 85 98877 4123" are one line; an extension such as 211553 and
// "21-1553" are one too. Any other text is an extension name, compared as written.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "clientes.h"
#include "erro.h"
#include "espalha.h"

class Telefone;

// The lines by number, compact for the hundreds of thousands of a book: one record of 24 bytes
// per line, in the order they were added, found through a table of open addressing on the
// line's digits as one integer; names and longer numbers by their text. The numbers as written
// are kept end to end in one text, the plans' names once each.
class TabelaLinhas {
  public:
    struct Linha {
        std::uint64_t chave;  // the digits as an integer; 0: found by its text
        std::uint32_t cod_cli;
        std::uint32_t fim;               // of the number as written, in the table's text
        std::uint32_t linha;             // of the file; 0: of a book
        std::uint16_t indice_plano = 0;  // in the price list (acha_planos); 0: the first
        std::uint16_t plano_lido = 0;    // in planos()
    };
    // A plan's name as written and the first line that names it.
    struct PlanoLido {
        std::string nome;
        std::uint32_t linha;
    };

    // Room for `n` lines without growing.
    void reserva(std::size_t n);
    // Adds the line `numero` of customer `cod_cli`, listed on line `linha` of its file; when the
    // table already has that line, the table stays as it is and the answer is where it was listed.
    std::optional<std::size_t> insere(std::string_view numero, std::uint32_t cod_cli,
                                      std::size_t linha = 0, std::string_view plano = {});
    // Adds the line `numero` of customer `cod_cli` without looking for it yet: faster for many
    // lines at once, which are found once indexa() has run. Of two alike, the first stays.
    void acrescenta(std::string_view numero, std::uint32_t cod_cli, std::string_view plano = {});
    void indexa();
    // The customer whose line `numero` is; nothing when none.
    [[nodiscard]] std::optional<std::uint32_t> cliente(std::string_view numero) const;
    [[nodiscard]] std::size_t tamanho() const { return linhas_.size(); }

    // The line `numero`; none when it is not in the table.
    [[nodiscard]] const Linha* busca(std::string_view numero) const;
    // The same, of a number already read.
    [[nodiscard]] const Linha* busca(const Telefone& numero) const;
    // The number of line `l` as written.
    [[nodiscard]] std::string_view numero(const Linha& l) const;
    // Each line, in the order they were added.
    template <typename F>
    void para_cada(F&& f) const {
        for (const Linha& l : linhas_)
            f(l);
    }
    // The plans the lines name, each once, by Linha::plano_lido; the first is the empty name.
    [[nodiscard]] const std::vector<PlanoLido>& planos() const { return planos_; }
    // Each line's plan in the price list: indices[plano_lido].
    void poe_planos(std::span<const std::uint16_t> indices);

  private:
    [[nodiscard]] std::size_t posicao(std::uint64_t chave) const;
    static std::uint64_t vaga(std::uint64_t chave, std::uint32_t i);
    void espalha(std::size_t vagas);
    // Drops the lines `fora` (in ascending order) and their texts.
    void tira(std::span<const std::uint32_t> fora);
    void guarda(std::string_view numero, std::uint64_t chave, std::uint32_t cod_cli,
                std::size_t linha, std::string_view plano_lido);
    std::uint16_t plano(std::string_view nome, std::size_t linha);

    // Found by a view of the key, without building a string.
    struct Espalha {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    std::vector<Linha> linhas_;
    std::string escritos_;              // the numbers as written, end to end
    std::vector<std::uint64_t> vagas_;  // by mistura(chave) (see vaga); 0: free
    std::size_t indexadas_ = 0;         // of linhas_, those in vagas_
    // Sixteen bits a slot, one set by the top bits of mistura(chave) of each key in vagas_:
    // most numbers looked up (those called) are no line, told so by one bit of a table that stays
    // in the cache (2 KiB for a few hundred lines) rather than by a slot.
    std::vector<std::uint64_t> filtro_;
    int desloca_filtro_ = 64;
    void marca(std::uint64_t h) {
        const std::uint64_t b = h >> desloca_filtro_;
        filtro_[b / 64] |= std::uint64_t{1} << (b % 64);
    }
    [[nodiscard]] bool marcada(std::uint64_t h) const {
        const std::uint64_t b = h >> desloca_filtro_;
        return (filtro_[b / 64] >> (b % 64) & 1U) != 0;
    }
    std::unordered_map<std::string, std::uint32_t, Espalha, std::equal_to<>> por_texto_;
    std::vector<PlanoLido> planos_{{{}, 0}};
    std::unordered_map<std::string, std::uint16_t, Espalha, std::equal_to<>> plano_por_nome_;
};

// The lines of one table's callers looked up lately, by their text as written: rows mostly come
// from a few hundred callers, and comparing a text costs less than reading it as a number again.
// One a thread; a text of more than 16 bytes is looked up every time.
class LinhasLembradas {
  public:
    // The line `numero` (none: it is no line), from `busca()` when it is not remembered.
    template <class Busca>
    const TabelaLinhas::Linha* busca(std::string_view numero, const Busca& busca) {
        const std::size_t n = numero.size();
        if (n > 16) return busca();
        const Palavras w = palavras(numero.data(), n);
        // The top bits of a product hang on every bit below them.
        std::array<Lembrada, 2>& par =
            pares_[((w.a + std::rotl(w.b, 32) + n) * 0x9E3779B97F4A7C15U) >> (64 - bits)];
        for (std::size_t i = 0; i < par.size(); ++i)
            if (par[i].a == w.a && par[i].b == w.b && par[i].n == n + 1) {
                // The one found last is looked at first.
                if (i != 0) std::swap(par[0], par[i]);
                return par[0].linha;
            }
        const TabelaLinhas::Linha* l = busca();
        par[1] = par[0];
        par[0] = {w.a, w.b, l, n + 1};
        return l;
    }

  private:
    struct Lembrada {
        std::uint64_t a = 0, b = 0;  // palavras() of the text
        const TabelaLinhas::Linha* linha = nullptr;
        std::size_t n = 0;  // its size + 1; 0: none
    };
    static constexpr unsigned bits = 8;
    std::array<std::array<Lembrada, 2>, std::size_t{1} << bits> pares_{};
};

// A row of a lines file as written.
struct LinhaLida {
    std::string numero;
    std::uint32_t cliente;
    std::string plano{};  // empty: the first
};

// Fills `tabela` from the bytes of a lines file; `lidas`, when given, gets its rows. A line listed
// twice, a customer that is not in `clientes`, a row without two fields or bytes without the
// header: an Erro of kind dados naming the line (the file is left to the caller).
Erro decodifica_linhas(std::string_view csv, const Clientes& clientes, TabelaLinhas& tabela,
                       std::vector<LinhaLida>* lidas = nullptr);
// Fills `tabela` from the lines file `caminho`. A line listed twice, a customer that is not in
// `clientes`, a row without two fields or a file without the header: an Erro of kind dados
// naming the file and line.
Erro le_linhas(const std::string& caminho, const Clientes& clientes, TabelaLinhas& tabela,
               std::vector<LinhaLida>* lidas = nullptr);
// The customer whose line `src` is; nothing when none.
std::optional<std::uint32_t> cliente_da_linha(const TabelaLinhas& t, std::string_view src);
