#pragma once
// The bills' documents as a module of their own (contacel-faturas.so): only a command that writes
// a PDF loads it, and with it Cairo, Pango, Fontconfig and libqrencode; every other command
// starts without them. The program finds the module beside itself or where the package installs
// it, and calls the drawing through the table the module hands out.

#include "erro.h"
#include "faturas.h"

struct ModuloFaturas {
    // The program's version and the size of what crosses, so that a module of another build is
    // refused rather than handed data laid out otherwise.
    const char* versao;
    std::size_t tamanhos;
    Erro (*escreve_faturas)(const Contas&, const OpcoesFaturas&, const DestinoPdf&);
    Erro (*escreve_cada_fatura)(const Contas&, const OpcoesFaturas&, const DestinoFatura&);
    std::string (*sha256_hex)(std::span<const std::byte>);
};

// What a module and a program of the same build agree on.
inline constexpr std::size_t tamanhos_modulo_faturas =
    sizeof(Contas) * 1000003 + sizeof(OpcoesFaturas) * 1009 + sizeof(Erro);

// The module's one exported symbol.
inline constexpr const char* entrada_modulo_faturas = "contacel_modulo_faturas";
extern "C" __attribute__((visibility("default"))) const ModuloFaturas* contacel_modulo_faturas();

// Loads the module once, the first time it is needed; a module missing, or of another build,
// fails with TipoErro::sistema naming the file. escreve_faturas and escreve_cada_fatura call it;
// sha256_hex takes it loaded by them.
Erro carrega_modulo_faturas();
