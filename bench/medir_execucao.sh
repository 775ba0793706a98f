#!/usr/bin/env bash
# Measures whole runs of contacel on the bundled customer file: the instructions of a run at
# each of SECONDS clock seconds from FIRST (callgrind, with the clock stopped at that second by a
# tiny preloaded library, so that the traffic is fixed), where they go at the costliest of them,
# wall time over RUNS runs (none with 0) and peak memory. Fails when a run at any of the seconds
# takes more than the budget of 2,500,000 instructions. Needs the Debian packages valgrind and,
# for the wall time and memory, time.
#
#   bash bench/medir_execucao.sh [FIRST] [SECONDS] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
primeiro=${1:-1512122400}
segundos=${2:-30}
rodadas=${3:-200}
orcamento=2500000

precisa=(valgrind callgrind_annotate)
((rodadas > 0)) && precisa+=(/usr/bin/time)
for cmd in "${precisa[@]}"; do
    command -v "$cmd" >/dev/null || { echo "falta $cmd (apt-get install valgrind time)" >&2; exit 1; }
done

cmake --workflow --preset bench >/dev/null
programa=$PWD/build/bench/contacel
relogio=$PWD/build/bench/librelogio_fixo.so
trabalho=$(mktemp -d)
trap 'rm -rf "$trabalho"' EXIT
cp exemplo/clientes.arq "$trabalho/"
cd "$trabalho"

# The instructions of one run at second $1; its profile stays in callgrind.$1.
conta() {
    CONTACEL_RELOGIO=$1 LD_PRELOAD=$relogio valgrind --tool=callgrind \
        --callgrind-out-file="callgrind.$1" "$programa" </dev/null >/dev/null 2>callgrind.err
    grep -o 'Collected : [0-9]*' callgrind.err | grep -o '[0-9]*$'
}

pior=0
pior_em=$primeiro
acima=0
echo "instrucoes por execucao, relogio parado em cada segundo (orcamento: $orcamento):"
for ((s = primeiro; s < primeiro + segundos; s++)); do
    n=$(conta "$s")
    marca=""
    if ((n > orcamento)); then
        marca="  acima do orcamento"
        acima=$((acima + 1))
    fi
    echo "  $s  $n$marca"
    if ((n > pior)); then
        pior=$n
        pior_em=$s
    fi
done

callgrind_annotate --inclusive=yes "callgrind.$pior_em" >inclusivo.txt
# Instructions spent in a function and all it calls.
em() { grep -m 1 -E "$1" inclusivo.txt | awk '{gsub(",", "", $1); print $1}'; }
main_=$(em '\?\?\?:main ')
num_seg=$(em ':num_seg\(')
geracao=$(em ':gere_lis_cha\(')
# qsort recurses, so its share is the sum of its own lines and of the comparators'.
ordenacao=$(callgrind_annotate --inclusive=no "callgrind.$pior_em" |
    awk '/msort\.c:|:cmp_/ {gsub(",", "", $1); s += $1} END {print s + 0}')

echo "a mais cara, em $pior_em:                              $pior"
echo "  num_seg (duracoes da lista e das contas):           $num_seg"
echo "  geracao das chamadas (sorteios e mais_n_seg):        $geracao"
echo "  qsort:                                               $ordenacao"
echo "  impressao, leitura do cadastro, resto:               $((main_ - num_seg - geracao - ordenacao))"
echo "  inicio e fim do processo:                            $((pior - main_))"

if ((rodadas > 0)); then
    inicio=$(date +%s%N)
    for ((i = 0; i < rodadas; i++)); do "$programa" </dev/null >/dev/null; done
    fim=$(date +%s%N)
    /usr/bin/time -v "$programa" </dev/null >/dev/null 2>time.txt
    pico=$(grep 'Maximum resident set size' time.txt | grep -o '[0-9]*$')
    echo "tempo medio por execucao ($rodadas execucoes):          $(((fim - inicio) / rodadas / 1000)) us"
    echo "pico de memoria residente:                             $pico KiB"
fi

if ((acima > 0)); then
    echo "$acima de $segundos segundos acima do orcamento de $orcamento instrucoes" >&2
    exit 1
fi
