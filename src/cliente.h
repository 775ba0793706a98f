#pragma once
// Customers, the customer list, the customer file and random customers.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "erro.h"
#include "impressao.h"

struct cliente {
    std::uint32_t cod_cli;
    char nome[51];      // up to 50 bytes and a NUL, code page 850
    char endereco[51];  // likewise
};
using TCliente = cliente;

inline constexpr std::uint32_t capacidade_lis_cli = 20;

struct lis_cli {
    std::uint32_t ncl;
    TCliente clientes[capacidade_lis_cli];
};
using TLisCli = lis_cli;

// The customer file: a little-endian 32-bit count, then that many 108-byte records
// (code, name, address, two filler bytes).
inline constexpr const char* arquivo_clientes = "clientes.arq";
inline constexpr std::size_t tamanho_contagem = 4;
inline constexpr std::size_t tamanho_registro = 108;
inline constexpr std::size_t tamanho_maximo_arq =
    tamanho_contagem + tamanho_registro * capacidade_lis_cli;

// Appends a copy of `cl`; a full list refuses it and stays as it is.
void insere_cliente(TLisCli* lc, TCliente cl);
// Lowest position whose code is `cod`, or -1.
int posicao_do_codigo(const TLisCli* lc, std::uint32_t cod);
// The same for a code given as an int, as the billing run's callers hold it.
int busca_cliente(const TLisCli* lc, int cod);
// Code, name and address in columns, no line break.
void mostre_cli(TCliente cli);
// One customer per line.
void mostre_lis_cli(const TLisCli* lc);

// Fills `lc` from the bytes of a customer file. On failure the list is left empty.
// A file of no bytes is an empty list; bytes after the last counted record are ignored.
Erro decodifica_lis_cli(std::span<const std::byte> arq, TLisCli* lc);
// Writes `lc` in the customer-file format; returns the number of bytes used.
std::size_t codifica_lis_cli(const TLisCli* lc, std::span<std::byte, tamanho_maximo_arq> arq);
// Empties `lc` and fills it from the file at `caminho`, which is only read; the errors name it.
Erro le_lis_cli_de(const char* caminho, TLisCli* lc);
// The same from clientes.arq in the working directory; a file that cannot be used leaves the
// list empty.
void le_lis_cli(TLisCli* lc);
// What a billing run needs of the register: at least five customers, the first five
// with the codes 1 to 5 in some order.
Erro confere_cadastro(const TLisCli* lc);

// Random customers. `nom` needs room for 32 bytes, `ender` for 37.
void gere_nome(char* nom);
void gere_endereco(char* ender);
TCliente gere_cliente(unsigned cod);
// Empties `lc` and fills it with `nc` random customers with the codes 1 to nc (at most 20).
void gere_lis_cli(int nc, TLisCli* lc);

// A customer in columns: "%03u  %-25s  %-35s".
template <>
struct fmt::formatter<TCliente> : SemEspecificacao {
    template <typename Contexto>
    auto format(const TCliente& c, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{:03}  {:<25}  {:<35}"), c.cod_cli,
                              campo(c.nome), campo(c.endereco));
    }
};
