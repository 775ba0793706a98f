#include "saida.h"

#include <charconv>
#include <cstdio>

Texto& Texto::s(std::string_view t) {
    if (t.size() > capacidade - n_) {
        escreve();
        if (t.size() > capacidade) {
            std::fwrite(t.data(), 1, t.size(), stdout);
            return *this;
        }
    }
    t.copy(buf_.data() + n_, t.size());
    n_ += t.size();
    return *this;
}

Texto& Texto::c(char ch) {
    if (n_ == capacidade) escreve();
    buf_[n_++] = ch;
    return *this;
}

Texto& Texto::repete(char ch, int vezes) {
    for (int i = 0; i < vezes; ++i)
        c(ch);
    return *this;
}

Texto& Texto::esq(std::string_view t, int largura) {
    s(t);
    return repete(' ', largura - static_cast<int>(t.size()));
}

Texto& Texto::dir(std::string_view t, int largura) {
    repete(' ', largura - static_cast<int>(t.size()));
    return s(t);
}

Texto& Texto::d(std::int64_t v, int largura) {
    std::array<char, 24> t{};
    const auto r = std::to_chars(t.data(), t.data() + t.size(), v);
    return dir({t.data(), r.ptr}, largura);
}

Texto& Texto::z(std::int64_t v, int largura) {
    std::array<char, 24> t{};
    const auto r = std::to_chars(t.data(), t.data() + t.size(), v);
    std::string_view num{t.data(), r.ptr};
    if (num.front() == '-') {
        c('-');
        num.remove_prefix(1);
        --largura;
    }
    repete('0', largura - static_cast<int>(num.size()));
    return s(num);
}

Texto& Texto::f(float v, int largura, int casas) {
    // Enough for any float in fixed notation with a few decimals.
    std::array<char, 64> t{};
    const auto r = std::to_chars(t.data(), t.data() + t.size(), static_cast<double>(v),
                                 std::chars_format::fixed, casas);
    if (r.ec != std::errc{}) return *this;
    return dir({t.data(), r.ptr}, largura);
}

void Texto::escreve() {
    if (n_ != 0) std::fwrite(buf_.data(), 1, n_, stdout);
    n_ = 0;
}
