// contacel-exportar: the calls or the bills of the run of a given second, as CSV.
//
// The run is replayed with the library itself: the same seed, generation, sorting, durations,
// tariffs and grouping as contacel, so every figure is the one contacel prints in that second.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "execucao.h"
#include "exportacao.h"
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

enum : std::size_t { ajuda, versao, semente, instante_op, clientes_op, planilha };
constexpr std::array<Opcao, 6> opcoes{{{"ajuda", "help", 'h'},
                                       {"versao", "version", 'V'},
                                       {"semente", nullptr, 0, true},
                                       {"instante", nullptr, 0, true},
                                       {"clientes", nullptr, 0, true},
                                       {"planilha"}}};

int uso_errado(std::string_view motivo) {
    return erro_de_uso(programa, uso, motivo);
}

}  // namespace

int main(int argc, char** argv) {
    const LinhaDeComando lc = le_linha_de_comando(argc, argv, opcoes);
    if (!lc.erro.empty()) return uso_errado(lc.erro);
    if (lc.tem(ajuda) || lc.tem(versao)) {
        if (!lc.operandos.empty() || (lc.tem(ajuda) && lc.tem(versao)))
            return uso_errado("argumentos demais");
        const std::string texto =
            lc.tem(ajuda) ? std::string(uso) : std::string(programa) + " " + versao_contacel + "\n";
        return escreve_na_saida(programa, texto) ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    if (lc.operandos.empty()) return uso_errado("falta o que exportar: chamadas ou contas");
    if (lc.operandos.size() > 1) return uso_errado("argumentos demais");
    const std::string_view oque = lc.operandos[0];
    if (oque != "chamadas" && oque != "contas")
        return uso_errado("exporta-se chamadas, contas ou faturas");
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
    const std::string clientes(lc.tem(clientes_op) ? *lc.valores[clientes_op] : arquivo_clientes);

    // The run seeds the generator with its start time, as contacel does.
    std::srand(static_cast<unsigned>(segundo ? *segundo : std::time(nullptr)));
    Execucao e;
    if (const StatusCli st = prepara_execucao(clientes.c_str(), &e); !st.ok()) {
        relata_erro_cli(stderr, programa, clientes.c_str(), st);
        return EXIT_FAILURE;
    }
    const DialetoCsv dialeto = lc.tem(planilha) ? csv_planilha : csv_padrao;
    if (oque == "chamadas")
        exporta_chamadas(e, stdout, dialeto);
    else
        exporta_contas(e, stdout, dialeto);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
