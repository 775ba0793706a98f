# Sourced by the measurements: builds the bench preset and keeps, in $dados, $registros generated
# records, their lines file and a 20-customer register (binary and CSV). The files are kept
# between measurements: generating them takes longer than every run here.
cmake --workflow --preset bench >/dev/null
bin=$PWD/build/bench
dados=$bin/registros
mkdir -p "$dados"
if [ "$(cat "$dados/n" 2>/dev/null)" != "$registros" ]; then
    python3 bench/gera_registros.py "$dados/registros.csv" "$dados/linhas.csv" "$registros"
    "$bin/contacel-clientes" gerar 20 "$dados/clientes.arq" --semente 1 --forcar >/dev/null
    "$bin/contacel-clientes" exportar "$dados/clientes.arq" "$dados/clientes.csv" --forcar 2>/dev/null
    echo "$registros" >"$dados/n"
fi

# DuckDB from npm, installed once beside the build, and the ES modules given copied there with
# the one they share: an ES module finds its packages beside it.
duckdb_do_npm() {
    if [ ! -d "$bin/node/node_modules/@duckdb/node-api" ]; then
        mkdir -p "$bin/node"
        (cd "$bin/node" && npm install --no-audit --no-fund --silent @duckdb/node-api >/dev/null)
    fi
    cp bench/registros_duckdb.mjs "$@" "$bin/node/"
}
