#include "pix.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

namespace {

constexpr std::size_t maximo_nome = 25;
constexpr std::size_t maximo_cidade = 15;
// The account field holds the GUI (18 bytes) and the key's own TLV header (4): 99 at most.
constexpr std::size_t maximo_chave = 99 - 18 - 4;

constexpr bool digito(char c) {
    return c >= '0' && c <= '9';
}

// Random keys are written in lower case.
constexpr bool hexa(char c) {
    return digito(c) || (c >= 'a' && c <= 'f');
}

constexpr bool imprimivel(char c) {
    return c >= ' ' && c <= '~';
}

bool so_digitos(std::string_view s) {
    return std::all_of(s.begin(), s.end(), digito);
}

// Check digit of `d` weighed by `pesos`, the last weight applied to the last digit.
int digito_verificador(std::string_view d, std::span<const int> pesos) {
    int soma = 0;
    for (std::size_t i = 0; i < d.size(); ++i)
        soma += (d[i] - '0') * pesos[pesos.size() - d.size() + i];
    const int resto = soma % 11;
    return resto < 2 ? 0 : 11 - resto;
}

// Both check digits right, and not one digit repeated (those pass the arithmetic but are void).
bool confere_digitos(std::string_view s, std::span<const int> pesos) {
    if (std::all_of(s.begin(), s.end(), [&](char c) { return c == s[0]; })) return false;
    const std::size_t n = s.size();
    return digito_verificador(s.substr(0, n - 2), pesos) == s[n - 2] - '0' &&
           digito_verificador(s.substr(0, n - 1), pesos) == s[n - 1] - '0';
}

constexpr std::array<int, 10> pesos_cpf{11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
constexpr std::array<int, 13> pesos_cnpj{6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};

constexpr bool letra_ou_digito(char c) {
    return digito(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// An address as mail systems take it: a local part of at most 64 letters, digits and ._%+-,
// neither starting nor ending with a dot nor holding two in a row; a domain of two or more
// labels of letters, digits and hyphens, none starting or ending with a hyphen.
bool e_email(std::string_view s) {
    const std::size_t arroba = s.find('@');
    if (arroba == std::string_view::npos) return false;
    const std::string_view local = s.substr(0, arroba);
    std::string_view dominio = s.substr(arroba + 1);
    if (local.empty() || local.size() > 64 || local.front() == '.' || local.back() == '.' ||
        local.find("..") != local.npos || !std::all_of(local.begin(), local.end(), [](char c) {
            return letra_ou_digito(c) ||
                   std::string_view("._%+-").find(c) != std::string_view::npos;
        }))
        return false;
    std::size_t rotulos = 0;
    for (;; ++rotulos) {
        const std::size_t ponto = dominio.find('.');
        const std::string_view rotulo = dominio.substr(0, ponto);
        if (rotulo.empty() || rotulo.front() == '-' || rotulo.back() == '-' ||
            !std::all_of(rotulo.begin(), rotulo.end(),
                         [](char c) { return letra_ou_digito(c) || c == '-'; }))
            return false;
        if (ponto == dominio.npos) break;
        dominio.remove_prefix(ponto + 1);
    }
    return rotulos >= 1;
}

bool e_uuid(std::string_view s) {
    constexpr std::string_view modelo = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
    if (s.size() != modelo.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (modelo[i] == '-' ? s[i] != '-' : !hexa(s[i])) return false;
    return true;
}

ErroPix confere_texto(std::string_view s, std::size_t maximo, ErroPix vazio, ErroPix longo,
                      ErroPix invalido) {
    if (s.find_first_not_of(' ') == std::string_view::npos) return vazio;
    if (!std::all_of(s.begin(), s.end(), imprimivel)) return invalido;
    if (s.size() > maximo) return longo;
    return ErroPix::nenhum;
}

void campo(std::string& p, std::string_view id, std::string_view valor) {
    p += id;
    p += fmt::format(FMT_COMPILE("{:02}"), valor.size());
    p += valor;
}

}  // namespace

std::string_view descreve_erro_pix(ErroPix e) {
    switch (e) {
        case ErroPix::nenhum:
            return "sem erro";
        case ErroPix::chave_desconhecida:
            return "chave pix invalida: use CPF ou CNPJ (so digitos), e-mail, telefone +55 com "
                   "DDD ou chave aleatoria";
        case ErroPix::cpf_invalido:
            return "chave pix: CPF com digitos verificadores errados";
        case ErroPix::cnpj_invalido:
            return "chave pix: CNPJ com digitos verificadores errados";
        case ErroPix::nome_vazio:
            return "nome do recebedor pix vazio";
        case ErroPix::nome_longo:
            return "nome do recebedor pix com mais de 25 caracteres";
        case ErroPix::nome_invalido:
            return "nome do recebedor pix com caractere fora do ASCII imprimivel";
        case ErroPix::cidade_vazia:
            return "cidade do recebedor pix vazia";
        case ErroPix::cidade_longa:
            return "cidade do recebedor pix com mais de 15 caracteres";
        case ErroPix::cidade_invalida:
            return "cidade do recebedor pix com caractere fora do ASCII imprimivel";
    }
    return "erro pix desconhecido";
}

ErroPix confere_chave_pix(std::string_view chave) {
    if (chave.size() == 11 && so_digitos(chave))
        return confere_digitos(chave, pesos_cpf) ? ErroPix::nenhum : ErroPix::cpf_invalido;
    if (chave.size() == 14 && so_digitos(chave))
        return confere_digitos(chave, pesos_cnpj) ? ErroPix::nenhum : ErroPix::cnpj_invalido;
    // +55, an area code of two digits from 1 to 9, then the number.
    if (chave.starts_with("+55") && (chave.size() == 13 || chave.size() == 14) &&
        so_digitos(chave.substr(3)) && chave[3] != '0' && chave[4] != '0')
        return ErroPix::nenhum;
    if (e_uuid(chave)) return ErroPix::nenhum;
    if (chave.size() <= maximo_chave && e_email(chave)) return ErroPix::nenhum;
    return ErroPix::chave_desconhecida;
}

ErroPix confere_nome_pix(std::string_view nome) {
    return confere_texto(nome, maximo_nome, ErroPix::nome_vazio, ErroPix::nome_longo,
                         ErroPix::nome_invalido);
}

ErroPix confere_cidade_pix(std::string_view cidade) {
    return confere_texto(cidade, maximo_cidade, ErroPix::cidade_vazia, ErroPix::cidade_longa,
                         ErroPix::cidade_invalida);
}

ErroPix confere_recebedor_pix(const RecebedorPix& r) {
    for (const ErroPix e :
         {confere_chave_pix(r.chave), confere_nome_pix(r.nome), confere_cidade_pix(r.cidade)})
        if (e != ErroPix::nenhum) return e;
    return ErroPix::nenhum;
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
