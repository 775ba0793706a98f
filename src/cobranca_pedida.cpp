#include "cobranca_pedida.h"

#include "cliente.h"
#include "tarifas_toml.h"

Erro abre_fontes(const PedidoRegistros& p, FontesCobranca& f) {
    if (!p.tarifas.empty())
        if (Erro e = le_tarifas(p.tarifas, f.tarifa); !e.ok()) return e;
    if (!e_livro(p.clientes)) {
        TLisCli lis_cli;
        if (Erro e = le_lis_cli_de(p.clientes.c_str(), &lis_cli); !e.ok()) return e;
        // The calls' CSV shows no name: it is written even where no name could be converted.
        const Erro e = clientes_do_cadastro(lis_cli, *f.clientes);
        return p.nomes ? e : Erro{};
    }
    if (Erro e = abre_para_cobrar(p.clientes, f.tarifa, f.livro, *f.clientes, f.linhas_do_livro);
        !e.ok())
        return e;
    // Bills issued from a book are numbered and kept under its lock, from before their calls
    // are rated until every document has its name.
    if (p.uso == UsoDasContas::emissao)
        if (Erro e = f.livro->trava(); !e.ok()) return e;
    if (p.uso != UsoDasContas::segunda_via)
        f.faturadas = std::make_unique<FaturadasDoLivro>(*f.livro);
    if (f.faturadas && f.faturadas->nenhuma()) f.faturadas.reset();
    return {};
}

Cobradas cobra_pedido(const PedidoRegistros& p, FontesCobranca& f) {
    const bool livro = f.livro != nullptr;
    PedidoCobranca pedido{f.clientes,          nullptr,   p.mes,    p.guarda_chamadas,
                          p.aceita_rejeitados, p.dialeto, &f.tarifa};
    pedido.tarefas.n = p.tarefas;
    pedido.faturadas = f.faturadas.get();
    pedido.guarda_chaves = livro && p.uso != UsoDasContas::lista;
    Cobradas c =
        cobra_arquivos({p.registros, p.linhas, livro ? &f.linhas_do_livro : nullptr}, pedido);
    if (c.erro.ok() && f.faturadas) c.erro = f.faturadas->erro();
    if (!c.erro.ok() || !livro) return c;
    c.contas.do_livro = true;
    c.resumo.do_livro = true;
    c.erro = prepara_contas(*f.livro, c.contas, p.uso);
    c.resumo.contas = c.contas.contas.size();
    return c;
}
