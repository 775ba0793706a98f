#include "campos_csv.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Finds separators and quotes in a row 64 bytes at a time: a bit for each such byte.
class Varredor {
  public:
    Varredor(std::string_view linha, char separador) : l_(linha), separador_(separador) {}

    // The first separator (or, with `aspas`, quote) at or after `pos`; the row's length when none.
    std::size_t proximo(std::size_t pos, bool aspas) {
        while (pos < l_.size()) {
            const std::size_t bloco = pos & ~std::size_t{63};
            if (bloco != bloco_) carrega(bloco);
            if (const std::uint64_t m = (aspas ? aspas_ : separadores_) >> (pos - bloco); m != 0)
                return pos + static_cast<std::size_t>(std::countr_zero(m));
            pos = bloco + 64;
        }
        return l_.size();
    }

  private:
    void carrega(std::size_t bloco) {
        bloco_ = bloco;
        const char* p = l_.data() + bloco;
        std::array<char, 64> resto{};
        if (l_.size() - bloco < 64) {
            // The row's last bytes, and zeros, which are neither separators nor quotes.
            std::memcpy(resto.data(), p, l_.size() - bloco);
            p = resto.data();
        }
#ifdef __SSE2__
        const __m128i sep = _mm_set1_epi8(separador_);
        const __m128i aspa = _mm_set1_epi8('"');
        separadores_ = aspas_ = 0;
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            const auto bits = [&](__m128i c) {
                return static_cast<std::uint64_t>(
                           static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, c))))
                       << (16 * k);
            };
            separadores_ |= bits(sep);
            aspas_ |= bits(aspa);
        }
#else
        separadores_ = aspas_ = 0;
        for (std::size_t i = 0; i < 64; ++i) {
            separadores_ |= static_cast<std::uint64_t>(p[i] == separador_) << i;
            aspas_ |= static_cast<std::uint64_t>(p[i] == '"') << i;
        }
#endif
    }

    std::string_view l_;
    char separador_;
    std::size_t bloco_ = ~std::size_t{0};  // the 64 bytes whose bits are below
    std::uint64_t separadores_ = 0;
    std::uint64_t aspas_ = 0;
};

}  // namespace

void separa_campos(std::string_view linha, char separador, std::size_t maximo, CamposCsv& c) {
    c.n = 0;
    c.mais = false;
    c.valido = true;
    c.duplas = 0;
    maximo = std::min(maximo, CamposCsv::capacidade);
    Varredor v(linha, separador);
    const std::size_t fim = linha.size();
    std::size_t pos = 0;
    for (;;) {
        if (c.n == maximo) {
            c.mais = true;
            return;
        }
        if (pos < fim && linha[pos] == '"') {
            std::size_t q = pos + 1;
            for (;;) {
                q = v.proximo(q, true);
                if (q == fim) {
                    c.valido = false;
                    return;
                }
                if (q + 1 == fim || linha[q + 1] != '"') break;
                c.duplas |= 1U << c.n;
                q += 2;
            }
            c.campos[c.n++] = linha.substr(pos + 1, q - pos - 1);
            pos = q + 1;
            if (pos == fim) return;
            if (linha[pos] != separador) {
                c.valido = false;
                return;
            }
            ++pos;
        } else {
            const std::size_t s = v.proximo(pos, false);
            c.campos[c.n++] = linha.substr(pos, s - pos);
            if (s == fim) return;
            pos = s + 1;
        }
    }
}

std::string_view desfaz_aspas(std::string_view campo, std::string& destino) {
    const std::size_t inicio = destino.size();
    for (std::size_t i = 0; i < campo.size(); ++i) {
        destino += campo[i];
        if (campo[i] == '"') ++i;
    }
    return std::string_view(destino).substr(inicio);
}
