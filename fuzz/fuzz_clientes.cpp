// Arbitrary bytes as a customer file: whatever they hold, loading reads and writes only inside
// the buffer and the list; a file that loads is listed and given its lines, and written back
// and loaded again it is the same register (filler and bytes after a NUL aside). A register whose
// customers all obey the rules goes to CSV and back byte for byte, as the tool writes it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "celular.h"
#include "cliente.h"
#include "csv_clientes.h"
#include "regra_cliente.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const auto bytes = std::as_bytes(std::span(dados, tamanho));
    TLisCli lc;
    if (!decodifica_lis_cli(bytes, &lc).ok()) {
        if (lc.ncl != 0) __builtin_trap();
        return 0;
    }
    if (lc.ncl > capacidade_lis_cli) __builtin_trap();
    mostre_lis_cli(&lc);
    TLisCel lis;
    gere_lis_cel(&lc, &lis);
    mostre_lis_cel(lis);
    for (std::uint32_t i = 0; i < lc.ncl; ++i) {
        if (busca_cliente(&lc, static_cast<int>(lc.clientes[i].cod_cli)) > static_cast<int>(i))
            __builtin_trap();
    }
    static_cast<void>(confere_cadastro(&lc));

    std::array<std::byte, tamanho_maximo_arq> escrito{};
    const std::size_t n = codifica_lis_cli(&lc, escrito);
    TLisCli volta;
    if (!decodifica_lis_cli(std::span(escrito).first(n), &volta).ok() || volta.ncl != lc.ncl)
        __builtin_trap();
    for (std::uint32_t i = 0; i < lc.ncl; ++i) {
        const TCliente& a = lc.clientes[i];
        const TCliente& b = volta.clientes[i];
        if (a.cod_cli != b.cod_cli || std::strcmp(a.nome, b.nome) != 0 ||
            std::strcmp(a.endereco, b.endereco) != 0)
            __builtin_trap();
    }
    for (std::uint32_t i = 0; i < lc.ncl; ++i)
        if (!confere_cliente(&lc, i).ok()) {
            std::fflush(stdout);
            return 0;
        }
    // Bytes after a NUL are not interpreted; as the tool writes a register, they are zero.
    for (TCliente& c : std::span(lc.clientes, lc.ncl)) {
        for (char* t : {c.nome, c.endereco}) {
            const std::size_t usados = std::strlen(t);
            std::memset(t + usados, 0, sizeof c.nome - usados);
        }
    }
    const std::size_t n_limpo = codifica_lis_cli(&lc, escrito);
    const std::string csv = codifica_csv_clientes(clientes_do_cadastro(lc));
    Clientes do_csv;
    TLisCli cadastro;
    std::array<std::byte, tamanho_maximo_arq> de_novo{};
    if (!decodifica_csv_clientes(std::as_bytes(std::span(csv)), do_csv).ok() ||
        !cadastro_dos_clientes(do_csv, cadastro).ok() ||
        codifica_lis_cli(&cadastro, de_novo) != n_limpo || de_novo != escrito)
        __builtin_trap();
    std::fflush(stdout);
    return 0;
}
