#include "regra_cliente.h"

#include <cstring>
#include <string>

#include "codigo850.h"

namespace {

using Texto = char[sizeof(TCliente::nome)];

// A stored text obeys the rules when, read as UTF-8, it would be stored again as it is.
Erro texto_guardado(std::string_view campo, const Texto& guardado) {
    const std::string_view bytes(guardado, ::strnlen(guardado, sizeof guardado));
    std::string utf8;
    if (Erro e = em_utf8(bytes, utf8); !e.ok()) return e;
    Texto de_novo{};
    if (Erro e = texto_850(utf8, de_novo, campo); !e.ok()) return e;
    if (bytes != de_novo)
        return Erro::dados(std::string(campo) + " com caractere fora do codigo 850");
    return {};
}

}  // namespace

Erro insere_validado(TLisCli* lc, std::optional<std::uint32_t> cod, std::string_view nome,
                     std::string_view endereco) {
    if (!cod || *cod == 0) return Erro::dados("codigo invalido (um numero de 1 a 4294967295)");
    if (posicao_do_codigo(lc, *cod) >= 0) return Erro::dados("codigo repetido");
    TCliente cl{};
    cl.cod_cli = *cod;
    if (Erro e = texto_850(nome, cl.nome, "nome"); !e.ok()) return e;
    if (Erro e = texto_850(endereco, cl.endereco, "endereco"); !e.ok()) return e;
    if (lc->ncl >= capacidade_lis_cli) return Erro::dados("clientes demais (o maximo e 20)");
    insere_cliente(lc, cl);
    return {};
}

Erro altera_validado(TLisCli* lc, std::uint32_t i, std::optional<std::string_view> nome,
                     std::optional<std::string_view> endereco) {
    TCliente cl = lc->clientes[i];
    if (nome)
        if (Erro e = texto_850(*nome, cl.nome, "nome"); !e.ok()) return e;
    if (endereco)
        if (Erro e = texto_850(*endereco, cl.endereco, "endereco"); !e.ok()) return e;
    lc->clientes[i] = cl;
    return {};
}

Erro confere_cliente(const TLisCli* lc, std::uint32_t i) {
    const TCliente& cl = lc->clientes[i];
    if (cl.cod_cli == 0) return Erro::dados("codigo invalido (um numero de 1 a 4294967295)");
    if (posicao_do_codigo(lc, cl.cod_cli) != static_cast<int>(i))
        return Erro::dados("codigo repetido");
    if (Erro e = texto_guardado("nome", cl.nome); !e.ok()) return e;
    return texto_guardado("endereco", cl.endereco);
}
