#include "regra_cliente.h"

#include <algorithm>
#include <cstring>

namespace {

using Texto = char[sizeof(TCliente::nome)];

StatusRegra texto(std::uint8_t campo, std::string_view utf8, Texto& destino) {
    if (const ErroTexto e = texto_850(utf8, destino); e != ErroTexto::nenhum)
        return {ErroRegra::texto_invalido, campo, e};
    return {};
}

// A stored text obeys the rules when, read as UTF-8, it would be stored again as it is.
StatusRegra texto_guardado(std::uint8_t campo, const Texto& guardado) {
    const std::string_view bytes(guardado, ::strnlen(guardado, sizeof guardado));
    std::string utf8;
    if (const ErroTexto e = em_utf8(bytes, utf8); e != ErroTexto::nenhum)
        return {ErroRegra::texto_invalido, campo, e};
    Texto de_novo{};
    if (const StatusRegra st = texto(campo, utf8, de_novo); !st.ok()) return st;
    if (bytes != de_novo) return {ErroRegra::texto_invalido, campo, ErroTexto::fora_do_850};
    return {};
}

}  // namespace

StatusRegra insere_validado(TLisCli* lc, std::optional<std::uint32_t> cod, std::string_view nome,
                            std::string_view endereco) {
    if (!cod || *cod == 0) return {ErroRegra::codigo_invalido};
    if (busca_cliente(lc, static_cast<int>(*cod)) >= 0) return {ErroRegra::codigo_repetido};
    TCliente cl{};
    cl.cod_cli = *cod;
    if (const StatusRegra st = texto(1, nome, cl.nome); !st.ok()) return st;
    if (const StatusRegra st = texto(2, endereco, cl.endereco); !st.ok()) return st;
    if (lc->ncl >= capacidade_lis_cli) return {ErroRegra::clientes_demais};
    insere_cliente(lc, cl);
    return {};
}

StatusRegra altera_validado(TLisCli* lc, std::uint32_t i, std::optional<std::string_view> nome,
                            std::optional<std::string_view> endereco) {
    TCliente cl = lc->clientes[i];
    if (nome)
        if (const StatusRegra st = texto(1, *nome, cl.nome); !st.ok()) return st;
    if (endereco)
        if (const StatusRegra st = texto(2, *endereco, cl.endereco); !st.ok()) return st;
    lc->clientes[i] = cl;
    return {};
}

StatusRegra confere_cliente(const TLisCli* lc, std::uint32_t i) {
    const TCliente& cl = lc->clientes[i];
    if (cl.cod_cli == 0) return {ErroRegra::codigo_invalido};
    if (busca_cliente(lc, static_cast<int>(cl.cod_cli)) != static_cast<int>(i))
        return {ErroRegra::codigo_repetido};
    if (const StatusRegra st = texto_guardado(1, cl.nome); !st.ok()) return st;
    return texto_guardado(2, cl.endereco);
}

std::string descreve_regra(StatusRegra st) {
    switch (st.erro) {
        case ErroRegra::nenhum:
            return "sem erro";
        case ErroRegra::codigo_invalido:
            return "codigo invalido (um numero de 1 a 4294967295)";
        case ErroRegra::codigo_repetido:
            return "codigo repetido";
        case ErroRegra::texto_invalido:
            return descreve_erro_texto(st.texto, st.campo == 1 ? "nome" : "endereco");
        case ErroRegra::clientes_demais:
            return "clientes demais (o maximo e 20)";
    }
    return {};
}
