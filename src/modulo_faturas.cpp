#include "modulo_faturas.h"

#include "versao.h"

const ModuloFaturas* contacel_modulo_faturas() {
    static constexpr ModuloFaturas modulo{versao_contacel, tamanhos_modulo_faturas, escreve_faturas,
                                          escreve_cada_fatura, sha256_hex};
    return &modulo;
}
