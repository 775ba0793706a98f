#include "dialeto_csv.h"

#include <csv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "caracteres.h"
#include "dinheiro.h"

std::string cabecalho_csv(std::initializer_list<std::string_view> nomes, DialetoCsv d) {
    return cabecalho_csv(std::span(nomes.begin(), nomes.size()), d);
}

std::string cabecalho_csv(std::span<const std::string_view> nomes, DialetoCsv d) {
    std::string s(d.bom ? marca_utf8 : "");
    bool primeiro = true;
    for (const std::string_view n : nomes) {
        if (!primeiro) s += d.separador;
        primeiro = false;
        acrescenta_campo_csv(s, n, d);
    }
    s += d.fim_de_linha;
    return s;
}

bool parece_formula(std::string_view campo) {
    const std::size_t i = campo.find_first_not_of('\'');
    return i != std::string_view::npos &&
           std::string_view("=+-@\t\r").find(campo[i]) != std::string_view::npos;
}

std::string_view sem_marca_de_formula(std::string_view campo) {
    return campo.starts_with('\'') && parece_formula(campo) ? campo.substr(1) : campo;
}

namespace {

// Whether `campo` holds a byte that must be quoted: eight bytes at a time, a byte equal to one
// of them found as a zero byte of the word XORed with it.
bool pede_aspas(std::string_view campo, char separador) {
    const auto especial = [&](std::uint64_t x) {
        const auto zero = [](std::uint64_t v) {
            return (v - 0x0101010101010101U) & ~v & 0x8080808080808080U;
        };
        const auto todos = [](char c) {
            return 0x0101010101010101U * static_cast<unsigned char>(c);
        };
        return (zero(x ^ todos(separador)) | zero(x ^ todos('"')) | zero(x ^ todos('\r')) |
                zero(x ^ todos('\n'))) != 0;
    };
    const auto palavra = [&](std::size_t i) {
        std::uint64_t x = 0;
        std::memcpy(&x, campo.data() + i, sizeof x);
        return x;
    };
    const std::size_t n = campo.size();
    if (n < 8) {
        if (n == 0) return false;
        // Filled up with its first byte, which adds nothing special.
        std::uint64_t x = 0x0101010101010101U * static_cast<unsigned char>(campo[0]);
        std::memcpy(&x, campo.data(), n);
        return especial(x);
    }
    for (std::size_t i = 0; i + 8 < n; i += 8)
        if (especial(palavra(i))) return true;
    return especial(palavra(n - 8));
}

}  // namespace

void acrescenta_campo_csv(std::string& linha, std::string_view campo, DialetoCsv d) {
    std::string marcado;
    if (d.marca_formulas && parece_formula(campo)) {
        marcado.reserve(campo.size() + 1);
        (marcado += '\'') += campo;
        campo = marcado;
    }
    if (!pede_aspas(campo, d.separador)) {
        linha += campo;
        return;
    }
    std::string q(campo.size() * 2 + 2, '\0');
    q.resize(csv_write(q.data(), q.size(), campo.data(), campo.size()));
    linha += q;
}

void acrescenta_dinheiro_csv(std::string& linha, double valor, DialetoCsv d) {
    linha += dinheiro(valor, d.decimal);
}

namespace {

struct NomeCodificacao {
    std::string_view nome;
    Codificacao codificacao;
};

constexpr std::array<NomeCodificacao, 6> nomes_codificacoes{{
    {"utf-8", Codificacao::utf8},
    {"utf8", Codificacao::utf8},
    {"windows-1252", Codificacao::windows_1252},
    {"cp1252", Codificacao::windows_1252},
    {"iso-8859-1", Codificacao::iso_8859_1},
    {"latin1", Codificacao::iso_8859_1},
}};

}  // namespace

std::optional<Codificacao> codificacao_por_nome(std::string_view nome) {
    const auto igual = [&](const NomeCodificacao& n) {
        // ASCII case only: the user's locale may lower 'I' to something else (Turkish).
        return std::ranges::equal(nome, n.nome, [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
        });
    };
    const auto it = std::ranges::find_if(nomes_codificacoes, igual);
    if (it == nomes_codificacoes.end()) return std::nullopt;
    return it->codificacao;
}

const char* nome_codificacao(Codificacao c) {
    switch (c) {
        case Codificacao::utf8:
            return "utf-8";
        case Codificacao::windows_1252:
            return "windows-1252";
        case Codificacao::iso_8859_1:
            return "iso-8859-1";
    }
    return "?";
}

const char* nome_iconv(Codificacao c) {
    switch (c) {
        case Codificacao::utf8:
            return "UTF-8";
        case Codificacao::windows_1252:
            return "WINDOWS-1252";
        case Codificacao::iso_8859_1:
            return "ISO-8859-1";
    }
    return "?";
}
