// contacel-exportar: the calls or the bills of the run of a given second, as CSV, or the bills
// as a PDF document.
//
// The run is replayed with the library itself: the same seed, generation, sorting, durations,
// tariffs and grouping as contacel, so every figure is the one contacel prints in that second.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "execucao.h"
#include "exportacao.h"
#include "faturas.h"
#include "gravacao.h"
#include "instante.h"
#include "opcoes.h"
#include "versao.h"

namespace {

constexpr const char* programa = "contacel-exportar";

constexpr std::string_view uso =
    "uso: contacel-exportar chamadas [INSTANTE] [--clientes ARQUIVO] [--planilha]\n"
    "     contacel-exportar contas   [INSTANTE] [--clientes ARQUIVO] [--planilha]\n"
    "     contacel-exportar faturas  [INSTANTE] [--clientes ARQUIVO] [--pasta PASTA [--forcar]]\n"
    "                                [--pix-chave CHAVE --pix-nome NOME --pix-cidade CIDADE]\n"
    "     contacel-exportar --ajuda | --versao\n"
    "\n"
    "Refaz a execucao de contacel iniciada num segundo e escreve as suas chamadas ou contas em\n"
    "CSV (UTF-8), ou as suas faturas em PDF, na saida padrao.\n"
    "INSTANTE e --semente S, a hora Unix S, ou --instante \"AAAA-MM-DD hh:mm:ss[OFFSET]\", a data\n"
    "e hora locais (de TZ) ou, com OFFSET (Z, +hh:mm, -hh:mm, +hhmm, -hhmm), as desse fuso.\n"
    "Sem INSTANTE, o segundo atual. ARQUIVO e o cadastro (clientes.arq se omitido).\n"
    "--planilha   CSV de planilha em portugues: ponto e virgula, virgula decimal, BOM e CRLF.\n"
    "--pasta      uma fatura por arquivo, CODIGO-AAAA-MM.pdf; --forcar substitui os existentes.\n"
    "--pix-*      um QR Code Pix estatico com o valor a pagar em cada fatura.\n"
    "Saida: 0 feito, 1 erro nos dados ou nos arquivos, 2 erro de uso.\n";

enum : std::size_t {
    ajuda,
    versao,
    semente,
    instante_op,
    clientes_op,
    planilha,
    pasta,
    forcar,
    pix_chave,
    pix_nome,
    pix_cidade
};
constexpr std::array<Opcao, 11> opcoes{{{"ajuda", "help", 'h'},
                                        {"versao", "version", 'V'},
                                        {"semente", nullptr, 0, true},
                                        {"instante", nullptr, 0, true},
                                        {"clientes", nullptr, 0, true},
                                        {"planilha"},
                                        {"pasta", nullptr, 0, true},
                                        {"forcar"},
                                        {"pix-chave", nullptr, 0, true},
                                        {"pix-nome", nullptr, 0, true},
                                        {"pix-cidade", nullptr, 0, true}}};

bool exportavel(std::string_view oque) {
    return oque == "chamadas" || oque == "contas" || oque == "faturas";
}

int uso_errado(std::string_view motivo) {
    return erro_de_uso(programa, uso, motivo);
}

// One line on standard error, after the program's name.
int falha(int status, std::string_view motivo) {
    std::fprintf(stderr, "%s: %.*s\n", programa, static_cast<int>(motivo.size()), motivo.data());
    return status;
}

// The options of faturas, checked before the run: the Pix receiver, and where the document
// goes. Returns the exit status of a refusal, or 0.
int confere_faturas(const LinhaDeComando& lc, OpcoesFaturas& op) {
    if (lc.tem(forcar) && !lc.tem(pasta)) return uso_errado("--forcar so com --pasta");
    if (lc.tem(pasta) && lc.valores[pasta]->empty()) return uso_errado("--pasta vazia");
    const auto pix = std::count_if(&lc.valores[pix_chave], &lc.valores[pix_cidade] + 1,
                                   [](const auto& v) { return v.has_value(); });
    if (pix != 0 && pix != 3)
        return uso_errado("--pix-chave, --pix-nome e --pix-cidade vao juntas");
    if (pix == 3) {
        op.pix =
            RecebedorPix{std::string(*lc.valores[pix_chave]), std::string(*lc.valores[pix_nome]),
                         std::string(*lc.valores[pix_cidade])};
        if (const Erro e = prepara_recebedor_pix(*op.pix); !e.ok())
            return falha(saida_uso, descreve_erro(e));
    }
    if (!lc.tem(pasta) && ::isatty(STDOUT_FILENO) != 0)
        return falha(saida_uso,
                     "a saida padrao e um terminal: redirecione para um arquivo ou use --pasta");
    return 0;
}

// Writes the bills as the options say; the exit status.
int exporta_faturas(const Execucao& e, const LinhaDeComando& lc, const OpcoesFaturas& op,
                    const std::string& clientes) {
    if (lc.tem(pasta)) {
        const Erro f = grava_faturas_na_pasta(e, op, std::string(*lc.valores[pasta]),
                                              lc.tem(forcar), clientes);
        return f.ok() ? EXIT_SUCCESS : falha(status_de_saida(f), descreve_erro(f));
    }
    const Erro ef = escreve_faturas(e, op, [](std::span<const std::byte> b) {
        return std::fwrite(b.data(), 1, b.size(), stdout) == b.size();
    });
    // A write that failed is told with the other failures of standard output.
    if (ef.tipo == TipoErro::sistema) return falha(EXIT_FAILURE, descreve_erro(ef));
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    // Beyond the file-size limit a write fails and is told, rather than kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const LinhaDeComando lc = le_linha_de_comando(argc, argv, opcoes);
    if (!lc.erro.empty()) return uso_errado(lc.erro);
    if (lc.tem(ajuda) || lc.tem(versao)) {
        // "contas --ajuda" is help too; anything more is not.
        const bool so_um_comando = lc.operandos.size() == 1 && exportavel(lc.operandos[0]);
        if (lc.tem(ajuda) && lc.tem(versao)) return uso_errado("--ajuda ou --versao, nao ambas");
        if (!lc.operandos.empty() && !so_um_comando) return uso_errado("argumentos demais");
        const std::string texto =
            lc.tem(ajuda) ? std::string(uso) : std::string(programa) + " " + versao_contacel + "\n";
        std::fwrite(texto.data(), 1, texto.size(), stdout);
        return termina_saida(programa, EXIT_SUCCESS);
    }
    if (lc.operandos.empty())
        return uso_errado("falta o que exportar: chamadas, contas ou faturas");
    if (lc.operandos.size() > 1) return uso_errado("argumentos demais");
    const std::string_view oque = lc.operandos[0];
    if (!exportavel(oque)) return uso_errado("exporta-se chamadas, contas ou faturas");
    if (lc.tem(semente) && lc.tem(instante_op))
        return uso_errado("--semente ou --instante, nao ambos");

    std::optional<std::time_t> segundo;
    if (lc.tem(semente)) {
        segundo = numero<std::time_t>(*lc.valores[semente]);
        if (!segundo) return uso_errado("semente invalida");
    } else if (lc.tem(instante_op)) {
        const ResultadoInstante r = le_instante(*lc.valores[instante_op]);
        if (r.erro != ErroInstante::nenhum) {
            std::fprintf(stderr, "%s: %s\n", programa, descreve_erro_instante(r).c_str());
            return saida_uso;
        }
        segundo = r.segundo;
    }
    const bool faturas = oque == "faturas";
    if (!faturas && std::any_of(&lc.valores[pasta], &lc.valores[pix_cidade] + 1,
                                [](const auto& v) { return v.has_value(); }))
        return uso_errado("--pasta, --forcar e --pix-* sao de faturas");
    if (faturas && lc.tem(planilha)) return uso_errado("--planilha nao e de faturas");
    OpcoesFaturas op;
    if (faturas)
        if (const int r = confere_faturas(lc, op); r != 0) return r;
    const std::string clientes(lc.tem(clientes_op) ? *lc.valores[clientes_op] : arquivo_clientes);

    // Standard output is never the register it reads.
    if (!lc.tem(pasta))
        if (const Erro r = saida_nao_e_o_cadastro(STDOUT_FILENO, clientes); !r.ok())
            return falha(status_de_saida(r), descreve_erro(r));

    // The run seeds the generator with its start time, as contacel does.
    op.instante = segundo ? *segundo : std::time(nullptr);
    std::srand(static_cast<unsigned>(op.instante));
    Execucao e;
    if (const StatusCli st = prepara_execucao(clientes.c_str(), &e); !st.ok()) {
        relata_erro_cli(stderr, programa, clientes.c_str(), st);
        return EXIT_FAILURE;
    }
    if (oque != "chamadas")
        if (const ErroTexto et = textos_em_utf8(e.lis_cli); et != ErroTexto::nenhum)
            return falha(EXIT_FAILURE, descreve_erro_texto(et, ""));
    const DialetoCsv dialeto = lc.tem(planilha) ? csv_planilha : csv_padrao;
    if (faturas) {
        if (const int r = exporta_faturas(e, lc, op, clientes); r != EXIT_SUCCESS) return r;
    } else if (oque == "chamadas")
        exporta_chamadas(contas_da_execucao(e), stdout, dialeto);
    else
        exporta_contas(contas_da_execucao(e), stdout, dialeto);
    return termina_saida(programa, EXIT_SUCCESS);
}
