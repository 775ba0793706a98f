#!/usr/bin/env bash
# Times rating the benchmark's PBX records (1 M rows, gera_registros.py) by an operator's price
# list: `contas` with the default one, `contas --tarifas` with the list gera_tarifas.py writes
# (2,000 prefix destinations, the kinds, reduced bands, holidays, successive calls within 120 s,
# a plan with an allowance) and DuckDB doing the same rating in SQL (bench/tarifas_duckdb.mjs)
# in the same run, in turns, three times each. The table shows the CPU time (user + system) and
# the wall time of the run with the least CPU; DuckDB's totals must be the bytes of ours.
# Needs node and npm (the npm registry the first time, as medir_registros.sh) and time.
#
#   bash bench/medir_tarifas.sh [RECORDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/mede.sh
registros=${1:-1000000}

precisa "time nodejs npm python3" /usr/bin/time node npm /usr/bin/python3

source bench/dados_registros.sh
duckdb_do_npm bench/tarifas_duckdb.mjs
lista=$dados/tarifas
python3 bench/gera_tarifas.py "$lista" "$dados/linhas.csv"

cat "$dados/registros.csv" >/dev/null  # in the page cache for every program alike

exportar=("$bin/contacel-exportar" contas --chamadas "$dados/registros.csv" --clientes "$dados/clientes.arq")
for _ in 1 2 3; do
    mede contas "${exportar[@]}" --linhas "$dados/linhas.csv"
    mede tarifas "${exportar[@]}" --linhas "$lista/linhas.csv" --tarifas "$lista/tarifas.toml"
    mede duckdb node "$bin/node/tarifas_duckdb.mjs" "$dados/clientes.csv" "$lista" "$dados/registros.csv"
done

# The exporter's columns but the customer's name and address and the due date.
python3 -c '
import csv, sys
r = csv.reader(open(sys.argv[1], encoding="latin-1"))
next(r)
print("cliente,mes,ano,chamadas,duracao_total,mensalidades,franquia_usada,valor_chamadas,valor_total")
for l in r:
    print(",".join([l[0]] + l[3:11]))
' "$trabalho/tarifas.out" >"$trabalho/nossos.csv"
cmp -s "$trabalho/nossos.csv" "$trabalho/duckdb.out" ||
    { echo "os totais do DuckDB diferem dos de contas --tarifas" >&2; diff "$trabalho/nossos.csv" "$trabalho/duckdb.out" >&2; exit 1; }
echo "$registros registros, $(grep -c '^\[\[destino' "$lista/tarifas.toml") destinos; totais iguais"
printf '%-16s %8s %8s %18s %12s\n' programa cpu_s parede_s "/contas (cpu)" "DuckDB/este"
for nome in contas tarifas duckdb; do
    printf '%-16s %8s %8s %18s %12s\n' "$nome" "${cpu[$nome]}" "${parede[$nome]}" \
        "$(awk "BEGIN {printf \"%.2fx\", ${cpu[$nome]} / ${cpu[contas]}}")" \
        "$(awk "BEGIN {printf \"%.1fx\", ${cpu[duckdb]} / ${cpu[$nome]}}")"
done
