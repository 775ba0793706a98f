// Arbitrary bytes as a price list and as an issuer's file: either is read or refused with a
// place and a reason, and never trips the TOML parser's own checks.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "emissor.h"
#include "tarifas_toml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::string_view texto(reinterpret_cast<const char*>(dados), tamanho);
    Tarifa t;
    if (const Erro e = le_tarifas_de(texto, "t.toml", t); !e.ok() && e.detalhe.empty())
        __builtin_trap();
    Emissor emissor;
    if (const Erro e = le_emissor_de(texto, "e.toml", emissor); !e.ok() && e.detalhe.empty())
        __builtin_trap();
    return 0;
}
