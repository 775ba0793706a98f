#pragma once
// The customers of the companion programs: any number of them, each found by its code in one
// step. The texts are UTF-8. A register (the run's file of at most 20) is read into this list
// and written from it; a book holds the same fields and more.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cliente.h"
#include "erro.h"

struct Cliente {
    std::uint32_t codigo = 0;
    std::string nome{};       // UTF-8
    std::string endereco{};   // UTF-8
    std::string documento{};  // a CPF or CNPJ as its digits (and letters); empty: none
    std::string email{};
    std::string cep{};     // 8 digits
    std::string cidade{};  // UTF-8
    std::string uf{};      // two capital letters
};

class Clientes {
  public:
    // Appends `c`; a code already listed stays found at its first place.
    void insere(Cliente c);
    // Removes the customer at `i`; the others keep their order.
    void remove(std::size_t i);
    // The first place of the code `cod`; nothing when no customer has it.
    [[nodiscard]] std::optional<std::size_t> posicao(std::uint32_t cod) const;
    // The first customer with the code `cod`, or nullptr.
    [[nodiscard]] const Cliente* busca(std::uint32_t cod) const;
    // Customers known only by their codes (their details are asked for when needed): the codes
    // in ascending order.
    void conhece(std::vector<std::uint32_t> codigos);
    // Whether a customer has the code `cod`, listed or known only by it.
    [[nodiscard]] bool tem(std::uint32_t cod) const;
    [[nodiscard]] std::size_t size() const { return lista_.size(); }
    [[nodiscard]] bool empty() const { return lista_.empty(); }
    const Cliente& operator[](std::size_t i) const { return lista_[i]; }
    Cliente& operator[](std::size_t i) { return lista_[i]; }
    [[nodiscard]] auto begin() const { return lista_.begin(); }
    [[nodiscard]] auto end() const { return lista_.end(); }
    void reserve(std::size_t n);

  private:
    void indexa(std::size_t i);  // finds lista_[i] by its code, unless one before has it

    std::vector<Cliente> lista_;
    std::unordered_map<std::uint32_t, std::size_t> indice_;
    std::vector<std::uint32_t> so_codigos_;
    std::vector<std::uint64_t> por_bit_;  // or, codes mostly in turn, one bit per code
    // The listed codes below this, one bit each: most codes are small, and found in one step
    // without the map.
    static constexpr std::uint32_t listados_ate = 1U << 16;
    std::vector<std::uint64_t> listados_por_bit_;
};

// A customer code: a whole number from 1 to 4294967295, nothing before or after it. Inline, so
// that a caller keeps the answer in registers: returned from a call, its value and flag are
// stored apart and read back as one word, which waits for both stores, once a row.
inline std::optional<std::uint32_t> le_codigo(std::string_view texto) {
    std::uint32_t cod = 0;
    const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), cod);
    if (erro != std::errc{} || fim != texto.data() + texto.size() || cod == 0) return std::nullopt;
    return cod;
}

// The customer a bill is addressed to: a blank one when the list has none with `cod`.
const Cliente& cliente_da_conta(const Clientes* clientes, std::uint32_t cod);

// The customers of a register, their texts in UTF-8; fails only without a converter
// (TipoErro::sistema).
Erro clientes_do_cadastro(const TLisCli& lc, Clientes& clientes);
// The same, for texts already known to convert: a text that does not is left empty.
Clientes clientes_do_cadastro(const TLisCli& lc);
// The register holding `clientes`: refused (TipoErro::dados, naming the customer) when there
// are more than 20 or a text code page 850 cannot hold in 50 bytes.
Erro cadastro_dos_clientes(const Clientes& clientes, TLisCli& lc);
