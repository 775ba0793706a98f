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

bool mesmo_cadastro(const Clientes& a, const Clientes& b) {
    return codifica_csv_clientes(a) == codifica_csv_clientes(b);
}

void confere_falha(const Erro& e, const Clientes& lc) {
    if (!lc.empty() || (e.linha == 0 && e.tipo != TipoErro::sistema)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::span<const std::byte> bytes = std::as_bytes(std::span(dados, tamanho));
    Clientes lc;
    const Erro st = decodifica_csv_clientes(bytes, lc);
    if (!st.ok()) confere_falha(st, lc);
    for (const DialetoCsv d : {csv_padrao, csv_planilha}) {
        if (!st.ok()) break;
        const std::string csv = codifica_csv_clientes(lc, Guarda::cadastro, d);
        Clientes volta;
        if (!decodifica_csv_clientes(std::as_bytes(std::span(csv)), volta).ok() ||
            !mesmo_cadastro(lc, volta))
            __builtin_trap();
    }
    const bool ascii = std::ranges::all_of(bytes, [](std::byte b) { return b < std::byte{0x80}; });
    for (const Codificacao c : {Codificacao::windows_1252, Codificacao::iso_8859_1}) {
        Clientes outra;
        const Erro so = decodifica_csv_clientes(bytes, outra, Guarda::cadastro, c);
        if (!so.ok()) confere_falha(so, outra);
        if (ascii && (so.tipo != st.tipo || so.detalhe != st.detalhe || so.linha != st.linha ||
                      !mesmo_cadastro(lc, outra)))
            __builtin_trap();
    }
    TLisCli cadastro;
    if (!cadastro_dos_clientes(lc, cadastro).ok()) __builtin_trap();
    for (std::uint32_t i = 0; i < cadastro.ncl; ++i)
        if (!confere_cliente(&cadastro, i).ok()) __builtin_trap();
    return 0;
}
