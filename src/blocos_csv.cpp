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

// Where a pass over the bytes is: what is carried from one 64 bytes to the next, and where
// what is found about them goes.
struct Varredura {
    std::uint64_t dentro;        // the last byte was inside quotes
    std::uint64_t apos_fim;      // the last byte ended a field (the next starts a row)
    std::uint64_t apos_fecha;    // the last byte closed quotes
    std::size_t pos;             // of the 64 bytes
    const std::uint32_t* fins0;  // the first entry of the field ends
    std::uint32_t* fins;
    std::size_t* linhas;
    std::size_t* dobradas;
    std::size_t* estranhos;
};

// The set bits of `x`: one instruction in the ways of marking compiled for a processor that
// has it, a call to the library's count in the others.
[[gnu::always_inline]] inline std::size_t conta(std::uint64_t x) {
    return static_cast<std::size_t>(__builtin_popcountll(x));
}

// Appends to `p` the positions of the set bits of `x`, bit 0 at `base`.
template <class T>
[[gnu::always_inline]] inline T* lista(std::uint64_t x, std::size_t base, T* p) {
    for (; x != 0; x &= x - 1)
        *p++ = static_cast<T>(base + static_cast<std::size_t>(std::countr_zero(x)));
    return p;
}

// What 64 bytes, marked as `m`, hold, written where `v` says; their field ends, to be listed.
[[gnu::always_inline]] inline std::uint64_t separa(const Marcas& m, Varredura& v) {
    // Bit i: byte i is inside quotes (an opening quote is, its closing quote is not).
    std::uint64_t r = m.pares ^ (0 - v.dentro);
    std::uint64_t estranho = m.estranhos;
    // A row with an odd number of quotes is not plain, and the next starts outside quotes.
    for (std::uint64_t impar = r & m.fins; impar != 0;) {
        const int j = std::countr_zero(impar);
        estranho |= std::uint64_t{1} << j;
        r ^= ~std::uint64_t{0} << j;
        impar = r & m.fins & ~((std::uint64_t{2} << j) - 1);
    }
    v.dentro = r >> 63;
    const std::uint64_t abre = m.aspas & r, fecha = m.aspas & ~r;
    const std::uint64_t fins = (m.separadores & ~r) | m.fins;
    const std::uint64_t depois_fim = fins << 1 | v.apos_fim;
    const std::uint64_t depois_fecha = fecha << 1 | v.apos_fecha;
    v.apos_fim = fins >> 63;
    v.apos_fecha = fecha >> 63;
    // Quotes open a field or double a quote; closing ones end a field or are doubled.
    estranho |= (abre & ~(depois_fim | depois_fecha)) | (depois_fecha & ~(fins | abre));
    // A line end is the entry after the ends before it; the end of a doubled quote's field is
    // the first after it, the entry after the ends before it too.
    const auto k = static_cast<std::size_t>(v.fins - v.fins0);
    for (std::uint64_t x = m.fins; x != 0; x &= x - 1)
        *v.linhas++ = k + conta(fins & (x ^ (x - 1))) - 1;
    for (std::uint64_t x = abre & depois_fecha; x != 0; x &= x - 1)
        *v.dobradas++ = k + conta(fins & ((x & (0 - x)) - 1));
    v.estranhos = lista(estranho, v.pos, v.estranhos);
    return fins;
}

// The same, the field ends listed.
[[gnu::always_inline]] inline void classifica(const Marcas& m, Varredura& v) {
    v.fins = lista(separa(m, v), v.pos, v.fins);
    v.pos += 64;
}

// Goes over `n` times 64 bytes from `p`. Each way of marking 64 bytes has its own loop, so that
// the marks stay in registers; what `v` points to is read and written once.
using Varre = void (*)(const char* p, std::size_t n, char separador, Varredura& v);

void varre_portavel(const char* p, std::size_t n, char separador, Varredura& v) {
    Varredura w = v;
    for (std::size_t i = 0; i < n; ++i)
        classifica(marca_portavel(p + 64 * i, separador), w);
    v = w;
}

// CR and NUL are among the bytes with no bit outside 0x0D, which are seldom in a file: their
// exact bits are found only where there are some.
#ifdef __SSE2__
void varre_sse2(const char* p, std::size_t n, char separador, Varredura& v) {
    const __m128i aspa = _mm_set1_epi8('"');
    const __m128i sep = _mm_set1_epi8(separador);
    const __m128i fim = _mm_set1_epi8('\n');
    const __m128i fora_de_0d = _mm_set1_epi8(~0x0D);
    const __m128i zero = _mm_setzero_si128();
    Varredura w = v;
    for (std::size_t i = 0; i < n; ++i, p += 64) {
        __m128i x[4];
        __m128i raros = zero;
        for (std::size_t k = 0; k < 4; ++k) {
            x[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            raros = _mm_or_si128(raros, _mm_cmpeq_epi8(_mm_and_si128(x[k], fora_de_0d), zero));
        }
        const auto bits = [&](__m128i c) {
            std::uint64_t b = 0;
            for (std::size_t k = 0; k < 4; ++k)
                b |= static_cast<std::uint64_t>(
                         static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x[k], c))))
                     << (16 * k);
            return b;
        };
        Marcas m;
        m.aspas = bits(aspa);
        m.separadores = bits(sep);
        m.fins = bits(fim);
        m.estranhos = _mm_movemask_epi8(raros) == 0 ? 0 : marca_portavel(p, separador).estranhos;
        m.pares = prefixo_xor(m.aspas);
        classifica(m, w);
    }
    v = w;
}
#endif

#ifdef __x86_64__
// The prefix XOR as one carry-less multiply by all ones.
[[gnu::target("pclmul")]] inline std::uint64_t prefixo_xor_clmul(std::uint64_t x) {
    const __m128i q = _mm_cvtsi64_si128(static_cast<long long>(x));
    return static_cast<std::uint64_t>(
        _mm_cvtsi128_si64(_mm_clmulepi64_si128(q, _mm_set1_epi8(-1), 0)));
}

// The bits of two comparisons of 32 bytes.
[[gnu::target("avx2")]] inline std::uint64_t bits_avx2(__m256i x, __m256i y) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(x))) |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(y))) << 32;
}

// 32 bytes at a time, with the instructions that count set bits and take the lowest one.
[[gnu::target("avx2,pclmul,popcnt,bmi")]] void varre_avx2(const char* p, std::size_t n,
                                                          char separador, Varredura& v) {
    const __m256i aspa = _mm256_set1_epi8('"');
    const __m256i sep = _mm256_set1_epi8(separador);
    const __m256i fim = _mm256_set1_epi8('\n');
    const __m256i fora_de_0d = _mm256_set1_epi8(~0x0D);
    const __m256i zero = _mm256_setzero_si256();
    Varredura w = v;
    for (std::size_t i = 0; i < n; ++i, p += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const __m256i raros =
            _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_and_si256(a, fora_de_0d), zero),
                            _mm256_cmpeq_epi8(_mm256_and_si256(b, fora_de_0d), zero));
        Marcas m;
        m.aspas = bits_avx2(_mm256_cmpeq_epi8(a, aspa), _mm256_cmpeq_epi8(b, aspa));
        m.separadores = bits_avx2(_mm256_cmpeq_epi8(a, sep), _mm256_cmpeq_epi8(b, sep));
        m.fins = bits_avx2(_mm256_cmpeq_epi8(a, fim), _mm256_cmpeq_epi8(b, fim));
        m.estranhos = _mm256_movemask_epi8(raros) == 0 ? 0 : marca_portavel(p, separador).estranhos;
        m.pares = prefixo_xor_clmul(m.aspas);
        classifica(m, w);
    }
    v = w;
}

// 0 to 63, a byte each.
alignas(64) constexpr std::array<std::uint8_t, 64> indices = [] {
    std::array<std::uint8_t, 64> a{};
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<std::uint8_t>(i);
    return a;
}();

// 64 bytes at a time, each comparison straight into a mask of 64 bits; the field ends listed by
// gathering the indices of the set bits into the first bytes of a register, widened and stored
// sixteen at a time, the register turned by sixteen bytes after each (those past them are
// written over by the next 64 bytes).
[[gnu::target("avx512bw,avx512vbmi2,pclmul,popcnt,bmi")]] void varre_avx512(const char* p,
                                                                            std::size_t n,
                                                                            char separador,
                                                                            Varredura& v) {
    const __m512i aspa = _mm512_set1_epi8('"');
    const __m512i sep = _mm512_set1_epi8(separador);
    const __m512i fim = _mm512_set1_epi8('\n');
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i fora_de_0d = _mm512_set1_epi8(~0x0D);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i de_0_a_63 = _mm512_load_si512(indices.data());
    Varredura w = v;
    for (std::size_t i = 0; i < n; ++i, p += 64) {
        const __m512i x = _mm512_loadu_si512(p);
        const __mmask64 raros = _mm512_testn_epi8_mask(x, fora_de_0d);
        Marcas m;
        m.aspas = _mm512_cmpeq_epi8_mask(x, aspa);
        m.separadores = _mm512_cmpeq_epi8_mask(x, sep);
        m.fins = _mm512_cmpeq_epi8_mask(x, fim);
        m.estranhos = raros == 0 ? 0
                                 : _mm512_mask_cmpeq_epi8_mask(raros, x, cr) |
                                       _mm512_mask_cmpeq_epi8_mask(raros, x, zero);
        m.pares = prefixo_xor_clmul(m.aspas);
        const std::uint64_t fins = separa(m, w);
        __m512i juntos = _mm512_maskz_compress_epi8(fins, de_0_a_63);
        const __m512i base = _mm512_set1_epi32(static_cast<int>(w.pos));
        const auto k = static_cast<std::size_t>(__builtin_popcountll(fins));
        for (std::size_t j = 0; j < k;
             j += 16, juntos = _mm512_maskz_alignr_epi32(0xFFFF, juntos, juntos, 4))
            _mm512_storeu_si512(w.fins + j,
                                _mm512_add_epi32(base, _mm512_maskz_cvtepu8_epi32(
                                                           0xFFFF, _mm512_maskz_extracti32x4_epi32(
                                                                       0xF, juntos, 0))));
        w.fins += k;
        w.pos += 64;
    }
    v = w;
}
#endif

Varre varre_com(Instrucoes i) {
    switch (i) {
#ifdef __x86_64__
        case Instrucoes::avx512:
            return varre_avx512;
        case Instrucoes::avx2:
            return varre_avx2;
#endif
#ifdef __SSE2__
        case Instrucoes::sse2:
            return varre_sse2;
#endif
        default:
            return varre_portavel;
    }
}

// Room in `v` for `n` more positions after those up to `p`; where to write them.
template <class T>
T* espaco(std::vector<T>& v, const T* p, std::size_t n) {
    const auto usadas = static_cast<std::size_t>(p - v.data());
    if (v.size() < usadas + n) v.resize(std::max(usadas + n, 2 * v.size()));
    return v.data() + usadas;
}

}  // namespace

bool tem_instrucoes(Instrucoes i) {
    switch (i) {
        case Instrucoes::portaveis:
            return true;
        case Instrucoes::sse2:
#ifdef __SSE2__
            return true;
#else
            return false;
#endif
        case Instrucoes::avx2:
        case Instrucoes::avx512:
#ifdef __x86_64__
            if (!__builtin_cpu_supports("pclmul") || !__builtin_cpu_supports("popcnt") ||
                !__builtin_cpu_supports("bmi"))
                return false;
            return i == Instrucoes::avx2 ? __builtin_cpu_supports("avx2") != 0
                                         : __builtin_cpu_supports("avx512bw") != 0 &&
                                               __builtin_cpu_supports("avx512vbmi2") != 0;
#else
            return false;
#endif
    }
    return false;
}

Instrucoes melhores_instrucoes() {
    static const Instrucoes melhores = [] {
        for (const Instrucoes i : {Instrucoes::avx512, Instrucoes::avx2, Instrucoes::sse2})
            if (tem_instrucoes(i)) return i;
        return Instrucoes::portaveis;
    }();
    return melhores;
}

void VarredorBloco::prepara(std::string_view bytes, char separador, std::size_t maximo,
                            std::uint32_t usados) {
    const Varre varre = varre_com(instrucoes_);
    bytes_ = bytes;
    separador_ = separador;
    maximo_ = std::min(maximo, CamposCsv::capacidade);
    usados_ = usados;
    if (fins_.empty()) fins_.resize(1);
    fins_[0] = ~std::uint32_t{0};
    Varredura v{0,
                1,
                0,
                0,
                fins_.data(),
                fins_.data() + 1,
                linhas_.data(),
                dobradas_.data(),
                estranhos_.data()};
    // A lot of 64 bytes at a time, with room for all they may hold, the eight written at a time
    // and the stop after them.
    constexpr std::size_t lote = 64;
    const auto reserva = [&] {
        constexpr std::size_t n = 64 * lote + 8;
        v.fins = espaco(fins_, v.fins, n);
        v.fins0 = fins_.data();
        v.linhas = espaco(linhas_, v.linhas, n);
        v.dobradas = espaco(dobradas_, v.dobradas, n);
        v.estranhos = espaco(estranhos_, v.estranhos, n);
    };
    const std::size_t inteiros = bytes.size() / 64;
    for (std::size_t b0 = 0; b0 < inteiros; b0 += lote) {
        reserva();
        varre(bytes.data() + 64 * b0, std::min(lote, inteiros - b0), separador, v);
    }
    if (const std::size_t pos = 64 * inteiros; pos < bytes.size()) {
        // The last bytes, after them zeros, which are no line end; the NULs they are have no
        // place among the rows.
        std::array<char, 64> resto{};
        std::memcpy(resto.data(), bytes.data() + pos, bytes.size() - pos);
        reserva();
        const std::size_t* antes = v.estranhos;
        varre(resto.data(), 1, separador, v);
        while (v.estranhos != antes && v.estranhos[-1] >= bytes.size())
            --v.estranhos;
    }
    *v.dobradas = ~std::size_t{0};
    *v.estranhos = bytes.size();
    fim_ = 1;
    linha_ = 0;
    dobrada_ = 0;
    estranho_ = 0;
    inicio_ = 0;
}

bool VarredorBloco::proxima(std::string_view& linha, CamposCsv& c, bool& simples) {
    if (!proxima(linha, simples)) return false;
    if (simples) campos(c);
    return true;
}

void VarredorBloco::campos(CamposCsv& c) const {
    c.n = std::min(n_, maximo_);
    // The last field split was ended by a separator, not the line end.
    c.mais = n_ > maximo_;
    c.valido = true;
    c.duplas = duplas_;
    for (std::uint32_t u = usados_ & ((std::uint32_t{1} << c.n) - 1); u != 0; u &= u - 1) {
        const auto i = static_cast<std::size_t>(std::countr_zero(u));
        c.campos[i] = campo(i);
    }
}
