# The benchmark's peer: the bills' totals of call records computed by awk (one pass, the fields
# split by hand around quoted commas), printed as contas_registros prints them. Written for mawk.
#
#   mawk -f bench/contas.awk CLIENTES.CSV LINHAS REGISTROS

# The fields of CSV row `s` into `f`, quotes undone; how many.
function campos(s, f,    q, n, i, t) {
    if (index(s, "\"") == 0) return split(s, f, ",")
    n = split(s, q, "\"")
    t = q[1]
    for (i = 2; i <= n; i++) {
        # Inside quotes every second piece; a doubled quote is an empty piece outside them.
        if (i % 2 == 0) gsub(/,/, "\001", q[i])
        else if (q[i] == "" && i < n) q[i] = "\""
        t = t q[i]
    }
    n = split(t, f, ",")
    for (i = 1; i <= n; i++) gsub(/\001/, ",", f[i])
    return n
}

# A line's key as contacel-exportar compares lines (see contas_duckdb.mjs), kept once worked out.
function chave(n,    d) {
    if (n in chaves) return chaves[n]
    d = n
    if (n ~ /^[0-9 +().-]*[0-9][0-9 +().-]*$/) {
        gsub(/[^0-9]/, "", d)
        if (d ~ /^55[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]?$/) d = substr(d, 3)
    }
    return chaves[n] = d
}

FNR == 1 { arquivo++ }
arquivo == 1 && FNR > 1 { campos($0, f); conta[f[1]] = f[1] + 0; next }
arquivo == 2 && FNR > 1 { campos($0, f); linha[chave(f[1])] = f[2] + 0; next }
arquivo == 3 {
    campos($0, f)
    b = f[14] + 0
    if (f[15] != "ANSWERED" || b <= 0 || f[16] == "OMIT") next
    if (f[1] in conta) c = conta[f[1]]
    else if ((k = chave(f[2])) in linha) c = linha[k]
    else next
    inicio = f[11] != "" ? f[11] : f[10]
    g = c "," (substr(inicio, 1, 4) + 0) "," (substr(inicio, 6, 2) + 0)
    chamadas[g]++
    segundos[g] += b
    centavos[g] += b <= 3 ? 0 : b <= 30 ? 30 : b - (b - 30) % 6
}
END {
    print "cliente,ano,mes,chamadas,segundos,centavos"
    fflush()
    ordem = "sort -t, -k1,1n -k2,2n -k3,3n"
    for (g in chamadas) print g "," chamadas[g] "," segundos[g] "," centavos[g] | ordem
    close(ordem)
}
