#pragma once
// Texts between UTF-8 (command lines, CSV files, terminals) and code page 850 (the register),
// converted by the C library's iconv.

#include <iconv.h>

#include <span>
#include <string>
#include <string_view>

#include "erro.h"

// One iconv conversion, opened once for many texts. `indisponivel` says, as a TipoErro::sistema
// detail, that the conversion cannot be made at all.
class Conversor {
  public:
    Conversor(const char* para, const char* de, std::string indisponivel);
    ~Conversor();
    Conversor(const Conversor&) = delete;
    Conversor& operator=(const Conversor&) = delete;

    // Whether iconv_open failed (TipoErro::sistema, with its errno).
    [[nodiscard]] Erro erro() const;
    // Converts the whole of `entrada` into `saida`. Fails with TipoErro::dados for a sequence
    // the source encoding or the target one has no character for (the errno, EILSEQ or EINVAL,
    // in `sis`; the caller says which text), TipoErro::sistema when the converter cannot work.
    Erro converte(std::string_view entrada, std::string& saida) const;

  private:
    iconv_t cd_;
    int erro_ = 0;
    std::string indisponivel_;
};

// Whether `texto` is well-formed UTF-8: no overlong form, no surrogate, nothing past U+10FFFF,
// and no noncharacter (U+FDD0 to U+FDEF, U+FFFE, U+FFFF and their kin in every plane), which
// the PDF's text refuses, failing every bill of the document.
bool e_utf8(std::string_view texto);

// Converts `utf8` into a customer's text field `destino`: at most destino.size() - 1 bytes and
// a NUL, the rest zeroed. A text is taken only if converting it back gives exactly `utf8`:
// nothing dropped or approximated. The errors say `campo`: "nome vazio", "endereco com
// caractere fora do codigo 850", ...; a converter that cannot work is TipoErro::sistema.
Erro texto_850(std::string_view utf8, std::span<char> destino, std::string_view campo);
// The same bytes in UTF-8 into `saida`; every code page 850 byte has a character, so the only
// failure is a converter that cannot work (TipoErro::sistema).
Erro em_utf8(std::string_view cp850, std::string& saida);
// The same, for a text whose conversion the caller has already checked with em_utf8: nothing
// where the conversion fails.
std::string texto_utf8(std::string_view cp850);
