// Timings of the hot paths: stepping a second, counting a call's seconds, generating and
// sorting a month of calls, printing the bills, and a whole run. Output goes to /dev/null.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "celular.h"
#include "conta.h"
#include "execucao.h"
#include "lista_chamadas.h"

namespace {

// Standard output goes to /dev/null while it lives; the reports go to the terminal afterwards.
class SaidaNula {
  public:
    SaidaNula() : guardada_(::dup(1)) {
        std::fflush(stdout);
        const int nula = ::open("/dev/null", O_WRONLY);
        ::dup2(nula, 1);
        ::close(nula);
    }
    ~SaidaNula() {
        std::fflush(stdout);
        ::dup2(guardada_, 1);
        ::close(guardada_);
    }
    SaidaNula(const SaidaNula&) = delete;
    SaidaNula& operator=(const SaidaNula&) = delete;

  private:
    int guardada_;
};

struct Cadastro {
    TLisCli cli{};
    TLisCel cel{};
    Cadastro() {
        std::srand(1);
        gere_lis_cli(8, &cli);
        gere_lis_cel(&cli, &cel);
    }
};

void gera_e_ordena(TLisCha* li_ch) {
    li_ch->num_cha = 0;
    gere_lis_cha(li_ch, 200);
    std::qsort(li_ch->chamadas, static_cast<std::size_t>(li_ch->num_cha), sizeof(TChamada),
               cmp_chamada_ori_dat_hor);
}

void BM_mais_1_seg(benchmark::State& state) {
    TDataHora dh{{1, 11, 2017}, {0, 0, 0}};
    for (auto _ : state) {
        dh = mais_1_seg(dh);
        benchmark::DoNotOptimize(dh);
    }
}
BENCHMARK(BM_mais_1_seg);

void BM_num_seg_600(benchmark::State& state) {
    const TDataHora ini{{31, 12, 2017}, {23, 55, 0}};
    TDataHora fim = ini;
    for (int i = 0; i < 600; ++i)
        fim = mais_1_seg(fim);
    for (auto _ : state)
        benchmark::DoNotOptimize(num_seg(ini, fim));
}
BENCHMARK(BM_num_seg_600);

void BM_gere_lis_cha_200_e_ordena(benchmark::State& state) {
    auto li_ch = std::make_unique<TLisCha>();
    std::srand(1);
    for (auto _ : state) {
        gera_e_ordena(li_ch.get());
        benchmark::DoNotOptimize(li_ch->chamadas[0]);
    }
}
BENCHMARK(BM_gere_lis_cha_200_e_ordena);

void BM_mostre_contas_200(benchmark::State& state) {
    const Cadastro c;
    auto li_ch = std::make_unique<TLisCha>();
    gera_e_ordena(li_ch.get());
    const SaidaNula nula;
    for (auto _ : state)
        mostre_contas(&c.cli, &c.cel, li_ch.get());
}
BENCHMARK(BM_mostre_contas_200);

void BM_execucao_inteira(benchmark::State& state) {
    // A customer file of eight, made for the measurement.
    std::array<char, 64> caminho{};
    std::snprintf(caminho.data(), caminho.size(), "/tmp/contacel-bench.XXXXXX");
    const int fd = ::mkstemp(caminho.data());
    const Cadastro c;
    std::array<std::byte, tamanho_maximo_arq> bytes{};
    const std::size_t n = codifica_lis_cli(&c.cli, bytes);
    if (::write(fd, bytes.data(), n) != static_cast<ssize_t>(n)) state.SkipWithError("write");
    ::close(fd);
    static_cast<void>(std::freopen("/dev/null", "r", stdin));
    {
        const SaidaNula nula;
        unsigned semente = 0;
        for (auto _ : state) {
            std::srand(++semente);
            benchmark::DoNotOptimize(executa(caminho.data()).ok());
        }
    }
    ::unlink(caminho.data());
}
BENCHMARK(BM_execucao_inteira);

}  // namespace

BENCHMARK_MAIN();
