#include "codigo850.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr const char* nome_850 = "IBM850";

constexpr const char* indisponivel = "conversao entre UTF-8 e IBM850 indisponivel";

}  // namespace

Conversor::Conversor(const char* para, const char* de, std::string sem_conversao)
    : cd_(::iconv_open(para, de)), indisponivel_(std::move(sem_conversao)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) erro_ = errno;
}

Erro Conversor::erro() const {
    return erro_ == 0 ? Erro{} : Erro::sistema(indisponivel_, erro_);
}

Conversor::~Conversor() {
    if (erro_ == 0) ::iconv_close(cd_);
}

Erro Conversor::converte(std::string_view entrada, std::string& saida) const {
    saida.clear();
    if (erro_ != 0) return erro();
    // Back to the initial state, whatever an earlier text left.
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    saida.assign(entrada.size() * 4 + 4, '\0');
    // iconv takes a non-const input pointer for historical reasons; it never writes through it.
    char* in = const_cast<char*>(entrada.data());
    std::size_t n_in = entrada.size();
    char* out = saida.data();
    std::size_t n_out = saida.size();
    const bool ok = ::iconv(cd_, &in, &n_in, &out, &n_out) != static_cast<std::size_t>(-1);
    const int e = ok ? 0 : errno;
    saida.resize(saida.size() - n_out);
    const int falha = e == 0 && n_in != 0 ? EINVAL : e;
    if (falha == EILSEQ || falha == EINVAL)
        return Erro::dados("sequencia sem caractere correspondente");
    return falha == 0 ? Erro{} : Erro::sistema(indisponivel_, falha);
}

bool e_utf8(std::string_view texto) {
    // Most texts are ASCII: all their bytes at once, a short one's in two words that may
    // overlap, a longer one's in a loop compilers make wide.
    const char* p = texto.data();
    const std::size_t tamanho = texto.size();
    std::uint64_t todos = 0;
    const auto junta = [&](std::size_t de, auto palavra) {
        std::memcpy(&palavra, p + de, sizeof palavra);
        todos |= palavra;
    };
    if (tamanho >= 8 && tamanho <= 16) {
        junta(0, std::uint64_t{});
        junta(tamanho - 8, std::uint64_t{});
    } else if (tamanho >= 4 && tamanho < 8) {
        junta(0, std::uint32_t{});
        junta(tamanho - 4, std::uint32_t{});
    } else {
        unsigned char bytes = 0;
        for (const char c : texto)
            bytes = static_cast<unsigned char>(bytes | static_cast<unsigned char>(c));
        todos = bytes;
    }
    if ((todos & 0x8080808080808080U) == 0) return true;
    for (std::size_t i = 0; i < texto.size();) {
        const auto b = static_cast<unsigned char>(texto[i]);
        std::size_t n = 0;  // continuation bytes
        char32_t cp = 0;
        char32_t menor = 0;  // the smallest code point that needs this many bytes
        if (b < 0x80) {
            ++i;
            continue;
        }
        if ((b & 0xE0U) == 0xC0U) {
            n = 1, cp = b & 0x1FU, menor = 0x80;
        } else if ((b & 0xF0U) == 0xE0U) {
            n = 2, cp = b & 0x0FU, menor = 0x800;
        } else if ((b & 0xF8U) == 0xF0U) {
            n = 3, cp = b & 0x07U, menor = 0x10000;
        } else {
            return false;
        }
        if (texto.size() - i <= n) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto c = static_cast<unsigned char>(texto[i + k]);
            if ((c & 0xC0U) != 0x80U) return false;
            cp = (cp << 6U) | (c & 0x3FU);
        }
        if (cp < menor || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if ((cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFEU) == 0xFFFEU) return false;
        i += n + 1;
    }
    return true;
}

Erro texto_850(std::string_view utf8, std::span<char> destino, std::string_view campo) {
    std::ranges::fill(destino, '\0');
    const auto invalido = [&](std::string_view motivo) {
        return Erro::dados(std::string(campo) + std::string(motivo));
    };
    if (utf8.empty()) return invalido(" vazio");
    // Valid UTF-8 first, so that a bad sequence is not taken for a missing character.
    if (!e_utf8(utf8)) return invalido(" nao e UTF-8 valido");
    const bool controle = std::ranges::any_of(utf8, [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
    if (controle) return invalido(" com caractere de controle");
    std::string convertido;
    const Conversor para_850(nome_850, "UTF-8", indisponivel);
    if (Erro e = para_850.converte(utf8, convertido); e.tipo == TipoErro::dados)
        return invalido(" com caractere fora do codigo 850");
    else if (!e.ok())
        return e;
    // What the converter dropped or approximated does not come back.
    std::string volta;
    if (Erro e = em_utf8(convertido, volta); !e.ok()) return e;
    if (volta != utf8) return invalido(" com caractere fora do codigo 850");
    if (convertido.size() > destino.size() - 1)
        return invalido(" com mais de " + std::to_string(destino.size() - 1) +
                        " bytes no codigo 850");
    std::ranges::copy(convertido, destino.begin());
    return {};
}

Erro em_utf8(std::string_view cp850, std::string& saida) {
    const Conversor para_utf8("UTF-8", nome_850, indisponivel);
    if (Erro e = para_utf8.converte(cp850, saida); !e.ok())
        return Erro::sistema(indisponivel, e.sis);
    return {};
}

std::string texto_utf8(std::string_view cp850) {
    std::string s;
    if (!em_utf8(cp850, s).ok()) s.clear();
    return s;
}
