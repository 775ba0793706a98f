#include "blocos_csv.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __x86_64__
#include <immintrin.h>
#include <wmmintrin.h>
#endif

namespace {

// The bytes that matter in 64 bytes of a file, one bit per byte.
struct Marcas {
    std::uint64_t aspas;
    std::uint64_t separadores;
    std::uint64_t fins;       // '\n'
    std::uint64_t estranhos;  // CR and NUL: a row holding one is read with care
    std::uint64_t pares;      // the prefix XOR of aspas: bit i set after an odd number of quotes
};

// The prefix XOR by shifts.
std::uint64_t prefixo_xor(std::uint64_t x) {
    for (unsigned d = 1; d < 64; d *= 2)
        x ^= x << d;
    return x;
}

Marcas marca_portavel(const char* p, char separador) {
    Marcas m{};
    for (unsigned i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        m.aspas |= p[i] == '"' ? bit : 0;
        m.separadores |= p[i] == separador ? bit : 0;
        m.fins |= p[i] == '\n' ? bit : 0;
        m.estranhos |= p[i] == '\r' || p[i] == '\0' ? bit : 0;
    }
    m.pares = prefixo_xor(m.aspas);
    return m;
}

// Marks `n` times 64 bytes from `p` into `m`.
using MarcaLote = void (*)(const char* p, std::size_t n, char separador, Marcas* m);

[[maybe_unused]] void marca_lote_portavel(const char* p, std::size_t n, char separador, Marcas* m) {
    for (std::size_t i = 0; i < n; ++i)
        m[i] = marca_portavel(p + 64 * i, separador);
}

// CR and NUL are among the bytes with no bit outside 0x0D, which are seldom in a file: their
// exact bits are found only where there are some.
#ifdef __SSE2__
void marca_lote_sse2(const char* p, std::size_t n, char separador, Marcas* m) {
    const __m128i aspa = _mm_set1_epi8('"');
    const __m128i sep = _mm_set1_epi8(separador);
    const __m128i fim = _mm_set1_epi8('\n');
    const __m128i fora_de_0d = _mm_set1_epi8(~0x0D);
    const __m128i zero = _mm_setzero_si128();
    for (std::size_t i = 0; i < n; ++i, p += 64) {
        __m128i v[4];
        __m128i raros = zero;
        for (std::size_t k = 0; k < 4; ++k) {
            v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            raros = _mm_or_si128(raros, _mm_cmpeq_epi8(_mm_and_si128(v[k], fora_de_0d), zero));
        }
        const auto bits = [&](__m128i c) {
            std::uint64_t b = 0;
            for (std::size_t k = 0; k < 4; ++k)
                b |= static_cast<std::uint64_t>(
                         static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v[k], c))))
                     << (16 * k);
            return b;
        };
        m[i].aspas = bits(aspa);
        m[i].separadores = bits(sep);
        m[i].fins = bits(fim);
        m[i].estranhos = _mm_movemask_epi8(raros) == 0 ? 0 : marca_portavel(p, separador).estranhos;
        m[i].pares = prefixo_xor(m[i].aspas);
    }
}
#endif

#ifdef __x86_64__
// The bits of two comparisons of 32 bytes.
[[gnu::target("avx2")]] inline std::uint64_t bits_avx2(__m256i x, __m256i y) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(x))) |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(y))) << 32;
}

// 32 bytes at a time, the prefix XOR as one carry-less multiply by all ones.
[[gnu::target("avx2,pclmul")]] void marca_lote_avx2(const char* p, std::size_t n, char separador,
                                                    Marcas* m) {
    const __m256i aspa = _mm256_set1_epi8('"');
    const __m256i sep = _mm256_set1_epi8(separador);
    const __m256i fim = _mm256_set1_epi8('\n');
    const __m256i fora_de_0d = _mm256_set1_epi8(~0x0D);
    const __m256i zero = _mm256_setzero_si256();
    const __m128i uns = _mm_set1_epi8(-1);
    for (std::size_t i = 0; i < n; ++i, p += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const __m256i raros =
            _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_and_si256(a, fora_de_0d), zero),
                            _mm256_cmpeq_epi8(_mm256_and_si256(b, fora_de_0d), zero));
        m[i].aspas = bits_avx2(_mm256_cmpeq_epi8(a, aspa), _mm256_cmpeq_epi8(b, aspa));
        m[i].separadores = bits_avx2(_mm256_cmpeq_epi8(a, sep), _mm256_cmpeq_epi8(b, sep));
        m[i].fins = bits_avx2(_mm256_cmpeq_epi8(a, fim), _mm256_cmpeq_epi8(b, fim));
        m[i].estranhos =
            _mm256_movemask_epi8(raros) == 0 ? 0 : marca_portavel(p, separador).estranhos;
        const __m128i q = _mm_cvtsi64_si128(static_cast<long long>(m[i].aspas));
        m[i].pares = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_clmulepi64_si128(q, uns, 0)));
    }
}
#endif

MarcaLote marca_lote() {
#ifdef __x86_64__
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul")) return marca_lote_avx2;
#endif
#ifdef __SSE2__
    return marca_lote_sse2;
#else
    return marca_lote_portavel;
#endif
}

}  // namespace

void VarredorBloco::prepara(std::string_view bytes, char separador, std::size_t maximo,
                            std::uint32_t usados) {
    static const MarcaLote marca = marca_lote();
    bytes_ = bytes;
    separador_ = separador;
    maximo_ = std::min(maximo, CamposCsv::capacidade);
    usados_ = usados;
    const std::size_t blocos = (bytes.size() + 63) / 64;
    terminadores_.resize(blocos);
    fins_.resize(blocos);
    dobradas_.resize(blocos);
    estranhos_.clear();
    // Carried from one 64 bytes to the next: inside quotes, the last byte ended a field (the
    // block starts a row), the last byte closed quotes.
    std::uint64_t dentro = 0, apos_fim = 1, apos_fecha = 0;
    // Marked a lot at a time, then looked at in order.
    constexpr std::size_t lote = 64;
    std::array<Marcas, lote> marcas;
    for (std::size_t b0 = 0; b0 < blocos; b0 += lote) {
        const std::size_t n = std::min(lote, blocos - b0);
        const std::size_t inteiros = std::min(n, bytes.size() / 64 - b0);
        marca(bytes.data() + b0 * 64, inteiros, separador, marcas.data());
        if (inteiros < n) {
            // The last bytes, after them zeros, which are no line end.
            std::array<char, 64> resto{};
            const std::size_t pos = (b0 + inteiros) * 64;
            std::memcpy(resto.data(), bytes.data() + pos, bytes.size() - pos);
            marca(resto.data(), 1, separador, &marcas[inteiros]);
            marcas[inteiros].estranhos &= (std::uint64_t{1} << (bytes.size() - pos)) - 1;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const Marcas& m = marcas[i];
            // Bit i: byte i is inside quotes (an opening quote is, its closing quote is not).
            std::uint64_t r = m.pares ^ (0 - dentro);
            std::uint64_t estranho = m.estranhos;
            // A row with an odd number of quotes is not plain, and the next starts outside quotes.
            for (std::uint64_t impar = r & m.fins; impar != 0;) {
                const int j = std::countr_zero(impar);
                estranho |= std::uint64_t{1} << j;
                r ^= ~std::uint64_t{0} << j;
                impar = r & m.fins & ~((std::uint64_t{2} << j) - 1);
            }
            dentro = r >> 63;
            const std::uint64_t abre = m.aspas & r, fecha = m.aspas & ~r;
            const std::uint64_t fins = (m.separadores & ~r) | m.fins;
            const std::uint64_t depois_fim = fins << 1 | apos_fim;
            const std::uint64_t depois_fecha = fecha << 1 | apos_fecha;
            apos_fim = fins >> 63;
            apos_fecha = fecha >> 63;
            // Quotes open a field or double a quote; closing ones end a field or are doubled.
            estranho |= (abre & ~(depois_fim | depois_fecha)) | (depois_fecha & ~(fins | abre));
            terminadores_[b0 + i] = fins;
            fins_[b0 + i] = m.fins;
            dobradas_[b0 + i] = abre & depois_fecha;
            for (; estranho != 0; estranho &= estranho - 1)
                estranhos_.push_back((b0 + i) * 64 +
                                     static_cast<std::size_t>(std::countr_zero(estranho)));
        }
    }
    estranhos_.push_back(bytes.size());
    inicio_ = 0;
    estranho_ = 0;
}

namespace {

// The set bits of `x`, by halves, quarters and so on (no instruction for it is assumed).
unsigned conta_bits(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555;
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<unsigned>((x * 0x0101010101010101) >> 56);
}

}  // namespace

bool VarredorBloco::proxima(std::string_view& linha, bool& simples) {
    if (inicio_ >= bytes_.size()) return false;
    const std::size_t maximo = maximo_;
    // Fields ended so far, from all the set bits of 64 bytes at once, and the fields with
    // doubled quotes; the 64 bytes beyond the fields wanted are only looked at for the line end.
    std::size_t n = 0;
    std::uint32_t duplas = 0;
    std::size_t bloco = inicio_ / 64;
    std::uint64_t desde = ~std::uint64_t{0} << (inicio_ % 64);
    std::size_t fim = 0;
    for (;; ++bloco, desde = ~std::uint64_t{0}) {
        const std::uint64_t t = terminadores_[bloco] & desde;
        const std::uint64_t nl = t & fins_[bloco];
        // This row's bits among these 64: up to its line end, if that is here.
        const std::uint64_t ate = nl ^ (nl - 1);
        if (n <= maximo) {
            std::uint64_t f = t & ate;
            // The second quote of a doubled quote is in the field that ends next: the one after
            // as many as end before it here.
            for (std::uint64_t d = dobradas_[bloco] & desde & ate; d != 0; d &= d - 1)
                if (const std::size_t i = n + conta_bits(f & (d ^ (d - 1))); i < maximo)
                    duplas |= std::uint32_t{1} << i;
            const std::size_t base = bloco * 64 - inicio_;
            for (; f != 0; f &= f - 1)
                fins_campos_[n++] = base + static_cast<unsigned>(std::countr_zero(f));
        }
        if (nl != 0) {
            fim = bloco * 64 + static_cast<std::size_t>(std::countr_zero(nl));
            break;
        }
    }
    n_ = n;
    duplas_ = duplas;
    linha = bytes_.substr(inicio_, fim - inicio_);
    simples = fim > inicio_ && estranhos_[estranho_] > fim;
    while (estranhos_[estranho_] <= fim)
        ++estranho_;
    inicio_ = fim + 1;
    return true;
}

bool VarredorBloco::proxima(std::string_view& linha, CamposCsv& c, bool& simples) {
    if (!proxima(linha, simples)) return false;
    if (simples) campos(linha, c);
    return true;
}

void VarredorBloco::campos(std::string_view linha, CamposCsv& c) const {
    c.n = std::min(n_, maximo_);
    // The last field split was ended by a separator, not the line end.
    c.mais = n_ > maximo_;
    c.valido = true;
    c.duplas = duplas_;
    for (std::uint32_t u = usados_ & ((std::uint32_t{1} << c.n) - 1); u != 0; u &= u - 1) {
        const auto i = static_cast<std::size_t>(std::countr_zero(u));
        c.campos[i] = campo(linha.data(), i);
    }
}
