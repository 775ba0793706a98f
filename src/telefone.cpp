#include "telefone.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <bit>
#include <cstring>

#include "caracteres.h"

namespace {

// The area codes in use, by their two digits.
constexpr auto ddds_em_uso = [] {
    constexpr std::string_view ddds =
        "11 12 13 14 15 16 17 18 19 21 22 24 27 28 31 32 33 34 35 37 38 41 42 43 44 45 46 47 48 "
        "49 51 53 54 55 61 62 63 64 65 66 67 68 69 71 73 74 75 77 79 81 82 83 84 85 86 87 88 89 "
        "91 92 93 94 95 96 97 98 99";
    std::array<bool, 100> em_uso{};
    for (std::size_t i = 0; i < ddds.size(); i += 3)
        em_uso[static_cast<std::size_t>((ddds[i] - '0') * 10 + (ddds[i + 1] - '0'))] = true;
    return em_uso;
}();

// Whether the first two digits of `d` are an area code in use.
bool ddd_em_uso(std::string_view d) {
    return d.size() >= 2 && ddds_em_uso[static_cast<std::size_t>((d[0] - '0') * 10 + (d[1] - '0'))];
}

// An area code in use and a number of 8 or 9 digits.
bool com_ddd(std::string_view d) {
    return (d.size() == 10 || d.size() == 11) && ddd_em_uso(d);
}

// The country codes of two digits, by those digits.
constexpr auto paises_de_dois = [] {
    constexpr std::string_view dois =
        "20 27 30 31 32 33 34 36 39 40 41 43 44 45 46 47 48 49 51 52 53 54 55 56 57 58 60 61 62 "
        "63 64 65 66 81 82 84 86 90 91 92 93 94 95 98";
    std::array<bool, 100> de_dois{};
    for (std::size_t i = 0; i < dois.size(); i += 3)
        de_dois[static_cast<std::size_t>((dois[i] - '0') * 10 + (dois[i + 1] - '0'))] = true;
    return de_dois;
}();

// Digits of the country code that `d` (an international form) starts with.
std::size_t digitos_do_pais(std::string_view d) {
    if (d.starts_with('1') || d.starts_with('7')) return 1;
    if (d.size() >= 2 && paises_de_dois[static_cast<std::size_t>((d[0] - '0') * 10 + (d[1] - '0'))])
        return 2;
    return std::min<std::size_t>(3, d.size());
}

bool marca(char c) {
    return c == ' ' || c == '(' || c == ')' || c == '-' || c == '.';
}

// The value of the `n` digits at `p`, of which eight bytes may be read from any digit (from eight
// digits on, the reads stay within them).
std::uint64_t le_valor(const char* p, std::size_t n) {
    std::uint64_t v = 0;
    const auto digito = [&] { return static_cast<std::uint64_t>(*p++ - '0'); };
    if constexpr (std::endian::native != std::endian::little) {
        for (; n > 0; --n)
            v = v * 10 + digito();
        return v;
    }
    for (; n > 16; --n)
        v = v * 10 + digito();
    if (n == 0) return v;
    // Eight digits at once, the first in the lowest byte, less '0' each; a zero byte reads as a
    // leading zero.
    const auto le8 = [](const char* q) { return oito_bytes(q) - 0x3030303030303030U; };
    static constexpr std::array<std::uint64_t, 9> potencias{
        1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    // Up to eight: the bytes past them shifted out. Up to sixteen: the first eight, then the last
    // eight without those read already.
    if (n <= 8) return v * potencias[n] + valor_oito_digitos(le8(p) << (8 * (8 - n)));
    return (v * 100000000 + valor_oito_digitos(le8(p))) * potencias[n - 8] +
           valor_oito_digitos(le8(p + n - 8) & (~std::uint64_t{0} << (8 * (16 - n))));
}

// The value of the digits `d`, fewer than eight, from four on as one word made of two of four
// bytes that may overlap (bytes read twice are the same).
std::uint64_t valor_curto(std::string_view d) {
    const std::size_t n = d.size();
    if (std::endian::native != std::endian::little || n < 4) {
        std::uint64_t v = 0;
        for (const char c : d)
            v = v * 10 + static_cast<std::uint64_t>(c - '0');
        return v;
    }
    std::uint32_t primeiros = 0, ultimos = 0;
    std::memcpy(&primeiros, d.data(), 4);
    std::memcpy(&ultimos, d.data() + n - 4, 4);
    const std::uint64_t w = std::uint64_t{primeiros} | std::uint64_t{ultimos} << (8 * (n - 4));
    return valor_oito_digitos((w - 0x3030303030303030U) << (8 * (8 - n)));
}

// Copies `de`, of 24 bytes at most, to `para`: from 8 to 16 bytes as two words that may overlap.
void copia(std::string_view de, char* para) {
    if (de.size() < 8 || de.size() > 16) {
        de.copy(para, de.size());
        return;
    }
    std::memcpy(para, de.data(), 8);
    std::memcpy(para + de.size() - 8, de.data() + de.size() - 8, 8);
}

}  // namespace

Telefone::Telefone(std::string_view escrito) : escrito_(escrito) {
    b_[0] = '+';
    // An international form, digits only.
    const auto com_mais = [&](std::string_view t) {
        if (t.starts_with("55") && com_ddd(t.substr(2)))
            guarda(t, 2, 2, FormaNumero::nacional);
        else
            guarda(t, digitos_do_pais(t), 0, FormaNumero::internacional);
    };
    // What PBXs mostly write: the digits alone, or a "+" and the digits, read where they are.
    if (escrito.size() <= maximo && so_digitos(escrito)) {
        em_digitos_ = true;
        le(escrito);
        return;
    }
    if (escrito.size() <= maximo + 1 && escrito.starts_with('+') && so_digitos(escrito.substr(1))) {
        com_mais(escrito.substr(1));
        return;
    }
    std::array<char, maximo> d{};
    std::size_t n = 0;
    bool mais = false;
    for (const char c : escrito) {
        if (e_digito(c)) {
            if (n == d.size()) return;  // no phone number is this long
            d[n++] = c;
        } else if (c == '+' && n == 0 && !mais) {
            mais = true;
        } else if (!marca(c)) {
            return;
        }
    }
    if (n == 0) return;
    const std::string_view t(d.data(), n);
    if (!mais)
        le(t);
    else
        com_mais(t);
}

// The digits' value is read from where they were read, not from their copy in b_: a word read
// there would wait for the copy's stores (two words that overlap, or bytes) to reach the cache.
void Telefone::le(std::string_view d) {
    // `d` is never in b_.
    const auto brasileiro = [&](std::string_view x) {
        b_[1] = '5';
        b_[2] = '5';
        copia(x, b_.data() + 3);
        n_ = static_cast<std::uint8_t>(x.size() + 2);
        pais_ = ddd_ = 2;
        forma_ = FormaNumero::nacional;
        poe_valor(55 * (x.size() == 10 ? 10'000'000'000U : 100'000'000'000U) +
                  le_valor(x.data(), x.size()));
    };
    if (d.starts_with("00")) {
        const std::string_view r = d.substr(2);
        if (r.starts_with("55") && com_ddd(r.substr(2)))
            return guarda(r, 2, 2, FormaNumero::nacional);
        const std::string_view i = r.substr(std::min<std::size_t>(2, r.size()));
        if (i.starts_with("55") && com_ddd(i.substr(2)))
            return guarda(i, 2, 2, FormaNumero::nacional);
        // The shortest international numbers have 7 digits.
        if (i.size() >= 7) return guarda(i, digitos_do_pais(i), 0, FormaNumero::internacional);
    } else if (d.starts_with('0')) {
        const std::string_view r = d.substr(1);
        if (com_ddd(r)) return brasileiro(r);
        if (r.size() > 2 && com_ddd(r.substr(2))) return brasileiro(r.substr(2));
        if (d.size() == 11 && (d.starts_with("0800") || d.starts_with("0300") ||
                               d.starts_with("0500") || d.starts_with("0900")))
            return guarda(d, 0, 0, FormaNumero::nao_geografico);
    } else if (com_ddd(d)) {
        return brasileiro(d);
    } else if (d.starts_with("55") && com_ddd(d.substr(2))) {
        return guarda(d, 2, 2, FormaNumero::nacional);
    } else if (d.size() == 8 || d.size() == 9) {
        return guarda(d, 0, 0, FormaNumero::local);
    }
    guarda(d, 0, 0, FormaNumero::digitos);
}

void Telefone::guarda(std::string_view digitos, std::size_t pais, std::size_t ddd, FormaNumero f) {
    copia(digitos, b_.data() + 1);
    n_ = static_cast<std::uint8_t>(digitos.size());
    pais_ = static_cast<std::uint8_t>(pais);
    ddd_ = static_cast<std::uint8_t>(ddd);
    forma_ = f;
    poe_valor(digitos.size() < 8 ? valor_curto(digitos) : le_valor(digitos.data(), digitos.size()));
}

std::string_view Telefone::chave() const {
    switch (forma_) {
        case FormaNumero::nome:
            return escrito_;
        case FormaNumero::nacional:
        case FormaNumero::internacional:
            return {b_.data(), n_ + std::size_t{1}};
        default:
            return {b_.data() + 1, n_};
    }
}

void Telefone::poe_valor(std::uint64_t valor) {
    valor_ = valor;
    // 17 digits and their count take less than 62 bits.
    if (forma_ == FormaNumero::nome || n_ > 17) return;
    const bool mais = forma_ == FormaNumero::nacional || forma_ == FormaNumero::internacional;
    chave_numerica_ = (mais ? std::uint64_t{1} << 62U : 0) | (valor_ * 32 + n_);
}

std::string Telefone::exibido() const {
    if (forma_ != FormaNumero::nacional || (!movel() && !fixo())) return std::string(escrito_);
    const std::string_view a = assinante();
    if (a.size() == 9)
        return fmt::format(FMT_COMPILE("({}) {} {}-{}"), ddd(), a.substr(0, 1), a.substr(1, 4),
                           a.substr(5));
    return fmt::format(FMT_COMPILE("({}) {}-{}"), ddd(), a.substr(0, 4), a.substr(4));
}

std::string numero_exibido(std::string_view numero) {
    return Telefone(numero).exibido();
}
