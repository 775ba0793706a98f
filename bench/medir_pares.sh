#!/usr/bin/env bash
# The peers side by side on the benchmark's month of PBX records (1 M rows, the files
# medir_registros.sh writes), each in turn in the same run: this build's `contas` and `chamadas`
# on one thread and on two (--tarefas), an earlier build's, the machine's read limit
# (bench/le_memchr: read(2) + memchr), DuckDB (@duckdb/node-api), polars (nodejs-polars),
# pandas (Debian's python3-pandas) and mawk (bench/contas.awk). Best of N wall times and of N
# CPU times (user + system; N is 3 by default); every figure also as a ratio to the
# earlier build's (its `chamadas` for `chamadas`, its `contas` for the rest, which all compute
# the bills' totals). The totals of the records reader's driver, DuckDB, polars, pandas
# and mawk must be the same bytes, and so must the two builds' outputs and those of both
# numbers of threads. Needs node, npm (the npm registry the first time), python3-pandas, mawk
# and time.
#
#   bash bench/medir_pares.sh BUILD_ANTERIOR [N]
#
# BUILD_ANTERIOR is the bench preset's folder of an earlier commit (see medir_base.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/mede.sh
antes=${1:?falta a pasta do build anterior}
vezes=${2:-3}
registros=1000000
precisa "time nodejs npm mawk" /usr/bin/time node npm mawk
/usr/bin/python3 -c 'import pandas' 2>/dev/null ||
    { echo "falta o pandas (apt-get install python3-pandas)" >&2; exit 1; }

source bench/dados_registros.sh
if [ ! -d "$bin/node/node_modules/nodejs-polars-linux-x64-gnu" ] ||
    [ ! -d "$bin/node/node_modules/@duckdb/node-api" ]; then
    mkdir -p "$bin/node"
    # polars's native half is an optional package that npm leaves out on an older node.
    (cd "$bin/node" && npm install --no-audit --no-fund --silent @duckdb/node-api \
        nodejs-polars@0.26.1 nodejs-polars-linux-x64-gnu@0.26.1 >/dev/null 2>&1)
fi
# An ES module finds its packages beside it.
cp bench/registros_duckdb.mjs bench/contas_duckdb.mjs bench/contas_polars.mjs "$bin/node/"

cat "$dados/registros.csv" >/dev/null  # in the page cache for every program alike

args=(--chamadas "$dados/registros.csv" --linhas "$dados/linhas.csv" --clientes "$dados/clientes.arq")
totais=("$dados/clientes.csv" "$dados/linhas.csv" "$dados/registros.csv")
programas=(leitura contas-antes contas-1 contas-2 chamadas-antes chamadas-1 chamadas-2 leitor duckdb
    polars pandas mawk)
for _ in $(seq "$vezes"); do
    mede leitura "$bin/bench/le_memchr" "$dados/registros.csv"
    for o in contas chamadas; do
        mede "$o-antes" "$antes/contacel-exportar" "$o" "${args[@]}"
        mede "$o-1" "$bin/contacel-exportar" "$o" "${args[@]}" --tarefas 1
        mede "$o-2" "$bin/contacel-exportar" "$o" "${args[@]}" --tarefas 2
    done
    mede leitor "$bin/bench/contas_registros" "$dados/clientes.arq" "$dados/linhas.csv" \
        "$dados/registros.csv"
    mede duckdb node "$bin/node/contas_duckdb.mjs" "${totais[@]}"
    mede polars node "$bin/node/contas_polars.mjs" "${totais[@]}"
    mede pandas /usr/bin/python3 bench/contas_pandas.py "${totais[@]}"
    mede mawk mawk -f bench/contas.awk "${totais[@]}"
done

for nome in duckdb polars pandas mawk; do
    cmp -s "$trabalho/leitor.out" "$trabalho/$nome.out" ||
        { echo "os totais de $nome diferem dos do leitor" >&2; diff "$trabalho/leitor.out" "$trabalho/$nome.out" >&2; exit 1; }
done
for o in contas chamadas; do
    cmp -s "$trabalho/$o-1.out" "$trabalho/$o-2.out" || { echo "$o: --tarefas muda a saida" >&2; exit 1; }
    # A build whose calls' CSV has other columns is compared on its figures alone.
    if [ "$(head -1 "$trabalho/$o-antes.out")" = "$(head -1 "$trabalho/$o-1.out")" ]; then
        cmp -s "$trabalho/$o-antes.out" "$trabalho/$o-1.out" ||
            { echo "$o: as saidas dos dois builds diferem" >&2; exit 1; }
    fi
done
echo "$registros registros, $(du -m "$dados/registros.csv" | cut -f1) MB; totais iguais; carga $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-16s %9s %9s %14s %14s %12s\n' programa parede_s cpu_s parede/antes cpu/antes cpu/leitura
for nome in "${programas[@]}"; do
    base=contas-antes
    [[ $nome == chamadas-* ]] && base=chamadas-antes
    printf '%-16s %9s %9s %14s %14s %12s\n' "$nome" "${parede[$nome]}" "${cpu[$nome]}" \
        "$(awk "BEGIN {printf \"%.2f\", ${parede[$nome]} / ${parede[$base]}}")" \
        "$(awk "BEGIN {printf \"%.2f\", ${cpu[$nome]} / ${cpu[$base]}}")" \
        "$(awk "BEGIN {printf \"%.1f\", ${cpu[$nome]} / ${cpu[leitura]}}")"
done
