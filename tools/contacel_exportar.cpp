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
#include "opcoes.h"
#include "versao.h"

namespace {

constexpr const char* programa = "contacel-exportar";

constexpr std::string_view uso =
    "uso: contacel-exportar chamadas [--semente S | --instante \"AAAA-MM-DD hh:mm:ss\"] "
    "[--clientes ARQUIVO]\n"
    "     contacel-exportar contas   [--semente S | --instante \"AAAA-MM-DD hh:mm:ss\"] "
    "[--clientes ARQUIVO]\n"
    "\n"
    "Escreve na saida padrao, em CSV (UTF-8), as chamadas ou as contas da execucao de contacel\n"
    "iniciada no segundo dado: --semente S e a hora Unix S; --instante e a data e hora locais.\n"
    "Sem nenhum dos dois, o segundo atual. ARQUIVO e o cadastro (clientes.arq se omitido).\n";

// "AAAA-MM-DD hh:mm:ss" in the local time zone, as the run's clock reads it; a date or time
// that does not exist is refused.
std::optional<std::time_t> instante(std::string_view s) {
    std::array<int, 6> v{};
    constexpr std::string_view modelo = "0000-00-00 00:00:00";
    if (s.size() != modelo.size()) return std::nullopt;
    for (std::size_t i = 0, campo = 0; i < s.size(); ++i) {
        if (modelo[i] != '0') {
            if (s[i] != modelo[i]) return std::nullopt;
            ++campo;
        } else if (s[i] < '0' || s[i] > '9') {
            return std::nullopt;
        } else {
            v[campo] = v[campo] * 10 + (s[i] - '0');
        }
    }
    std::tm tm{};
    tm.tm_year = v[0] - 1900;
    tm.tm_mon = v[1] - 1;
    tm.tm_mday = v[2];
    tm.tm_hour = v[3];
    tm.tm_min = v[4];
    tm.tm_sec = v[5];
    tm.tm_isdst = -1;
    const std::tm pedido = tm;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_year != pedido.tm_year ||
        tm.tm_mon != pedido.tm_mon || tm.tm_mday != pedido.tm_mday ||
        tm.tm_hour != pedido.tm_hour || tm.tm_min != pedido.tm_min || tm.tm_sec != pedido.tm_sec)
        return std::nullopt;
    return t;
}

}  // namespace

namespace {

enum : std::size_t { ajuda, versao, semente, instante_op, clientes_op };
constexpr std::array<Opcao, 5> opcoes{{{"ajuda", "help", 'h'},
                                       {"versao", "version", 'V'},
                                       {"semente", nullptr, 0, true},
                                       {"instante", nullptr, 0, true},
                                       {"clientes", nullptr, 0, true}}};

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
    if (oque != "chamadas" && oque != "contas") return uso_errado("exporta-se chamadas ou contas");
    if (lc.tem(semente) && lc.tem(instante_op))
        return uso_errado("--semente ou --instante, nao ambos");

    std::optional<std::time_t> segundo;
    if (lc.tem(semente)) {
        segundo = numero<std::time_t>(*lc.valores[semente]);
        if (!segundo) return uso_errado("semente invalida");
    } else if (lc.tem(instante_op)) {
        segundo = instante(*lc.valores[instante_op]);
        if (!segundo) return uso_errado("instante invalido");
    }
    const std::string clientes(lc.tem(clientes_op) ? *lc.valores[clientes_op] : arquivo_clientes);

    // The run seeds the generator with its start time, as contacel does.
    std::srand(static_cast<unsigned>(segundo ? *segundo : std::time(nullptr)));
    Execucao e;
    if (const StatusCli st = prepara_execucao(clientes.c_str(), &e); !st.ok()) {
        relata_erro_cli(stderr, programa, clientes.c_str(), st);
        return EXIT_FAILURE;
    }
    if (oque == "chamadas")
        exporta_chamadas(e, stdout);
    else
        exporta_contas(e, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
