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
    // The next row, without its '\n', into `linha`; when it is plain, its fields into `c` (the
    // views of those not looked at left as they were) and true into `simples`. False after the
    // last row.
    bool proxima(std::string_view& linha, CamposCsv& c, bool& simples);

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
};
