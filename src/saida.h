#pragma once
// Text assembled in a fixed buffer and written to standard output in one piece.
// It formats fields the way printf's %d, %0Nd, %Ns, %-Ns and %N.Mf do, without parsing a format
// string for every field, and never allocates.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class Texto {
  public:
    Texto() = default;
    Texto(const Texto&) = delete;
    Texto& operator=(const Texto&) = delete;
    ~Texto() { escreve(); }

    // Text as it stands.
    Texto& s(std::string_view t);
    // Text padded with blanks to `largura` columns, on the right (%-Ns) or on the left (%Ns).
    Texto& esq(std::string_view t, int largura);
    Texto& dir(std::string_view t, int largura);
    Texto& c(char ch);
    Texto& repete(char ch, int vezes);
    // A signed integer right-aligned in `largura` columns (%Nd), or padded with zeros
    // after the sign (%0Nd).
    Texto& d(std::int64_t v, int largura = 0);
    Texto& z(std::int64_t v, int largura);
    // A float with `casas` decimals, rounded as printf rounds, right-aligned (%N.Mf).
    Texto& f(float v, int largura, int casas);

    // Hands what is buffered to standard output; the destructor does it too.
    void escreve();

  private:
    static constexpr std::size_t capacidade = 256;
    std::array<char, capacidade> buf_{};
    std::size_t n_ = 0;
};

// The text of a fixed-size field: the bytes up to its first NUL, or the whole field when it
// holds none, so a record built by hand is never read past its end.
template <std::size_t N>
constexpr std::string_view campo(const char (&t)[N]) {
    std::size_t n = 0;
    while (n < N && t[n] != '\0')
        ++n;
    return {t, n};
}
