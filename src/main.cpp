// contacel: prints the call list and the monthly bills of a month of simulated traffic.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "cliente.h"
#include "execucao.h"
#include "opcoes.h"

namespace {

constexpr const char* programa = "contacel";

}  // namespace

int main() {
    // The system's words in a message (strerror) in the user's language; numbers stay as they are.
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    // The traffic of a run is decided by the second it starts in.
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    if (const Erro e = executa(arquivo_clientes); !e.ok()) return relata_erro(programa, e);
    // Output that failed at any point, including the final flush, is a failed run.
    return termina_saida(programa, EXIT_SUCCESS);
}
