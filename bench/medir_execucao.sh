#!/usr/bin/env bash
# Measures whole runs of contacel on the bundled customer file: instructions (callgrind, with the
# clock frozen so that the seed and so the traffic are fixed), wall time over repeated runs, and
# peak memory. Needs the Debian packages valgrind, faketime and time.
#
#   bash bench/medir_execucao.sh ["AAAA-MM-DD hh:mm:ss"] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
instante=${1:-"2017-12-01 10:00:00"}
rodadas=${2:-200}

for cmd in valgrind faketime /usr/bin/time; do
    command -v "$cmd" >/dev/null || { echo "falta $cmd (apt-get install valgrind faketime time)" >&2; exit 1; }
done

cmake --workflow --preset release >/dev/null
programa=$PWD/build/release/contacel
trabalho=$(mktemp -d)
trap 'rm -rf "$trabalho"' EXIT
cp exemplo/clientes.arq "$trabalho/"
cd "$trabalho"

# libfaketime with an absolute time keeps the clock still, however slow the run under valgrind.
biblioteca=$(dpkg -L libfaketime 2>/dev/null | grep '/libfaketime.so.1$' | head -n 1)
congelado() { FAKETIME="$instante" LD_PRELOAD="$biblioteca" "$@"; }

congelado valgrind --tool=callgrind --callgrind-out-file=callgrind.out "$programa" \
    </dev/null >/dev/null 2>callgrind.err
instrucoes=$(grep -o 'Collected : [0-9]*' callgrind.err | grep -o '[0-9]*$')
valgrind --tool=callgrind --callgrind-out-file=callgrind-real.out "$programa" \
    </dev/null >/dev/null 2>callgrind-real.err
instrucoes_real=$(grep -o 'Collected : [0-9]*' callgrind-real.err | grep -o '[0-9]*$')

inicio=$(date +%s%N)
for ((i = 0; i < rodadas; i++)); do "$programa" </dev/null >/dev/null; done
fim=$(date +%s%N)

/usr/bin/time -v "$programa" </dev/null >/dev/null 2>time.txt
pico=$(grep 'Maximum resident set size' time.txt | grep -o '[0-9]*$')

echo "instrucoes por execucao (relogio em $instante, com libfaketime): $instrucoes"
echo "instrucoes por execucao (relogio real, sem libfaketime):        $instrucoes_real"
echo "tempo medio por execucao ($rodadas execucoes):                   $(( (fim - inicio) / rodadas / 1000 )) us"
echo "pico de memoria residente:                                      $pico KiB"
