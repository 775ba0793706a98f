#include "codigo850.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

constexpr const char* nome_850 = "IBM850";

// One iconv conversion of a whole text; false when the input has a sequence the converter
// rejects (invalid in the source encoding, or without a character in the target one).
bool converte(const char* para, const char* de, std::string_view entrada, std::string& saida) {
    const iconv_t cd = iconv_open(para, de);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    saida.assign(entrada.size() * 4 + 4, '\0');
    // iconv takes a non-const input pointer for historical reasons; it never writes through it.
    char* in = const_cast<char*>(entrada.data());
    std::size_t n_in = entrada.size();
    char* out = saida.data();
    std::size_t n_out = saida.size();
    const bool ok = iconv(cd, &in, &n_in, &out, &n_out) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    saida.resize(saida.size() - n_out);
    return ok && n_in == 0;
}

}  // namespace

std::string descreve_erro_texto(ErroTexto e, std::string_view campo) {
    std::string s(campo);
    switch (e) {
        case ErroTexto::nenhum:
            return s + " valido";
        case ErroTexto::vazio:
            return s + " vazio";
        case ErroTexto::utf8_invalido:
            return s + " nao e UTF-8 valido";
        case ErroTexto::controle:
            return s + " com caractere de controle";
        case ErroTexto::fora_do_850:
            return s + " com caractere fora do codigo 850";
        case ErroTexto::longo_demais:
            return s + " com mais de 50 bytes no codigo 850";
    }
    return s;
}

ErroTexto texto_850(std::string_view utf8, char (&destino)[sizeof(TCliente::nome)]) {
    std::memset(destino, 0, sizeof destino);
    if (utf8.empty()) return ErroTexto::vazio;
    std::string convertido;
    // Valid UTF-8 first, so that a bad sequence is not taken for a missing character.
    if (!converte("UTF-32LE", "UTF-8", utf8, convertido)) return ErroTexto::utf8_invalido;
    const bool controle = std::ranges::any_of(utf8, [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
    if (controle) return ErroTexto::controle;
    if (!converte(nome_850, "UTF-8", utf8, convertido)) return ErroTexto::fora_do_850;
    if (convertido.size() > sizeof destino - 1) return ErroTexto::longo_demais;
    convertido.copy(destino, convertido.size());
    return ErroTexto::nenhum;
}

std::string texto_utf8(std::string_view cp850) {
    std::string s;
    converte("UTF-8", nome_850, cp850, s);
    return s;
}
