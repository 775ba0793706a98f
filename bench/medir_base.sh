#!/usr/bin/env bash
# CPU time (user + system, best of N runs, from the page cache) of billing the benchmark's PBX
# records with this build and with an earlier one, in turns in the same run, beside a bare
# read(2) + memchr loop over the same file; the outputs of both builds must be the same bytes.
# Also the start-up of `contacel-exportar --versao`, counted by callgrind.
#
#   bash bench/medir_base.sh BUILD_ANTERIOR [N]
#
# BUILD_ANTERIOR is the bench preset's folder of an earlier commit, e.g. made with
#   git archive COMMIT | tar -x -C /tmp/antes && (cd /tmp/antes && cmake --workflow --preset bench)
# The records files are the ones medir_registros.sh writes (build/bench/registros).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/mede.sh
antes=${1:?falta a pasta do build anterior}
vezes=${2:-5}
cmake --workflow --preset bench >/dev/null
agora=$PWD/build/bench
dados=$agora/registros
[ -f "$dados/registros.csv" ] || { echo "rode antes bench/medir_registros.sh" >&2; exit 1; }
cat "$dados/registros.csv" >/dev/null

args=(--chamadas "$dados/registros.csv" --linhas "$dados/linhas.csv" --clientes "$dados/clientes.arq")
for _ in $(seq "$vezes"); do
    mede leitura "$agora/bench/le_memchr" "$dados/registros.csv"
    for o in contas chamadas; do
        mede "$o-antes" "$antes/contacel-exportar" "$o" "${args[@]}"
        mede "$o-agora" "$agora/contacel-exportar" "$o" "${args[@]}"
    done
done
for o in contas chamadas; do
    # A build whose calls' CSV has other columns is compared on its figures alone.
    if [ "$(head -1 "$trabalho/$o-antes.out")" != "$(head -1 "$trabalho/$o-agora.out")" ]; then
        echo "$o: colunas diferentes nos dois builds; saidas nao comparadas" >&2
        continue
    fi
    cmp -s "$trabalho/$o-antes.out" "$trabalho/$o-agora.out" ||
        { echo "$o: as saidas diferem" >&2; exit 1; }
done
printf '%-16s %8s %12s %14s\n' medida cpu_s agora/antes "/leitura"
for o in contas chamadas; do
    for q in antes agora; do
        printf '%-16s %8s %12s %14s\n' "$o-$q" "${cpu[$o-$q]}" \
            "$(awk "BEGIN {printf \"%.2f\", ${cpu[$o-$q]} / ${cpu[$o-antes]}}")" \
            "$(awk "BEGIN {printf \"%.1fx\", ${cpu[$o-$q]} / ${cpu[leitura]}}")"
    done
done
printf '%-16s %8s\n' leitura "${cpu[leitura]}"
for q in antes agora; do
    d=$antes
    [ $q = agora ] && d=$agora
    n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$d/contacel-exportar" --versao 2>&1 >/dev/null |
        awk '/refs:/ {gsub(",", "", $NF); print $NF}')
    echo "--versao-$q: $n instrucoes"
done
