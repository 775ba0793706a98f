// The bills' totals of call records, as the benchmark's peers print them: the billing of
// contacel-exportar contas (customer by account code or line, totals by customer, year and month,
// in centavos) without its CSV writer, so that the records reader is timed with the least around
// it.
//
//   contas_registros CADASTRO LINHAS REGISTROS...

#include <cstdio>
#include <memory>

#include "cobranca_registros.h"
#include "csv_clientes.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("uso: contas_registros CADASTRO LINHAS REGISTROS...\n", stderr);
        return 2;
    }
    TLisCli lis_cli{};
    if (!le_lis_cli_de(argv[1], &lis_cli).ok()) {
        std::fprintf(stderr, "%s: cadastro ilegivel\n", argv[1]);
        return 1;
    }
    const auto clientes = std::make_shared<const Clientes>(clientes_do_cadastro(lis_cli));
    TabelaLinhas linhas;
    if (const Erro e = le_linhas(argv[2], *clientes, linhas); !e.ok()) {
        std::fprintf(stderr, "%s\n", descreve_erro(e).c_str());
        return 1;
    }
    CobrancaRegistros cobranca({clientes, &linhas, {}, false, false, csv_padrao});
    for (int i = 3; i < argc; ++i)
        if (const Erro e = cobranca.le(argv[i]); !e.ok()) {
            std::fprintf(stderr, "%s\n", descreve_erro(e).c_str());
            return 1;
        }
    const Contas contas = cobranca.termina();
    std::puts("cliente,ano,mes,chamadas,segundos,centavos");
    for (const ContaMensal& c : contas.contas)
        std::printf("%u,%d,%d,%lld,%lld,%lld\n", c.cod_cli, c.ano, c.mes,
                    static_cast<long long>(c.chamadas), static_cast<long long>(c.tempo_total),
                    static_cast<long long>(c.valor_total.centavos));
    std::fprintf(stderr, "%llu registros\n",
                 static_cast<unsigned long long>(cobranca.resumo().registros));
    return 0;
}
