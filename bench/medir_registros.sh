#!/usr/bin/env bash
# Times billing a month of PBX records (1 M rows, about 270 MB, written by gera_registros.py)
# beside two peers on the same files in the same run: DuckDB (its read_csv, joins and group by,
# on all cores, through the npm package @duckdb/node-api) and pandas (Debian's python3-pandas).
# Each program runs three times in turns; the table shows the best wall time, the best CPU
# time and the largest peak resident memory (/usr/bin/time's %M). The totals of the reader's
# own driver, DuckDB and pandas must be the same bytes. Needs node, npm (with access to the npm
# registry the first time), python3-pandas and time.
#
#   bash bench/medir_registros.sh [RECORDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/mede.sh
registros=${1:-1000000}

precisa "time nodejs npm python3" /usr/bin/time node npm /usr/bin/python3
/usr/bin/python3 -c 'import pandas' 2>/dev/null ||
    { echo "falta o pandas (apt-get install python3-pandas)" >&2; exit 1; }

source bench/dados_registros.sh
duckdb_do_npm bench/contas_duckdb.mjs

cat "$dados/registros.csv" >/dev/null  # in the page cache for every program alike

programas=(leitor duckdb pandas)
exportar_le_registros=false
if "$bin/contacel-exportar" --ajuda | grep -q -- '--chamadas'; then
    exportar_le_registros=true
    programas=(contas "${programas[@]}")
fi
for _ in 1 2 3; do
    if $exportar_le_registros; then
        mede contas "$bin/contacel-exportar" contas --chamadas "$dados/registros.csv" \
            --linhas "$dados/linhas.csv" --clientes "$dados/clientes.arq"
    fi
    mede leitor "$bin/bench/contas_registros" "$dados/clientes.arq" "$dados/linhas.csv" \
        "$dados/registros.csv"
    mede duckdb node "$bin/node/contas_duckdb.mjs" "$dados/clientes.csv" "$dados/linhas.csv" \
        "$dados/registros.csv"
    mede pandas /usr/bin/python3 bench/contas_pandas.py "$dados/clientes.csv" "$dados/linhas.csv" \
        "$dados/registros.csv"
done

for nome in duckdb pandas; do
    cmp -s "$trabalho/leitor.out" "$trabalho/$nome.out" ||
        { echo "os totais de $nome diferem dos do leitor" >&2; diff "$trabalho/leitor.out" "$trabalho/$nome.out" >&2; exit 1; }
done
echo "$registros registros, $(du -m "$dados/registros.csv" | cut -f1) MB; totais iguais nos tres"
printf '%-8s %10s %10s %12s %14s\n' programa parede_s cpu_s pico_MiB "DuckDB/este"
for nome in "${programas[@]}"; do
    printf '%-8s %10s %10s %12s %14s\n' "$nome" "${parede[$nome]}" "${cpu[$nome]}" \
        "$(awk "BEGIN {printf \"%.1f\", ${memoria[$nome]} / 1024}")" \
        "$(awk "BEGIN {printf \"%.1fx\", ${parede[duckdb]} / ${parede[$nome]}}")"
done
