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

// The instructions bytes are marked with, 64 at a time; all of them find the same rows and fields.
enum class Instrucoes : unsigned char { portaveis, sse2, avx2, avx512 };
// Whether this processor has `i` (the portable ones it always has).
[[nodiscard]] bool tem_instrucoes(Instrucoes i);
// The fastest this processor has.
[[nodiscard]] Instrucoes melhores_instrucoes();

class VarredorBloco {
  public:
    VarredorBloco() : instrucoes_(melhores_instrucoes()) {}
    // Marking with `i`, or with the fastest this processor has when it lacks them.
    explicit VarredorBloco(Instrucoes i)
        : instrucoes_(tem_instrucoes(i) ? i : melhores_instrucoes()) {}
    [[nodiscard]] Instrucoes instrucoes() const { return instrucoes_; }

    // Looks at `bytes`, fewer than 4 GiB of whole rows the last of which ends at a '\n', to be
    // split at `separador` into their first `maximo` fields, of which those in `usados` (bit i:
    // field i) are looked at. The buffers are kept from one block to the next.
    void prepara(std::string_view bytes, char separador, std::size_t maximo,
                 std::uint32_t usados = ~std::uint32_t{0});
    // The next row, without its '\n', into `linha`, and whether it is plain into `simples`;
    // false after the last row. Of a plain row, n() and duplas() then say what its fields are,
    // and campo() gives one.
    bool proxima(std::string_view& linha, bool& simples);
    // The same, and when the row is plain, its fields into `c` as campos() puts them.
    bool proxima(std::string_view& linha, CamposCsv& c, bool& simples);
    // The fields of the last row, a plain one, into `c` (the views of those not looked at left
    // as they were).
    void campos(CamposCsv& c) const;

    // The fields of the last row found, all of them.
    [[nodiscard]] std::size_t n() const { return n_; }
    // Which of its first `maximo` fields hold doubled quotes (bit i: field i).
    [[nodiscard]] std::uint32_t duplas() const { return duplas_; }
    // The fields of the last row when it is plain, as a value that can be kept in registers
    // while they are taken one by one: field `i` (below n() and `maximo`) without the quotes
    // around it (a field that opens with one closes with another), and quotes still doubled
    // inside. A field starts after the end before it, the row before's line end for the first.
    struct Campos {
        const char* bytes;
        const std::uint32_t* fins;  // the end before the first field, then each field's end
        [[nodiscard]] std::string_view operator()(std::size_t i) const {
            const std::size_t inicio = static_cast<std::uint32_t>(fins[i] + 1);
            const std::size_t fim = fins[i + 1];
            const std::size_t aspas = bytes[inicio] == '"';
            return {bytes + inicio + aspas, fim - inicio - 2 * aspas};
        }
    };
    [[nodiscard]] Campos campos() const { return {bytes_.data(), fins_linha_}; }
    [[nodiscard]] std::string_view campo(std::size_t i) const { return campos()(i); }

  private:
    Instrucoes instrucoes_;
    std::string_view bytes_{};
    char separador_ = ',';
    std::size_t maximo_ = 0;
    std::uint32_t usados_ = 0;
    // Every field end in order, separators outside quotes and line ends, after one before the
    // first byte (-1, so that the first field starts at 0). In 32 bits, as the bytes are fewer
    // than 4 GiB, so that twice as many fit in the cache, and so that the compiler knows that
    // writing a field's size does not change them.
    std::vector<std::uint32_t> fins_{};
    // Per row, the entry of fins_ that is its line end.
    std::vector<std::size_t> linhas_{};
    // Per doubled quote, the entry of fins_ that ends its field; then one past all.
    std::vector<std::size_t> dobradas_{};
    // Where rows are not plain, in order; then the end of the bytes.
    std::vector<std::size_t> estranhos_{};
    // The next entry of each, and the next row's first byte.
    std::size_t fim_ = 1, linha_ = 0, dobrada_ = 0, estranho_ = 0, inicio_ = 0;
    // Of the last row: the end before its first field, then its fields' ends.
    const std::uint32_t* fins_linha_ = nullptr;
    std::size_t n_ = 0;
    std::uint32_t duplas_ = 0;
};

// Inline in the loop that reads the rows: a call a row costs about as much as what it does.
inline bool VarredorBloco::proxima(std::string_view& linha, bool& simples) {
    if (inicio_ >= bytes_.size()) return false;
    // The row's field ends are the entries up to its line end's.
    const std::size_t primeiro = fim_, ultimo = linhas_[linha_++];
    const std::size_t inicio = inicio_, fim = fins_[ultimo];
    fins_linha_ = fins_.data() + primeiro - 1;
    n_ = ultimo + 1 - primeiro;
    std::uint32_t duplas = 0;
    for (; dobradas_[dobrada_] <= ultimo; ++dobrada_)
        if (const std::size_t i = dobradas_[dobrada_] - primeiro; i < maximo_)
            duplas |= std::uint32_t{1} << i;
    duplas_ = duplas;
    linha = bytes_.substr(inicio, fim - inicio);
    simples = fim > inicio && estranhos_[estranho_] > fim;
    while (estranhos_[estranho_] <= fim)
        ++estranho_;
    fim_ = ultimo + 1;
    inicio_ = fim + 1;
    return true;
}
