// The bills' totals of call records, as the benchmark's peers compute them: each billable
// record's customer (its account code when that is a register code, else its line), grouped by
// customer, year and month, with the count, the seconds and the charge in centavos. It measures
// the records reader with the least billing around it.
//
//   contas_registros CADASTRO LINHAS REGISTROS...

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include "cliente.h"
#include "cobranca.h"
#include "csv_clientes.h"
#include "linhas.h"
#include "registros.h"

namespace {

struct Totais {
    std::int64_t chamadas = 0;
    std::int64_t segundos = 0;
    std::int64_t centavos = 0;
};

struct Soma final : DestinoRegistros {
    const Clientes* clientes;
    const TabelaLinhas* linhas;
    std::map<std::tuple<std::uint32_t, int, int>, Totais> contas{};
    std::size_t registros = 0;

    Soma(const Clientes* c, const TabelaLinhas* l) : clientes(c), linhas(l) {}

    [[nodiscard]] bool no_cadastro(std::uint32_t cod) const {
        return clientes->busca(cod) != nullptr;
    }
    void registro(const RegistroChamada& r) override {
        ++registros;
        if (!r.cobravel) return;
        std::optional<std::uint32_t> cod = le_codigo(r.conta);
        if (!cod || !no_cadastro(*cod)) cod = cliente_da_linha(*linhas, r.origem);
        if (!cod) return;
        Totais& t = contas[{*cod, r.inicio.dat.ano, r.inicio.dat.mes}];
        ++t.chamadas;
        t.segundos += r.segundos;
        t.centavos += centavos_chamada(r.segundos);
    }
    bool rejeitado(const RegistroRejeitado& r) override {
        std::fprintf(stderr, "linha %zu: %.*s\n", r.linha, static_cast<int>(r.motivo.size()),
                     r.motivo.data());
        return false;
    }
};

}  // namespace

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
    const Clientes clientes = clientes_do_cadastro(lis_cli);
    TabelaLinhas linhas;
    if (const Erro e = le_linhas(argv[2], clientes, linhas); !e.ok()) {
        std::fprintf(stderr, "%s\n", descreve_erro(e).c_str());
        return 1;
    }
    Soma soma(&clientes, &linhas);
    for (int i = 3; i < argc; ++i)
        if (const Erro e = le_registros(argv[i], soma); !e.ok()) {
            std::fprintf(stderr, "%s\n", descreve_erro(e).c_str());
            return 1;
        }
    std::puts("cliente,ano,mes,chamadas,segundos,centavos");
    for (const auto& [chave, t] : soma.contas)
        std::printf("%u,%d,%d,%lld,%lld,%lld\n", std::get<0>(chave), std::get<1>(chave),
                    std::get<2>(chave), static_cast<long long>(t.chamadas),
                    static_cast<long long>(t.segundos), static_cast<long long>(t.centavos));
    std::fprintf(stderr, "%zu registros\n", soma.registros);
    return 0;
}
