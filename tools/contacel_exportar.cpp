// contacel-exportar: the calls or the bills of the run of a given second, or of call records, as
// CSV, or the bills as a PDF document.
//
// The run is replayed with the library itself: the same seed, generation, sorting, durations,
// tariffs and grouping as contacel, so every figure is the one contacel prints in that second.
// Records are billed with the same tariff, in exact centavos.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "cobranca_pedida.h"
#include "execucao.h"
#include "exportacao.h"
#include "faturas.h"
#include "instante.h"
#include "linha_exportar.h"
#include "modulo_faturas.h"
#include "saidas_exportar.h"

namespace {

using namespace exportar;

constexpr const char* programa = "contacel-exportar";

bool exportavel(std::string_view oque) {
    return oque == "chamadas" || oque == "contas" || oque == "faturas";
}

int uso_errado(std::string_view motivo) {
    return erro_de_uso(programa, motivo);
}

// The options of faturas, checked before the run: the Pix receiver, and where the document
// goes. Returns the exit status of a refusal, or 0.
int confere_faturas(const LinhaDeComando& lc, OpcoesFaturas& op) {
    // Each Pix option by itself first: one that cannot go into a payload is a usage error.
    constexpr std::array prepara{prepara_chave_pix, prepara_nome_pix, prepara_cidade_pix};
    std::array<std::optional<std::string>, 3> pix;
    // The name and city as typed, accents kept, for the page.
    std::array<std::string, 3> escritos;
    for (std::size_t k = 0; k < pix.size(); ++k) {
        if (!lc.tem(pix_chave + k)) continue;
        pix[k] = escritos[k] = *lc.valores[pix_chave + k];
        if (const Erro e = prepara[k](*pix[k]); !e.ok()) return uso_errado(descreve_erro(e));
    }
    if (lc.tem(emissor_op)) {
        Emissor em;
        if (const Erro e = le_emissor(std::string(*lc.valores[emissor_op]), em); !e.ok())
            return relata_erro(programa, e);
        op.pix = em.pix;
        op.titulo = em.titulo;
        op.recebedor = em.recebedor;
        op.emissor = std::move(em);
    }
    // The options take the place of the issuer's [pix], one by one.
    const auto dadas = std::count_if(pix.begin(), pix.end(), [](const auto& v) { return v; });
    if (dadas != 0 && dadas != 3 && !op.pix) return uso_errado(pix_juntas);
    if (dadas != 0) {
        if (!op.pix) op.pix.emplace();
        for (std::size_t k = 0; k < pix.size(); ++k)
            if (pix[k]) (k == 0 ? op.pix->chave : k == 1 ? op.pix->nome : op.pix->cidade) = *pix[k];
        op.recebedor = recebedor_escrito(
            {{}, pix[1] ? escritos[1] : op.pix->nome, pix[2] ? escritos[2] : op.pix->cidade});
    }
    if (!lc.tem(pasta) && ::isatty(STDOUT_FILENO) != 0)
        return uso_errado(
            "a saida padrao e um terminal: redirecione para um arquivo ou use --pasta");
    return 0;
}

// Writes the bills as the options say; the exit status. No bill at all is said, and nothing
// is written: a blank document bills no one.
int exporta_faturas(const Contas& e, const LinhaDeComando& lc, const OpcoesFaturas& op,
                    std::span<const std::string> lidos) {
    if (e.contas.empty()) {
        std::fprintf(stderr, "%s: nenhuma chamada cobrada; nenhuma fatura foi escrita\n", programa);
        return EXIT_SUCCESS;
    }
    if (lc.tem(pasta))
        return relata_erro(programa, grava_faturas_na_pasta(e, op, std::string(*lc.valores[pasta]),
                                                            lc.tem(forcar), lidos));
    const Erro ef = escreve_faturas(e, op, [](std::span<const std::byte> b) {
        return std::fwrite(b.data(), 1, b.size(), stdout) == b.size();
    });
    // A write that failed is told with the other failures of standard output.
    if (ef.tipo == TipoErro::sistema) return relata_erro(programa, ef);
    return EXIT_SUCCESS;
}

// Bills the records files of --chamadas; the exit status.
int exporta_registros(const LinhaDeComando& lc, std::string_view oque, OpcoesFaturas& op,
                      const std::string& clientes, std::span<const std::string> lidos,
                      DialetoCsv dialeto) {
    const bool faturas = oque == "faturas";
    const bool livro = e_livro(clientes);
    if (livro && lc.tem(linhas_op))
        return uso_errado("--linhas nao vai com um livro, que tem as linhas");
    if (livro && faturas && !lc.tem(pasta))
        return uso_errado("com um livro, as faturas vao para --pasta, cada uma no seu arquivo");
    if (!livro && lc.tem(segunda_via))
        return uso_errado("--segunda-via so com um livro (--clientes LIVRO.db)");
    PedidoRegistros p{{lc.todos[chamadas_op].begin(), lc.todos[chamadas_op].end()},
                      clientes,
                      std::string(lc.valores[linhas_op].value_or("")),
                      std::string(lc.valores[tarifas_op].value_or("")),
                      lc.tem(mes_op) ? le_mes(*lc.valores[mes_op]) : std::nullopt,
                      // A large records file is read on every core unless told otherwise: the
                      // output is the same.
                      lc.tem(tarefas_op) ? *numero<unsigned>(*lc.valores[tarefas_op])
                                         : std::max(1U, std::thread::hardware_concurrency()),
                      oque != "contas",
                      oque != "chamadas",
                      lc.tem(rejeitadas_op),
                      dialeto,
                      !faturas              ? UsoDasContas::lista
                      : lc.tem(segunda_via) ? UsoDasContas::segunda_via
                                            : UsoDasContas::emissao};
    FontesCobranca f;
    if (const Erro e = abre_fontes(p, f); !e.ok()) return relata_erro(programa, e);
    SaidaRejeitadas rejeitadas;
    if (const Erro e = rejeitadas.prepara(std::string(lc.valores[rejeitadas_op].value_or("")),
                                          lc.tem(forcar), !lc.tem(pasta), lidos);
        !e.ok())
        return relata_erro(programa, e);
    Cobradas c = cobra_pedido(p, f);
    if (!c.erro.ok()) return relata_erro(programa, c.erro);
    const bool emite = livro && p.uso == UsoDasContas::emissao;
    if (const Erro e = rejeitadas.escreve(c.rejeitadas); !e.ok()) return relata_erro(programa, e);
    // Bills are dated by their issue date; a document without any, by the last call: the same
    // records give the same bytes.
    if (c.ultima) op.instante = segundo_utc(*c.ultima);
    if (op.titulo.empty()) op.titulo = titulo_registros;
    if (emite) {
        // Each bill into the book as its document is written; the book keeps them only once
        // every document has its name.
        if (c.contas.contas.empty()) {
            std::fprintf(stderr, "%s: nenhuma chamada cobrada; nenhuma fatura foi escrita\n",
                         programa);
        } else if (const Erro e = grava_faturas_na_pasta(
                       c.contas, op, std::string(*lc.valores[pasta]), lc.tem(forcar), lidos,
                       {[&](const ContaMensal& conta, std::span<const std::byte> pdf) {
                            return registra_fatura(*f.livro, c.contas, conta, sha256_hex(pdf));
                        },
                        [&] { return f.livro->grava(); }});
                   !e.ok()) {
            return relata_erro(programa, e);
        }
    } else if (faturas) {
        if (const int r = exporta_faturas(c.contas, lc, op, lidos); r != 0) return r;
    } else if (oque == "chamadas") {
        exporta_chamadas(c.contas, stdout, dialeto, true);
    } else {
        exporta_contas(c.contas, stdout, dialeto);
    }
    // The rejected rows take their place only once the bills are out.
    if (const int r = termina_saida(programa, EXIT_SUCCESS); r != EXIT_SUCCESS) return r;
    if (const Erro e = rejeitadas.confirma(); !e.ok()) return relata_erro(programa, e);
    std::fprintf(stderr, "%s\n%s", descreve_resumo(c.resumo).c_str(),
                 descreve_sem_cliente(c.resumo).c_str());
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    prepara_programa();
    const LinhaDeComando lc = le_linha_de_comando(argc, argv, opcoes);
    if (!lc.erro.ok()) return uso_errado(lc.erro.detalhe);
    if (const auto status = ajuda_ou_versao({programa, uso, exportavel}, lc))
        return termina_saida(programa, *status);
    if (lc.operandos.empty())
        return uso_errado("falta o que exportar: chamadas, contas ou faturas");
    if (lc.operandos.size() > 1) return uso_errado("argumentos demais");
    const std::string_view oque = lc.operandos[0];
    if (!exportavel(oque))
        return uso_errado("exportacao desconhecida: " + std::string(oque) +
                          " (chamadas, contas ou faturas)");
    if (const Erro e = confere_opcoes(lc, oque); !e.ok()) return uso_errado(e.detalhe);

    std::optional<std::time_t> segundo;
    if (lc.tem(semente)) {
        segundo = numero<std::time_t>(*lc.valores[semente]);
        if (!segundo) return uso_errado("semente invalida");
    } else if (lc.tem(instante_op)) {
        std::time_t t = 0;
        if (const Erro e = le_instante(*lc.valores[instante_op], t); !e.ok())
            return relata_erro(programa, e);
        segundo = t;
    }
    const bool faturas = oque == "faturas";
    OpcoesFaturas op;
    if (faturas) {
        if (const int r = confere_faturas(lc, op); r != 0) return r;
        // Drawing needs a module of its own: one missing is said before anything is read.
        if (const Erro e = carrega_modulo_faturas(); !e.ok()) return relata_erro(programa, e);
    }
    const std::string clientes(lc.tem(clientes_op) ? *lc.valores[clientes_op] : arquivo_clientes);
    const DialetoCsv dialeto = lc.tem(planilha) ? csv_planilha : csv_padrao;

    // Standard output is never a file the command reads.
    const std::vector<std::string> lidos = arquivos_lidos(lc, clientes);
    if (!lc.tem(pasta))
        if (const Erro r = confere_saida_padrao(lidos); !r.ok()) return relata_erro(programa, r);
    if (lc.tem(chamadas_op)) return exporta_registros(lc, oque, op, clientes, lidos, dialeto);

    // The run seeds the generator with its start time, as contacel does.
    op.instante = segundo ? *segundo : std::time(nullptr);
    std::srand(static_cast<unsigned>(op.instante));
    Execucao e;
    if (e_livro(clientes))
        return relata_erro(programa, Erro::recusado(clientes,
                                                    "um livro nao serve a uma execucao; "
                                                    "grave dele o cadastro com "
                                                    "contacel-clientes exportar --arq"));
    if (const Erro erro = prepara_execucao(clientes.c_str(), &e); !erro.ok())
        return relata_erro(programa, erro);
    if (oque != "chamadas")
        if (const Erro erro = textos_em_utf8(e.lis_cli); !erro.ok())
            return relata_erro(programa, erro);
    if (faturas) {
        if (const int r = exporta_faturas(contas_da_execucao(e), lc, op, lidos); r != 0) return r;
    } else if (oque == "chamadas")
        exporta_chamadas(contas_da_execucao(e), stdout, dialeto);
    else
        exporta_contas(contas_da_execucao(e), stdout, dialeto);
    return termina_saida(programa, EXIT_SUCCESS);
}
