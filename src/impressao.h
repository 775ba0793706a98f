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
#include <string_view>

// The text of a fixed-size field: the bytes up to its first NUL, or the whole field when it
// holds none, so a record built by hand is never read past its end.
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

// A field printed as "{:02}" (days, months, hours, minutes, seconds): 0 to 99 are written as
// two digits directly, anything else as {fmt} writes it, so a record built by hand still prints
// as "{:02}" would print it. {fmt}'s own path for a padded 8-bit integer costs a tenth of a run.
struct DoisDigitos {
    int valor;
};

template <>
struct fmt::formatter<DoisDigitos> : SemEspecificacao {
    template <typename Contexto>
    auto format(DoisDigitos d, Contexto& ctx) const {
        auto out = ctx.out();
        if (d.valor < 0 || d.valor > 99) return fmt::format_to(out, FMT_COMPILE("{:02}"), d.valor);
        *out++ = static_cast<char>('0' + d.valor / 10);
        *out++ = static_cast<char>('0' + d.valor % 10);
        return out;
    }
};

// Formats one printed piece into a buffer on the stack and writes it to standard output at
// once. The buffer grows onto the heap rather than past its end; no printed piece needs that
// (the longest, a bill's header with the longest name and address, takes about 330 bytes).
template <typename Formato, typename... Args>
void imprime(const Formato& formato, const Args&... args) {
    fmt::basic_memory_buffer<char, 512> buf;
    fmt::format_to(std::back_inserter(buf), formato, args...);
    std::fwrite(buf.data(), 1, buf.size(), stdout);
}
