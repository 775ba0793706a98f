// contacel: prints the call list and the monthly bills of a month of simulated traffic.

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "cliente.h"
#include "execucao.h"

namespace {

constexpr const char* programa = "contacel";

// Output that failed at any point, including the final flush, is a failed run.
bool saida_ok() {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

}  // namespace

int main() {
    // The traffic of a run is decided by the second it starts in.
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    if (const Erro e = executa(arquivo_clientes); !e.ok()) return relata_erro(programa, e);
    if (!saida_ok()) {
        std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
