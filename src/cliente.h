#pragma once
// Customers, the customer list, the customer file and random customers.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

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

// Why a customer file could not be used.
enum class ErroCli : std::uint8_t {
    nenhum,
    inexistente,          // the file does not exist
    sem_permissao,        // it may not be read
    abertura,             // it could not be opened for another reason
    leitura,              // reading it failed
    nao_regular,          // a FIFO, a device, a folder: not a file to read a register from
    contagem_incompleta,  // 1 to 3 bytes: no whole count
    excesso_de_clientes,  // `contagem` is over the list's capacity
    arquivo_curto,        // `contagem` records declared, only `indice` complete
    nome_sem_nulo,        // record `indice` (from 0) has a name without its NUL
    endereco_sem_nulo,    // record `indice` has an address without its NUL
    poucos_clientes,      // a run needs five customers; the file holds `contagem`
    codigos_invalidos,    // the first five codes are not 1 to 5
};

struct StatusCli {
    ErroCli erro = ErroCli::nenhum;
    std::uint32_t contagem = 0;
    std::uint32_t indice = 0;
    [[nodiscard]] constexpr bool ok() const { return erro == ErroCli::nenhum; }
};

// Appends a copy of `cl`; a full list refuses it and stays as it is.
void insere_cliente(TLisCli* lc, TCliente cl);
// Lowest position whose code is `cod`, or -1.
int busca_cliente(const TLisCli* lc, int cod);
// Code, name and address in columns, no line break.
void mostre_cli(TCliente cli);
// One customer per line.
void mostre_lis_cli(const TLisCli* lc);

// Fills `lc` from the bytes of a customer file. On failure the list is left empty.
// A file of no bytes is an empty list; bytes after the last counted record are ignored.
StatusCli decodifica_lis_cli(std::span<const std::byte> arq, TLisCli* lc);
// Writes `lc` in the customer-file format; returns the number of bytes used.
std::size_t codifica_lis_cli(const TLisCli* lc, std::span<std::byte, tamanho_maximo_arq> arq);
// Empties `lc` and fills it from the file at `caminho`; the file is only read.
StatusCli le_lis_cli_de(const char* caminho, TLisCli* lc);
// The same from clientes.arq in the working directory.
StatusCli le_lis_cli(TLisCli* lc);
// What a billing run needs of the register: at least five customers, the first five
// with the codes 1 to 5 in some order.
StatusCli confere_cadastro(const TLisCli* lc);
// One line: "programa: arquivo: what is wrong".
void relata_erro_cli(std::FILE* f, const char* programa, const char* arquivo, StatusCli st);

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
template <>
inline constexpr std::size_t maximo<TCliente> = 11 + 2 + 2 * tamanho_maximo_campo + 2 + 25 + 35;
