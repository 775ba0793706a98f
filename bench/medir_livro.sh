#!/usr/bin/env bash
# Times the book at an operator's scale: importing 100,000 customers and 300,000 lines into a new
# book (and the lines of the records), then billing the month of 1 M records (gera_registros.py)
# with its customers and lines from that book, against the same lines from a lines file beside the
# register (and against the records' own 400 lines alone), and against DuckDB (bench/contas_duckdb.mjs, installed as medir_registros.sh does). Each
# billing runs three times in turns; the table shows the best wall and CPU (user + system) times
# and the largest peak resident memory (/usr/bin/time's %M). The totals from the book must be those of the lines file.
#
#   bash bench/medir_livro.sh [RECORDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/mede.sh
registros=${1:-1000000}
precisa time /usr/bin/time

source bench/dados_registros.sh

# 100,000 customers with every field, three lines each.
python3 - "$trabalho" <<'PY'
import sys
d = sys.argv[1]
def cpf(n):
    b = [int(c) for c in f"{n:09d}"]
    for k in (10, 11):
        s = sum(x * (k - i) for i, x in enumerate(b)) % 11
        b.append(0 if s < 2 else 11 - s)
    return "".join(map(str, b))
with open(f"{d}/clientes.csv", "w") as f:
    f.write("codigo,nome,endereco,documento,email,cep,cidade,uf\n")
    for c in range(1, 100001):
        f.write(f'{c},Cliente {c} da Silva,"Rua {c % 977}, {c % 1000}, Bairro {c % 31}",'
                f"{cpf(100000000 + c)},c{c}@exemplo.com.br,{60000000 + c % 99999:08d},Fortaleza,CE\n")
# The same lines as a lines file beside the 20-customer register, which can hold no more
# customers: each line's customer folded into the register's codes.
with open(f"{d}/linhas.csv", "w") as f, open(f"{d}/linhas_cadastro.csv", "w") as g:
    f.write("numero,cliente\n")
    g.write("numero,cliente\n")
    for c in range(1, 100001):
        for k in range(3):
            f.write(f"84{9 if k else 3}{c * 3 + k:08d},{c}\n")
            g.write(f"84{9 if k else 3}{c * 3 + k:08d},{(c - 1) % 20 + 1}\n")
PY
# The records' own lines too (area code 84 is none of theirs), so that the book bills them.
tail -n +2 "$dados/linhas.csv" >>"$trabalho/linhas.csv"
tail -n +2 "$dados/linhas.csv" >>"$trabalho/linhas_cadastro.csv"
mede clientes "$bin/contacel-clientes" importar "$trabalho/clientes.csv" "$trabalho/grande.db"
mede linhas "$bin/contacel-clientes" linhas importar "$trabalho/linhas.csv" "$trabalho/grande.db"
echo "importar 100000 clientes: ${parede[clientes]} s (CPU ${cpu[clientes]} s), ${memoria[clientes]} KiB;" \
    "linhas importar 300000: ${parede[linhas]} s (CPU ${cpu[linhas]} s), ${memoria[linhas]} KiB"

duckdb_do_npm bench/contas_duckdb.mjs
cat "$dados/registros.csv" >/dev/null
for _ in 1 2 3; do
    mede arquivo "$bin/contacel-exportar" contas --chamadas "$dados/registros.csv" \
        --linhas "$trabalho/linhas_cadastro.csv" --clientes "$dados/clientes.arq"
    mede so_registros "$bin/contacel-exportar" contas --chamadas "$dados/registros.csv" \
        --linhas "$dados/linhas.csv" --clientes "$dados/clientes.arq"
    mede livro "$bin/contacel-exportar" contas --chamadas "$dados/registros.csv" \
        --clientes "$trabalho/grande.db"
    mede duckdb node "$bin/node/contas_duckdb.mjs" "$dados/clientes.csv" "$trabalho/linhas_cadastro.csv" \
        "$dados/registros.csv"
done
# The same bills but for the names, and the column of the issued bills' numbers.
python3 - "$trabalho/arquivo.out" "$trabalho/livro.out" <<'PY' || { echo "as contas diferem" >&2; exit 1; }
import csv, sys
def totais(arquivo):
    return [[l[0]] + l[3:9] for l in csv.reader(open(arquivo))][1:]
sys.exit(totais(sys.argv[1]) != totais(sys.argv[2]))
PY
printf '%-28s %8s %8s %12s\n' "contas de $registros registros" "parede" "CPU" "memoria"
for nome in arquivo so_registros livro duckdb; do
    printf '%-28s %7ss %7ss %9s KiB\n' "$nome" "${parede[$nome]}" "${cpu[$nome]}" "${memoria[$nome]}"
done
