#include "codigo850.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr const char* nome_850 = "IBM850";

enum class Conversao { feita, rejeitada, indisponivel };

// One iconv conversion of a whole text: rejected when the input has a sequence the converter
// refuses (invalid in the source encoding, or without a character in the target one).
Conversao converte(const char* para, const char* de, std::string_view entrada, std::string& saida) {
    const iconv_t cd = iconv_open(para, de);
    if (cd == reinterpret_cast<iconv_t>(-1)) return Conversao::indisponivel;
    saida.assign(entrada.size() * 4 + 4, '\0');
    // iconv takes a non-const input pointer for historical reasons; it never writes through it.
    char* in = const_cast<char*>(entrada.data());
    std::size_t n_in = entrada.size();
    char* out = saida.data();
    std::size_t n_out = saida.size();
    const bool ok = iconv(cd, &in, &n_in, &out, &n_out) != static_cast<std::size_t>(-1);
    const int e = errno;
    iconv_close(cd);
    saida.resize(saida.size() - n_out);
    if (ok && n_in == 0) return Conversao::feita;
    return !ok && (e == EILSEQ || e == EINVAL) ? Conversao::rejeitada : Conversao::indisponivel;
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
        case ErroTexto::conversao:
            return "conversao entre UTF-8 e " + std::string(nome_850) +
                   " indisponivel: " + razao_da_conversao();
    }
    return s;
}

ErroTexto texto_850(std::string_view utf8, char (&destino)[sizeof(TCliente::nome)]) {
    std::memset(destino, 0, sizeof destino);
    if (utf8.empty()) return ErroTexto::vazio;
    std::string convertido;
    // Valid UTF-8 first, so that a bad sequence is not taken for a missing character.
    switch (converte("UTF-32LE", "UTF-8", utf8, convertido)) {
        case Conversao::feita:
            break;
        case Conversao::rejeitada:
            return ErroTexto::utf8_invalido;
        case Conversao::indisponivel:
            return ErroTexto::conversao;
    }
    const bool controle = std::ranges::any_of(utf8, [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
    if (controle) return ErroTexto::controle;
    switch (converte(nome_850, "UTF-8", utf8, convertido)) {
        case Conversao::feita:
            break;
        case Conversao::rejeitada:
            return ErroTexto::fora_do_850;
        case Conversao::indisponivel:
            return ErroTexto::conversao;
    }
    // What the converter dropped or approximated does not come back.
    std::string volta;
    if (const ErroTexto e = em_utf8(convertido, volta); e != ErroTexto::nenhum) return e;
    if (volta != utf8) return ErroTexto::fora_do_850;
    if (convertido.size() > sizeof destino - 1) return ErroTexto::longo_demais;
    convertido.copy(destino, convertido.size());
    return ErroTexto::nenhum;
}

ErroTexto em_utf8(std::string_view cp850, std::string& saida) {
    return converte("UTF-8", nome_850, cp850, saida) == Conversao::feita ? ErroTexto::nenhum
                                                                         : ErroTexto::conversao;
}

std::string texto_utf8(std::string_view cp850) {
    std::string s;
    if (em_utf8(cp850, s) != ErroTexto::nenhum) s.clear();
    return s;
}

std::string razao_da_conversao() {
    for (const auto& [para, de] : {std::pair{nome_850, "UTF-8"}, std::pair{"UTF-8", nome_850},
                                   std::pair{"UTF-32LE", "UTF-8"}}) {
        const iconv_t cd = iconv_open(para, de);
        if (cd == reinterpret_cast<iconv_t>(-1)) return std::strerror(errno);
        iconv_close(cd);
    }
    return "a conversao falhou";
}
