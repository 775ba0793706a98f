# Sourced by the measurements, first of all. `precisa PACOTES COMANDO...` stops, naming the Debian
# packages, when a command is missing. `mede NOME COMANDO...` runs COMANDO with its output in
# $trabalho/NOME.out and its errors in $trabalho/NOME.err, and keeps over its runs the best wall
# time in parede[NOME], the best CPU time (user + system) in cpu[NOME], each in seconds, and the
# largest peak resident memory, in KiB, in memoria[NOME]. $trabalho is removed at the end.
trabalho=$(mktemp -d)
trap 'rm -rf "$trabalho"' EXIT
declare -A parede cpu memoria

precisa() {
    local pacotes=$1
    shift
    for c in "$@"; do
        command -v "$c" >/dev/null || { echo "falta $c (apt-get install $pacotes)" >&2; exit 1; }
    done
}

mede() {
    local nome=$1 p u s kb c
    shift
    /usr/bin/time -f "%e %U %S %M" -o "$trabalho/tempo" "$@" >"$trabalho/$nome.out" \
        2>"$trabalho/$nome.err"
    read -r p u s kb <"$trabalho/tempo"
    c=$(awk "BEGIN {print $u + $s}")
    if [ -z "${parede[$nome]:-}" ] || awk "BEGIN {exit !($p < ${parede[$nome]})}"; then
        parede[$nome]=$p
    fi
    if [ -z "${cpu[$nome]:-}" ] || awk "BEGIN {exit !($c < ${cpu[$nome]})}"; then
        cpu[$nome]=$c
    fi
    if [ -z "${memoria[$nome]:-}" ] || [ "$kb" -gt "${memoria[$nome]}" ]; then
        memoria[$nome]=$kb
    fi
}
