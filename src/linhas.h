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

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "clientes.h"
#include "erro.h"

class Telefone;

class TabelaLinhas {
  public:
    // Adds the line `numero` of customer `cod_cli`, listed on line `linha` of its file; when the
    // table already has that line, the table stays as it is and the answer is where it was listed.
    std::optional<std::size_t> insere(std::string_view numero, std::uint32_t cod_cli,
                                      std::size_t linha = 0, std::string_view plano = {});
    // The customer whose line `numero` is; nothing when none.
    [[nodiscard]] std::optional<std::uint32_t> cliente(std::string_view numero) const;
    [[nodiscard]] std::size_t tamanho() const { return linhas_.size(); }

    struct Linha {
        std::uint32_t cod_cli;
        std::size_t linha;  // of the file
        std::string plano;  // as written; empty: the first
        std::uint16_t indice_plano = 0;
        std::string numero;  // as written
    };
    // The line `numero`; none when it is not in the table.
    [[nodiscard]] const Linha* busca(std::string_view numero) const;
    // The same, of a number already read.
    [[nodiscard]] const Linha* busca(const Telefone& numero) const;
    // Each line, in no order.
    template <typename F>
    void para_cada(F&& f) {
        for (auto& [chave, l] : linhas_)
            f(l);
    }
    template <typename F>
    void para_cada(F&& f) const {
        for (const auto& [chave, l] : linhas_)
            f(l);
    }

  private:
    // Found by a view of the key, without building a string.
    struct Espalha {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    // By key: the digits of a number, the text of an extension name.
    std::unordered_map<std::string, Linha, Espalha, std::equal_to<>> linhas_{};
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
