// Arbitrary bytes as a CSV register: loading reads only inside the buffer and an error names a
// line; whatever it accepts obeys the rules of the register and, written back in either dialect
// and loaded again, is the same register; and bytes that are all ASCII load alike in every
// encoding.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "csv_clientes.h"
#include "regra_cliente.h"

namespace {

bool mesmo_cadastro(const TLisCli& a, const TLisCli& b) {
    std::array<std::byte, tamanho_maximo_arq> x{};
    std::array<std::byte, tamanho_maximo_arq> y{};
    return codifica_lis_cli(&a, x) == codifica_lis_cli(&b, y) && x == y;
}

void confere_falha(const Erro& e, const TLisCli& lc) {
    if (lc.ncl != 0 || (e.linha == 0 && e.tipo != TipoErro::sistema)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::span<const std::byte> bytes = std::as_bytes(std::span(dados, tamanho));
    TLisCli lc;
    const Erro st = decodifica_csv_clientes(bytes, &lc);
    if (!st.ok()) confere_falha(st, lc);
    for (const DialetoCsv d : {csv_padrao, csv_planilha}) {
        if (!st.ok()) break;
        const std::string csv = codifica_csv_clientes(&lc, d);
        TLisCli volta;
        if (!decodifica_csv_clientes(std::as_bytes(std::span(csv)), &volta).ok() ||
            !mesmo_cadastro(lc, volta))
            __builtin_trap();
    }
    const bool ascii = std::ranges::all_of(bytes, [](std::byte b) { return b < std::byte{0x80}; });
    for (const Codificacao c : {Codificacao::windows_1252, Codificacao::iso_8859_1}) {
        TLisCli outra;
        const Erro so = decodifica_csv_clientes(bytes, &outra, c);
        if (!so.ok()) confere_falha(so, outra);
        if (ascii && (so.tipo != st.tipo || so.detalhe != st.detalhe || so.linha != st.linha ||
                      !mesmo_cadastro(lc, outra)))
            __builtin_trap();
    }
    for (std::uint32_t i = 0; i < lc.ncl; ++i)
        if (!confere_cliente(&lc, i).ok()) __builtin_trap();
    return 0;
}
