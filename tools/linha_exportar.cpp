#include "linha_exportar.h"

#include <algorithm>
#include <string>

#include "cobranca_registros.h"
#include "inteiro.h"

namespace exportar {

namespace {

bool algum(const LinhaDeComando& lc, std::initializer_list<std::size_t> ops) {
    return std::ranges::any_of(ops, [&](std::size_t o) { return lc.tem(o); });
}

}  // namespace

Erro confere_opcoes(const LinhaDeComando& lc, std::string_view oque) {
    const bool faturas = oque == "faturas";
    if (lc.tem(semente) && lc.tem(instante_op))
        return Erro::uso("--semente ou --instante, nao ambos");
    if (lc.tem(chamadas_op) && algum(lc, {semente, instante_op}))
        return Erro::uso("--chamadas ou INSTANTE (--semente, --instante), nao ambos");
    if (!lc.tem(chamadas_op) && algum(lc, {linhas_op, mes_op, rejeitadas_op, tarifas_op}))
        return Erro::uso("--linhas, --mes, --rejeitadas e --tarifas so com --chamadas");
    for (const std::size_t o : {chamadas_op, linhas_op, rejeitadas_op, tarifas_op})
        for (const std::string_view v : lc.todos[o])
            if (v.empty()) return Erro::uso("--" + std::string(opcoes[o].nome) + " vazio");
    if (lc.tem(tarefas_op) && !lc.tem(chamadas_op)) return Erro::uso("--tarefas so com --chamadas");
    if (lc.tem(tarefas_op))
        if (const auto n = numero<unsigned>(*lc.valores[tarefas_op]);
            !n || *n < 1 || *n > maximo_tarefas)
            return Erro::uso("--tarefas deve ser um numero de 1 a " +
                             std::to_string(maximo_tarefas));
    if (lc.tem(mes_op) && !le_mes(*lc.valores[mes_op]))
        return Erro::uso("mes invalido: \"" + std::string(*lc.valores[mes_op]) +
                         "\" (use AAAA-MM)");
    if (!faturas && algum(lc, {pasta, pix_chave, pix_nome, pix_cidade, emissor_op}))
        return Erro::uso("--pasta, --emissor e --pix-* sao de faturas");
    if (faturas && lc.tem(planilha)) return Erro::uso("--planilha nao e de faturas");
    if (lc.tem(segunda_via) && (!faturas || !lc.tem(chamadas_op)))
        return Erro::uso("--segunda-via e de faturas com --chamadas e um livro");
    if (lc.tem(forcar) && !algum(lc, {pasta, rejeitadas_op}))
        return Erro::uso("--forcar so com --pasta ou --rejeitadas");
    if (lc.tem(pasta) && lc.valores[pasta]->empty()) return Erro::uso("--pasta vazia");
    const auto pix = std::ranges::count_if(std::array{pix_chave, pix_nome, pix_cidade},
                                           [&](std::size_t o) { return lc.tem(o); });
    // With --emissor, the file's [pix] may give the others.
    if (pix != 0 && pix != 3 && !lc.tem(emissor_op)) return Erro::uso(std::string(pix_juntas));
    return {};
}

}  // namespace exportar
