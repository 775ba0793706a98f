#!/usr/bin/env bash
# CPU time (user + system, best of N runs) of `faturas` on 100,000 records of gera_registros.py
# (about 68,000 calls billed in 40 bills, with the issuer and a Pix stub on each first page),
# this build and an earlier one in turns in the same run: per call billed, and the earlier
# build's time over this one's.
#
#   bash bench/medir_faturas.sh BUILD_ANTERIOR [N]
#
# BUILD_ANTERIOR is the bench preset's folder of an earlier commit (see medir_base.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/mede.sh
antes=${1:?falta a pasta do build anterior}
vezes=${2:-3}
cmake --preset bench >/dev/null
cmake --build build/bench --target contacel-exportar contacel-clientes >/dev/null
agora=$PWD/build/bench
dados=$agora/faturas
mkdir -p "$dados"
if [ ! -f "$dados/clientes.arq" ]; then
    python3 bench/gera_registros.py "$dados/registros.csv" "$dados/linhas.csv" 100000
    "$agora/contacel-clientes" gerar 20 "$dados/clientes.arq" --semente 1 --forcar >/dev/null
fi
# An issuer both builds read: no taxes, which earlier builds do not know.
cat >"$dados/emissor.toml" <<'FIM'
[emissor]
nome = "Contacel Telefonia Ltda"
cnpj = "11222333000181"
endereco = "Av. Santos Dumont, 1000, Fortaleza - CE"
telefone = "0800 123 4567"

[pix]
chave = "12345678909"
nome = "Contacel Telefonia"
cidade = "Fortaleza"
FIM
cat "$dados/registros.csv" >/dev/null

args=(faturas --chamadas "$dados/registros.csv" --linhas "$dados/linhas.csv"
    --clientes "$dados/clientes.arq" --emissor "$dados/emissor.toml")
for _ in $(seq "$vezes"); do
    mede antes "$antes/contacel-exportar" "${args[@]}"
    mede agora "$agora/contacel-exportar" "${args[@]}"
done
chamadas=$(sed -n 's/^[0-9]* registros: \([0-9]*\) cobrados.*/\1/p' "$trabalho/agora.err")
printf '%-8s %8s %14s %14s\n' build cpu_s us/chamada antes/este
for q in antes agora; do
    printf '%-8s %8s %14s %14s\n' "$q" "${cpu[$q]}" \
        "$(awk "BEGIN {printf \"%.1f\", ${cpu[$q]} * 1e6 / $chamadas}")" \
        "$(awk "BEGIN {printf \"%.2fx\", ${cpu[antes]} / ${cpu[$q]}}")"
done
