#pragma once
// Printing. Every printer's layout is one {fmt} format string, compiled with FMT_COMPILE,
// formatted into a buffer on the stack and handed to standard output with one fwrite. Each
// record's formatter stands beside its record; this header holds what they all share.
//
// Texts are code page 850 bytes and are padded by bytes, one column each, as the console shows
// them: {fmt}'s own string padding counts UTF-8 code points, which would shorten the padding of
// any name whose bytes happen to form a UTF-8 sequence.

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string_view>
#include <type_traits>

// The longest field a Campo is made from: the customer texts take 51 bytes with their NUL.
inline constexpr std::size_t tamanho_maximo_campo = 64;

// The text of a fixed-size field: the bytes up to its first NUL, or the whole field when it
// holds none, so a record built by hand is never read past its end. Only campo() makes one, so
// none is longer than tamanho_maximo_campo.
class Campo {
  public:
    constexpr Campo() = default;
    constexpr std::string_view texto() const { return texto_; }

  private:
    constexpr explicit Campo(std::string_view t) : texto_(t) {}
    template <std::size_t N>
    friend constexpr Campo campo(const char (&t)[N]);
    std::string_view texto_;
};

template <std::size_t N>
constexpr Campo campo(const char (&t)[N]) {
    static_assert(N <= tamanho_maximo_campo);
    std::size_t n = 0;
    while (n < N && t[n] != '\0')
        ++n;
    return Campo({t, n});
}

// "{}", "{:<N}" or "{:>N}": the bytes as they stand, padded with blanks to N bytes; a longer
// text is written whole.
template <>
struct fmt::formatter<Campo> {
    bool direita = false;
    std::size_t largura = 0;

    constexpr auto parse(format_parse_context& ctx) {
        auto it = ctx.begin();
        if (it != ctx.end() && (*it == '<' || *it == '>')) direita = *it++ == '>';
        for (; it != ctx.end() && *it >= '0' && *it <= '9'; ++it)
            largura = largura * 10 + static_cast<std::size_t>(*it - '0');
        if (it != ctx.end() && *it != '}') ctx.on_error("formato de campo invalido");
        return it;
    }

    template <typename Contexto>
    auto format(Campo c, Contexto& ctx) const {
        auto out = ctx.out();
        const std::string_view t = c.texto();
        const std::size_t brancos = t.size() < largura ? largura - t.size() : 0;
        if (direita) out = std::fill_n(out, brancos, ' ');
        out = std::copy(t.begin(), t.end(), out);
        if (!direita) out = std::fill_n(out, brancos, ' ');
        return out;
    }
};

// The records are printed whole, with no format options of their own.
struct SemEspecificacao {
    constexpr auto parse(fmt::format_parse_context& ctx) { return ctx.begin(); }
};

// The most bytes a value of each printed type can take, before padding: an integer with its
// sign, a float with at most two decimals, a text field; each record declares its own beside
// its formatter. Any other type has no known bound and is refused at compile time.
template <typename T>
inline constexpr std::size_t maximo = std::is_integral_v<T> ? 20 : 0;
template <>
inline constexpr std::size_t maximo<float> = 48;
template <>
inline constexpr std::size_t maximo<Campo> = tamanho_maximo_campo;

// What a format string can add to its arguments' own bytes: its literal text and the blanks of
// every width. Only the fields imprime is sized for are understood: "{}", "{N}", and after a
// colon an optional '<' or '>' (no fill character), an optional '0', a width, a precision of
// at most 2 and a type 'd' or 'f'. Anything else gives nao_entendido.
inline constexpr std::size_t nao_entendido = std::numeric_limits<std::size_t>::max();

constexpr std::size_t acrescimo_do_formato(std::string_view f) {
    const auto digito = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t soma = 0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '}' || (f[i] == '{' && i + 1 < f.size() && f[i + 1] == '{')) {
            if (i + 1 >= f.size() || f[i + 1] != f[i]) return nao_entendido;
            ++soma;  // "{{" or "}}": one brace
            ++i;
            continue;
        }
        if (f[i] != '{') {
            ++soma;
            continue;
        }
        std::size_t j = i + 1;
        while (j < f.size() && digito(f[j]))
            ++j;
        if (j < f.size() && f[j] == ':') {
            ++j;
            if (j < f.size() && (f[j] == '<' || f[j] == '>')) ++j;
            if (j < f.size() && f[j] == '0') ++j;
            std::size_t largura = 0;
            for (; j < f.size() && digito(f[j]); ++j)
                largura = largura * 10 + static_cast<std::size_t>(f[j] - '0');
            if (largura > 255) return nao_entendido;
            if (j < f.size() && f[j] == '.') {
                ++j;
                if (j >= f.size() || f[j] < '0' || f[j] > '2') return nao_entendido;
                ++j;
            }
            if (j < f.size() && (f[j] == 'd' || f[j] == 'f')) ++j;
            soma += largura;
        }
        if (j >= f.size() || f[j] != '}') return nao_entendido;
        i = j;
    }
    return soma;
}

// Formats one printed piece on the stack and writes it to standard output at once. The buffer
// holds the longest text the format string and its arguments can make: a format string whose
// fields it cannot bound does not compile.
template <typename Formato, typename... Args>
void imprime(const Formato& formato, const Args&... args) {
    static_assert(((maximo<Args> > 0) && ...), "um argumento sem tamanho maximo conhecido");
    constexpr fmt::string_view f(Formato{});
    constexpr std::size_t acrescimo = acrescimo_do_formato({f.data(), f.size()});
    static_assert(acrescimo != nao_entendido, "um formato que imprime nao sabe medir");
    std::array<char, acrescimo + (maximo<Args> + ... + 0)> buf;
    const char* fim = fmt::format_to(buf.data(), formato, args...);
    std::fwrite(buf.data(), 1, static_cast<std::size_t>(fim - buf.data()), stdout);
}
