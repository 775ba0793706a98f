#pragma once
// Whole CSV rows of a block split into fields in one pass over its bytes. Bit masks of the
// quotes, separators and line ends are built 64 bytes at a time; the quoted stretches are the
// prefix XOR of the quotes (a carry-less multiply where the processor has one), so that each
// field ends at the next separator outside them and is found from the set bits alone.
//
// A row is plain when every quoted field opens at its start and closes right before a separator
// or the line end, quotes inside it come doubled, no bare field holds a quote, and the row holds
// no CR or NUL byte and is not empty. The fields of a plain row are exactly those separa_campos
// gives; any other row is left to separa_campos and to whatever careful reading its caller does.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "campos_csv.h"

class VarredorBloco {
  public:
    // Looks at `bytes`, whole rows the last of which ends at a '\n', to be split at `separador`
    // into their first `maximo` fields, of which those in `usados` (bit i: field i) are looked
    // at. The buffers are kept from one block to the next.
    void prepara(std::string_view bytes, char separador, std::size_t maximo,
                 std::uint32_t usados = ~std::uint32_t{0});
    // The next row, without its '\n', into `linha`, and whether it is plain into `simples`;
    // false after the last row. Of a plain row, n(), fin() and duplas() then say where its
    // fields are, and campo() gives one.
    bool proxima(std::string_view& linha, bool& simples);
    // The same, and when the row is plain, its fields into `c` as campos() puts them.
    bool proxima(std::string_view& linha, CamposCsv& c, bool& simples);
    // The fields of the last row, `linha`, a plain one, into `c` (the views of those not looked
    // at left as they were).
    void campos(std::string_view linha, CamposCsv& c) const;

    // The fields of the last row found, up to `maximo` + 1 (more than `maximo`: the row has
    // more), or more: those whose ends are in the same 64 bytes are all counted.
    [[nodiscard]] std::size_t n() const { return n_; }
    // Which of its first `maximo` fields hold doubled quotes (bit i: field i).
    [[nodiscard]] std::uint32_t duplas() const { return duplas_; }
    // Field `i` (below n() and `maximo`) of the last row when it is plain, `l` its first byte:
    // without the quotes around it (a field that opens with one closes with another), and
    // quotes still doubled inside.
    [[nodiscard]] std::string_view campo(const char* l, std::size_t i) const {
        const std::size_t inicio = i == 0 ? 0 : fins_campos_[i - 1] + 1;
        const std::size_t fim = fins_campos_[i];
        const std::size_t aspas = l[inicio] == '"';
        return {l + inicio + aspas, fim - inicio - 2 * aspas};
    }

  private:
    std::string_view bytes_{};
    char separador_ = ',';
    std::size_t maximo_ = 0;
    std::uint32_t usados_ = 0;
    // Per 64 bytes: field ends (separators outside quotes and line ends), line ends, and the
    // second quote of each doubled quote.
    std::vector<std::uint64_t> terminadores_{};
    std::vector<std::uint64_t> fins_{};
    std::vector<std::uint64_t> dobradas_{};
    std::vector<std::size_t> estranhos_{};  // where rows are not plain, in order, then the end
    std::size_t inicio_ = 0;                // of the next row
    std::size_t estranho_ = 0;              // the next entry of estranhos_
    // Of the last row: where each field ends (its separator or line end, from the row's start),
    // with room for the ends of 64 bytes more than the fields wanted.
    std::array<std::size_t, CamposCsv::capacidade + 1 + 64> fins_campos_{};
    std::size_t n_ = 0;
    std::uint32_t duplas_ = 0;
};
