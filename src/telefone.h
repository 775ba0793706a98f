#pragma once
// Phone numbers as people and exchanges write them, read by the Brazilian numbering plan: the
// one reading behind the lines file, the numbers a bill shows, a Pix key's hints and the
// rating of a call by where it goes.
//
// A text made only of digits, blanks and "()-." (and a "+" before the first digit) is a number;
// any other text, or one without a digit, is an extension's name, kept as written. A number is
// read as Brazilians dial it:
// - "+" and the international form: "+55 85 98877-4123", "+351 21 000 0000";
// - "00", a carrier code of two digits and the international form: "00 21 351 21 000 0000"; an
//   international form of Brazil also without the carrier: "0055 85 98877 4123";
// - "0", a carrier code of two digits, the area code (DDD) and the number: "0 21 85 98877 4123",
//   or "0" and the area code alone: "085988774123";
// - the area code and the number, 10 or 11 digits: "(85) 9 8877-4123"; also after a bare 55;
// - a bare 8 or 9 digits, a number of the caller's own area: "98877-4123";
// - 0800, 0300, 0500 and 0900 numbers, the same from every area: "0800 123 4567";
// - any other digits are no phone number: an extension (211553, "21-1553"), a service (190).
// An area code is one in use; the number after it may have 8 digits or 9.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class FormaNumero : std::uint8_t {
    nome,            // no number: an extension's name, "client1", "*97"
    digitos,         // digits that are no phone number: an extension, a service
    local,           // 8 or 9 digits without an area code
    nacional,        // a Brazilian number with its area code
    nao_geografico,  // 0800, 0300, 0500 or 0900 and 7 digits
    internacional,   // another country's number, country code first
};

// One number read. Its views are into itself, and for a name into the text it was read from.
class Telefone {
  public:
    explicit Telefone(std::string_view escrito);

    [[nodiscard]] FormaNumero forma() const { return forma_; }
    // The country code: "55" for a Brazilian number with its area code, the code of another
    // country's number (1 to 3 digits, by the ITU's plan); empty for any other form.
    [[nodiscard]] std::string_view pais() const { return {b_.data() + 1, pais_}; }
    // The area code of a Brazilian number (nacional); empty for any other form.
    [[nodiscard]] std::string_view ddd() const { return {b_.data() + 1 + pais_, ddd_}; }
    // The subscriber's digits (nacional, local); what follows the country code (internacional);
    // all the digits (digitos, nao_geografico); the name as written (nome).
    [[nodiscard]] std::string_view assinante() const {
        if (forma_ == FormaNumero::nome) return escrito_;
        return {b_.data() + 1 + pais_ + ddd_, std::size_t{n_} - pais_ - ddd_};
    }
    // The country code and the rest, without "+" (nacional, internacional); empty otherwise.
    [[nodiscard]] std::string_view internacional() const {
        if (forma_ != FormaNumero::nacional && forma_ != FormaNumero::internacional) return {};
        return {b_.data() + 1, n_};
    }
    // A mobile's number: 9 digits starting with 9 (nacional, local).
    [[nodiscard]] bool movel() const {
        return (forma_ == FormaNumero::nacional || forma_ == FormaNumero::local) &&
               std::size_t{n_} - pais_ - ddd_ == 9 && b_[1U + pais_ + ddd_] == '9';
    }
    // A landline's number: 8 digits starting with 2 to 5 (nacional, local).
    [[nodiscard]] bool fixo() const {
        const char c = b_[1U + pais_ + ddd_];
        return (forma_ == FormaNumero::nacional || forma_ == FormaNumero::local) &&
               std::size_t{n_} - pais_ - ddd_ == 8 && c >= '2' && c <= '5';
    }
    // What a line is known by: every spelling of one number gives the same key, and two
    // numbers never give one.
    [[nodiscard]] std::string_view chave() const;
    // The key as a number, equal for two numbers exactly when their keys are: the digits' value,
    // their count and whether the key has a "+". None for a name, or more than 17 digits.
    [[nodiscard]] std::optional<std::uint64_t> chave_numerica() const {
        if (chave_numerica_ == 0) return std::nullopt;
        return chave_numerica_;
    }
    // The digits kept as a number: internacional()'s for a number with a country code, else
    // assinante()'s; 0 for a name. Exact up to 19 digits.
    [[nodiscard]] std::uint64_t valor() const { return valor_; }
    // Whether it was written as digits alone, as PBXs mostly write numbers.
    [[nodiscard]] bool escrito_em_digitos() const { return em_digitos_; }
    // As a bill shows it: a Brazilian mobile "(85) 9 8877-4123", a landline "(85) 3234-5678";
    // everything else as written. Read again, the text shown is the same number.
    [[nodiscard]] std::string exibido() const;

  private:
    void le(std::string_view d);
    void guarda(std::string_view digitos, std::size_t pais, std::size_t ddd, FormaNumero f);
    // Sets valor_, the value of the digits kept, and chave_numerica_.
    void poe_valor(std::uint64_t valor);

    static constexpr std::size_t maximo = 24;  // digits; E.164 numbers have 15 at most
    std::string_view escrito_;
    FormaNumero forma_ = FormaNumero::nome;
    std::array<char, maximo + 1> b_{};  // "+" and the digits kept
    std::uint8_t n_ = 0;                // digits kept
    std::uint8_t pais_ = 0;             // of them, the country code's
    std::uint8_t ddd_ = 0;              // then the area code's
    bool em_digitos_ = false;
    std::uint64_t valor_ = 0;
    std::uint64_t chave_numerica_ = 0;  // 0: none
};

// A number as a bill shows it (Telefone::exibido).
std::string numero_exibido(std::string_view numero);
