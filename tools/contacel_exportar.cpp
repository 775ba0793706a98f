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
#include "linha_de_comando.h"

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

int erro_de_uso(const char* motivo) {
    return mostra_uso(programa, uso, motivo);
}

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

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() == 2 && std::string_view(args[1]) == "--ajuda") {
        std::fwrite(uso.data(), 1, uso.size(), stdout);
        return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    if (args.size() < 2) return erro_de_uso("falta o que exportar: chamadas ou contas");
    const std::string_view oque = args[1];
    if (oque != "chamadas" && oque != "contas") return erro_de_uso("exporta-se chamadas ou contas");

    std::optional<std::time_t> semente;
    const char* clientes = arquivo_clientes;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a != "--semente" && a != "--instante" && a != "--clientes")
            return erro_de_uso("opcao desconhecida");
        if (i + 1 == args.size()) return erro_de_uso("falta o valor de uma opcao");
        const std::string_view valor = args[++i];
        if (a == "--clientes") {
            clientes = args[i];
            continue;
        }
        if (semente) return erro_de_uso("--semente ou --instante, uma so vez");
        semente = a == "--semente" ? numero<std::time_t>(valor) : instante(valor);
        if (!semente)
            return erro_de_uso(a == "--semente" ? "semente invalida" : "instante invalido");
    }

    // The run seeds the generator with its start time, as contacel does.
    std::srand(static_cast<unsigned>(semente ? *semente : std::time(nullptr)));
    Execucao e;
    if (const StatusCli st = prepara_execucao(clientes, &e); !st.ok()) {
        relata_erro_cli(stderr, programa, clientes, st);
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
