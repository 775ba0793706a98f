#pragma once
// Printing. Every printer's layout is one {fmt} format string, compiled with FMT_COMPILE,
// formatted into a buffer on the stack and handed to standard output with one fwrite.
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
#include <type_traits>

#include "celular.h"
#include "chamada.h"
#include "cliente.h"
#include "datahora.h"

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

// hh:mm:ss, dd/mm/yyyy and "dd/mm/yyyy hh:mm:ss".
template <>
struct fmt::formatter<THora> : SemEspecificacao {
    template <typename Contexto>
    auto format(THora h, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{:02}:{:02}:{:02}"), h.hor, h.min, h.seg);
    }
};

template <>
struct fmt::formatter<TData> : SemEspecificacao {
    template <typename Contexto>
    auto format(TData d, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{:02}/{:02}/{}"), d.dia, d.mes, d.ano);
    }
};

template <>
struct fmt::formatter<TDataHora> : SemEspecificacao {
    template <typename Contexto>
    auto format(TDataHora dh, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{} {}"), dh.dat, dh.hor);
    }
};

// A line's number as bills show it: "(85) 9 8877-4123".
template <>
struct fmt::formatter<TCelular> : SemEspecificacao {
    template <typename Contexto>
    auto format(const TCelular& c, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("({}) 9 {:04}-{:04}"), campo(c.ddd), c.prefixo,
                              c.numero);
    }
};

// A customer in columns: "%03u  %-25s  %-35s".
template <>
struct fmt::formatter<TCliente> : SemEspecificacao {
    template <typename Contexto>
    auto format(const TCliente& c, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{:03}  {:<25}  {:<35}"), c.cod_cli,
                              campo(c.nome), campo(c.endereco));
    }
};

// A call as the call list shows it: both codes, the start and the duration counted again.
// The codes are shown as signed ints, like every other number of the listing.
template <>
struct fmt::formatter<TChamada> : SemEspecificacao {
    template <typename Contexto>
    auto format(const TChamada& c, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{:03} {:03}  {}  {:3} s"),
                              static_cast<std::int32_t>(c.cod_cli_ori),
                              static_cast<std::int32_t>(c.cod_cli_des), c.ini,
                              num_seg(c.ini, c.fim));
    }
};

// The most bytes a value of each printed type can take, before padding: an integer with its sign,
// any float with two decimals, a text field, and the records printed whole.
// Any other type has no known bound and is refused at compile time.
template <typename T>
inline constexpr std::size_t maximo = std::is_integral_v<T> ? 20 : 0;
template <>
inline constexpr std::size_t maximo<float> = 48;
template <>
inline constexpr std::size_t maximo<Campo> = tamanho_maximo_campo;
template <>
inline constexpr std::size_t maximo<THora> = 14;
template <>
inline constexpr std::size_t maximo<TData> = 16;
template <>
inline constexpr std::size_t maximo<TDataHora> = 31;
template <>
inline constexpr std::size_t maximo<TCelular> = 4 + tamanho_maximo_campo + 2 * 11;
template <>
inline constexpr std::size_t maximo<TCliente> = 11 + 2 + 2 * tamanho_maximo_campo + 2 + 25 + 35;
template <>
inline constexpr std::size_t maximo<TChamada> = 3 * 11 + 31 + 12;

// The blanks a format string can add: the sum of the widths of its fields ("{:<25}", "{1:>15}",
// "{:6.2f}", ...), each of which pads a shorter value up to that many bytes.
constexpr std::size_t soma_das_larguras(std::string_view f) {
    std::size_t soma = 0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '{') continue;
        const std::size_t fim = f.find('}', i);
        const std::size_t dois_pontos = f.find(':', i);
        if (dois_pontos < fim) {
            std::size_t j = dois_pontos + 1;
            while (j < fim && (f[j] == '<' || f[j] == '>' || f[j] == '^' || f[j] == '0'))
                ++j;
            std::size_t largura = 0;
            for (; j < fim && f[j] >= '0' && f[j] <= '9'; ++j)
                largura = largura * 10 + static_cast<std::size_t>(f[j] - '0');
            soma += largura;
        }
        i = fim;
    }
    return soma;
}

// Formats one printed piece on the stack and writes it to standard output at once. The buffer
// holds the longest text the format string and its arguments can make: its literal text, each
// argument's longest value and every blank its widths can add.
template <typename Formato, typename... Args>
void imprime(const Formato& formato, const Args&... args) {
    static_assert(((maximo<Args> > 0) && ...), "um argumento sem tamanho maximo conhecido");
    constexpr fmt::string_view f(Formato{});
    constexpr std::string_view texto{f.data(), f.size()};
    constexpr std::size_t limite =
        texto.size() + soma_das_larguras(texto) + (maximo<Args> + ... + 0);
    std::array<char, limite> buf;
    const char* fim = fmt::format_to(buf.data(), formato, args...);
    std::fwrite(buf.data(), 1, static_cast<std::size_t>(fim - buf.data()), stdout);
}
