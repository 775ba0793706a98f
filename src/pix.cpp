#include "pix.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>

#include "caracteres.h"
#include "telefone.h"

namespace {

// The account field holds the GUI (18 bytes) and the key's own TLV header (4): 99 at most.
constexpr std::size_t maximo_chave = 99 - 18 - 4;

// Random keys are written in lower case.
constexpr bool hexa(char c) {
    return e_digito(c) || (c >= 'a' && c <= 'f');
}

constexpr bool letra_ou_digito(char c) {
    return e_digito(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool repetido(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [&](char c) { return c == s[0]; });
}

bool e_uuid(std::string_view s) {
    constexpr std::string_view modelo = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
    if (s.size() != modelo.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (modelo[i] == '-' ? s[i] != '-' : !hexa(s[i])) return false;
    return true;
}

// The area code and number of a Brazilian phone written without "+", as people write it:
// "(85) 98877-6655", "85 988776655" or "5585988776655"; empty when `s` is not one.
std::string telefone_sem_55(std::string_view s) {
    const Telefone t(s);
    if (s.find('+') != std::string_view::npos || t.forma() != FormaNumero::nacional ||
        (!t.movel() && !t.fixo()))
        return {};
    return std::string(t.internacional().substr(2));
}

void minusculas(std::string& s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
}

void maiusculas(std::string& s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
}

// A CPF or CNPJ that is not one; for 11 digits that read as a mobile phone, how to write that.
Erro recusa_documento(std::string_view qual, std::string_view digitos) {
    std::string d =
        fmt::format("chave pix: {} {}", qual,
                    repetido(digitos) ? "invalido" : "com digitos verificadores errados");
    if (const std::string t = telefone_sem_55(digitos); !t.empty())
        d += fmt::format(" (um telefone se escreve +55{})", t);
    return Erro::dados(d);
}

// Letters of U+00C0 to U+00FF without their accents; '?' where there is no such letter.
constexpr std::string_view sem_acento =
    "AAAAAA?CEEEEIIIIDNOOOOO?OUUUUY??aaaaaa?ceeeeiiiidnooooo?ouuuuy?y";

// `texto` (UTF-8) in printable ASCII, trimmed, runs of blanks (a no-break space among them) made
// one; the accented letters of Portuguese (and of the other Latin-1 languages) without their
// accents, whether written as one character or as a letter and its combining accent. Empty when
// a character has no place in a payload.
std::optional<std::string> em_ascii(std::string_view texto) {
    std::string s;
    for (std::size_t i = 0; i < texto.size(); ++i) {
        auto c = static_cast<unsigned char>(texto[i]);
        const auto b = i + 1 < texto.size() ? static_cast<unsigned char>(texto[i + 1]) : 0U;
        const bool seguinte = b >= 0x80 && b <= 0xBF;
        if (c == 0xC3 && seguinte) {
            if (sem_acento[b - 0x80U] == '?') return std::nullopt;
            c = static_cast<unsigned char>(sem_acento[b - 0x80U]);
            ++i;
        } else if (c == 0xC2 && b == 0xA0) {
            c = ' ';
            ++i;
        } else if ((c == 0xCC && seguinte) || (c == 0xCD && b >= 0x80 && b <= 0xAF)) {
            // U+0300 to U+036F, an accent on the letter before it.
            if (s.empty() || s.back() == ' ') return std::nullopt;
            ++i;
            continue;
        } else if (c < ' ' || c > '~') {
            return std::nullopt;
        }
        if (c == ' ' && (s.empty() || s.back() == ' ')) continue;
        s += static_cast<char>(c);
    }
    if (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

Erro prepara_texto(std::string& s, std::string_view oque, std::string_view vazio,
                   std::size_t maximo) {
    const std::optional<std::string> a = em_ascii(s);
    if (!a) return Erro::dados(fmt::format("{} com caractere que o Pix nao aceita", oque));
    if (a->empty()) return Erro::dados(fmt::format("{} {}", oque, vazio));
    if (a->size() > maximo)
        return Erro::dados(fmt::format("{} com mais de {} caracteres", oque, maximo));
    s = *a;
    return {};
}

void campo(std::string& p, std::string_view id, std::string_view valor) {
    p += id;
    p += fmt::format(FMT_COMPILE("{:02}"), valor.size());
    p += valor;
}

}  // namespace

Erro prepara_chave_pix(std::string& chave) {
    const std::size_t ini = chave.find_first_not_of(' ');
    chave =
        ini == std::string::npos ? "" : chave.substr(ini, chave.find_last_not_of(' ') + 1 - ini);
    if (chave.size() == 11 && so_digitos(chave))
        return cpf_valido(chave) ? Erro{} : recusa_documento("CPF", chave);
    // A CNPJ's letters are upper case, as random keys' are lower case.
    if (chave.size() == 14 && e_digito(chave[12]) && e_digito(chave[13]) &&
        std::all_of(chave.begin(), chave.end(), letra_ou_digito)) {
        maiusculas(chave);
        return cnpj_valido(chave) ? Erro{} : recusa_documento("CNPJ", chave);
    }
    // +55, an area code of two digits from 1 to 9, then the number.
    if (chave.starts_with("+55") && (chave.size() == 13 || chave.size() == 14) &&
        so_digitos(chave.substr(3)) && chave[3] != '0' && chave[4] != '0')
        return {};
    // The directory keeps e-mail and random keys in lower case.
    if (chave.find('@') != std::string::npos || chave.size() == 36) minusculas(chave);
    if (e_uuid(chave)) return {};
    if (chave.find('@') != std::string::npos && chave.size() <= maximo_chave && e_email(chave))
        return {};
    if (const std::string t = telefone_sem_55(chave); !t.empty())
        return Erro::dados(fmt::format("chave pix: telefone sem +55; escreva +55{}", t));
    return Erro::dados(
        "chave pix invalida: use CPF ou CNPJ (so digitos), e-mail, telefone +55 com DDD ou "
        "chave aleatoria");
}

Erro prepara_nome_pix(std::string& nome) {
    return prepara_texto(nome, "nome do recebedor pix", "vazio", maximo_nome_pix);
}

Erro prepara_cidade_pix(std::string& cidade) {
    return prepara_texto(cidade, "cidade do recebedor pix", "vazia", maximo_cidade_pix);
}

Erro prepara_recebedor_pix(RecebedorPix& r) {
    if (Erro e = prepara_chave_pix(r.chave); !e.ok()) return e;
    if (Erro e = prepara_nome_pix(r.nome); !e.ok()) return e;
    return prepara_cidade_pix(r.cidade);
}

std::string txid_pix(std::uint32_t cod_cli, std::int16_t ano, std::int8_t mes) {
    return fmt::format(FMT_COMPILE("C{}M{:04}{:02}"), cod_cli, ano, mes);
}

std::string crc_pix(std::string_view dados) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : dados) {
        crc = static_cast<std::uint16_t>(crc ^ (static_cast<unsigned char>(c) << 8));
        for (int b = 0; b < 8; ++b)
            crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return fmt::format(FMT_COMPILE("{:04X}"), crc);
}

std::string payload_pix(const RecebedorPix& r, std::string_view valor, std::string_view txid) {
    std::string conta;
    campo(conta, "00", "br.gov.bcb.pix");
    campo(conta, "01", r.chave);
    std::string adicional;
    campo(adicional, "05", txid);

    std::string p;
    campo(p, "00", "01");
    campo(p, "26", conta);
    campo(p, "52", "0000");
    campo(p, "53", "986");
    if (!valor.empty()) campo(p, "54", valor);
    campo(p, "58", "BR");
    campo(p, "59", r.nome);
    campo(p, "60", r.cidade);
    campo(p, "62", adicional);
    p += "6304";
    p += crc_pix(p);
    return p;
}
