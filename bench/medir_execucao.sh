#!/usr/bin/env bash
# Measures whole runs of contacel on the bundled customer file: instructions (callgrind, with the
# clock stopped at one second by a tiny preloaded library, so that the traffic is fixed) and where
# they go, wall time over repeated runs, and peak memory. Needs the Debian packages valgrind and
# time.
#
#   bash bench/medir_execucao.sh [UNIX_SECONDS] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
instante=${1:-1512000000}
rodadas=${2:-200}

for cmd in valgrind callgrind_annotate /usr/bin/time; do
    command -v "$cmd" >/dev/null || { echo "falta $cmd (apt-get install valgrind time)" >&2; exit 1; }
done

cmake --workflow --preset bench >/dev/null
programa=$PWD/build/bench/contacel
relogio=$PWD/build/bench/librelogio_fixo.so
trabalho=$(mktemp -d)
trap 'rm -rf "$trabalho"' EXIT
cp exemplo/clientes.arq "$trabalho/"
cd "$trabalho"

CONTACEL_RELOGIO=$instante LD_PRELOAD=$relogio valgrind --tool=callgrind \
    --callgrind-out-file=callgrind.out "$programa" </dev/null >/dev/null 2>callgrind.err
total=$(grep -o 'Collected : [0-9]*' callgrind.err | grep -o '[0-9]*$')
callgrind_annotate --inclusive=yes callgrind.out >inclusivo.txt
# Instructions spent in a function and all it calls.
em() { grep -m 1 -E "$1" inclusivo.txt | awk '{gsub(",", "", $1); print $1}'; }
main_=$(em '\?\?\?:main ')
num_seg=$(em ':num_seg\(')
geracao=$(em ':gere_lis_cha\(')
# qsort recurses, so its share is the sum of its own lines and of the comparators'.
ordenacao=$(callgrind_annotate --inclusive=no callgrind.out |
    awk '/msort\.c:|:cmp_/ {gsub(",", "", $1); s += $1} END {print s + 0}')

inicio=$(date +%s%N)
for ((i = 0; i < rodadas; i++)); do "$programa" </dev/null >/dev/null; done
fim=$(date +%s%N)

/usr/bin/time -v "$programa" </dev/null >/dev/null 2>time.txt
pico=$(grep 'Maximum resident set size' time.txt | grep -o '[0-9]*$')

echo "instrucoes por execucao (relogio parado em $instante):  $total"
echo "  num_seg (duracoes da lista e das contas):           $num_seg"
echo "  geracao das chamadas (sorteios e mais_1_seg):        $geracao"
echo "  qsort:                                               $ordenacao"
echo "  impressao, leitura do cadastro, resto:                 $((main_ - num_seg - geracao - ordenacao))"
echo "  inicio e fim do processo:                            $((total - main_))"
echo "tempo medio por execucao ($rodadas execucoes):          $(( (fim - inicio) / rodadas / 1000 )) us"
echo "pico de memoria residente:                             $pico KiB"
