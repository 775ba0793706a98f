#!/usr/bin/env bash
# Times the book at an operator's scale: importing 100,000 customers and 300,000 lines into a new
# book, and billing the month of 1 M records (gera_registros.py) with its customers and lines
# from a book against the same from the register and the lines file. Each billing runs three
# times in turns; the table shows the best wall time and the largest peak resident memory
# (/usr/bin/time's %M).
#
#   bash bench/medir_livro.sh [RECORDS]
set -euo pipefail
cd "$(dirname "$0")/.."
registros=${1:-1000000}
command -v /usr/bin/time >/dev/null || { echo "falta /usr/bin/time (apt-get install time)" >&2; exit 1; }

source bench/dados_registros.sh
trabalho=$(mktemp -d)
trap 'rm -rf "$trabalho"' EXIT

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
with open(f"{d}/linhas.csv", "w") as f:
    f.write("numero,cliente\n")
    for c in range(1, 100001):
        for k in range(3):
            f.write(f"85{9 if k else 3}{c * 3 + k:08d},{c}\n")
PY
/usr/bin/time -f "%e %M" -o "$trabalho/t1" "$bin/contacel-clientes" importar "$trabalho/clientes.csv" \
    "$trabalho/grande.db" >/dev/null
/usr/bin/time -f "%e %M" -o "$trabalho/t2" "$bin/contacel-clientes" linhas importar \
    "$trabalho/linhas.csv" "$trabalho/grande.db" >/dev/null
read -r s1 m1 <"$trabalho/t1"
read -r s2 m2 <"$trabalho/t2"
echo "importar 100000 clientes: ${s1} s, ${m1} KiB; linhas importar 300000: ${s2} s, ${m2} KiB"

# The register's 20 customers and the lines file, as a book.
"$bin/contacel-clientes" exportar "$dados/clientes.arq" "$trabalho/c20.csv" 2>/dev/null
"$bin/contacel-clientes" importar "$trabalho/c20.csv" "$trabalho/livro.db" >/dev/null
"$bin/contacel-clientes" linhas importar "$dados/linhas.csv" "$trabalho/livro.db" >/dev/null
cat "$dados/registros.csv" >/dev/null
declare -A melhor memoria
mede() {
    local nome=$1
    shift
    /usr/bin/time -f "%e %M" -o "$trabalho/tempo" "$@" >"$trabalho/$nome.csv" 2>/dev/null
    read -r parede kb <"$trabalho/tempo"
    if [ -z "${melhor[$nome]:-}" ] || awk "BEGIN {exit !($parede < ${melhor[$nome]})}"; then
        melhor[$nome]=$parede
    fi
    if [ -z "${memoria[$nome]:-}" ] || [ "$kb" -gt "${memoria[$nome]}" ]; then memoria[$nome]=$kb; fi
}
for _ in 1 2 3; do
    mede arquivo "$bin/contacel-exportar" contas --chamadas "$dados/registros.csv" \
        --linhas "$dados/linhas.csv" --clientes "$dados/clientes.arq"
    mede livro "$bin/contacel-exportar" contas --chamadas "$dados/registros.csv" \
        --clientes "$trabalho/livro.db"
done
cmp -s "$trabalho/arquivo.csv" "$trabalho/livro.csv" || { echo "as contas diferem" >&2; exit 1; }
printf '%-28s %8s %12s\n' "contas de $registros registros" "parede" "memoria"
for nome in arquivo livro; do
    printf '%-28s %7ss %9s KiB\n' "$nome" "${melhor[$nome]}" "${memoria[$nome]}"
done
