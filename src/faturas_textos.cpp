// What of a bill is text rather than drawing, for the program and the documents alike.

#include <fmt/compile.h>
#include <fmt/format.h>

#include "dinheiro.h"
#include "emissor.h"
#include "faturas.h"

std::string nome_arquivo_fatura(std::uint32_t cod_cli, std::int16_t ano, std::int8_t mes) {
    return fmt::format(FMT_COMPILE("{}-{:04}-{:02}.pdf"), cod_cli, ano, mes);
}

std::string payload_da_conta(const RecebedorPix& r, const ContaMensal& conta) {
    return payload_pix(r, dinheiro(conta.valor_total, '.'),
                       txid_pix(conta.cod_cli, conta.ano, conta.mes));
}

std::string recebedor_escrito(const RecebedorPix& r) {
    const auto aparado = [](std::string_view t) {
        const std::size_t i = t.find_first_not_of(' ');
        return i == t.npos ? std::string_view() : t.substr(i, t.find_last_not_of(' ') + 1 - i);
    };
    return fmt::format("{}, {}", aparado(r.nome), aparado(r.cidade));
}
