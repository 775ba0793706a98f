// Arbitrary bytes as a CSV register: loading reads only inside the buffer, and whatever it
// accepts obeys the rules of the register, and written back as CSV and loaded again it is the
// same register.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "csv_clientes.h"
#include "regra_cliente.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    TLisCli lc;
    if (const StatusCsv st = decodifica_csv_clientes(std::as_bytes(std::span(dados, tamanho)), &lc);
        !st.ok()) {
        if (lc.ncl != 0 || st.linha == 0) __builtin_trap();
        return 0;
    }
    for (std::uint32_t i = 0; i < lc.ncl; ++i)
        if (!confere_cliente(&lc, i).ok()) __builtin_trap();
    const std::string csv = codifica_csv_clientes(&lc);
    TLisCli volta;
    if (!decodifica_csv_clientes(std::as_bytes(std::span(csv)), &volta).ok()) __builtin_trap();
    std::array<std::byte, tamanho_maximo_arq> a{};
    std::array<std::byte, tamanho_maximo_arq> b{};
    if (codifica_lis_cli(&lc, a) != codifica_lis_cli(&volta, b) || a != b) __builtin_trap();
    return 0;
}
