#!/usr/bin/env bash
# Drives the bash completion of contacel-clientes and contacel-exportar over a table of
# partial command lines, the cursor at the end of each, in a folder holding one file of each
# kind a command line takes and one folder.
# Usage: teste_completar.sh PASTA_DAS_COMPLETACOES
set -uo pipefail
completacoes=$1
source /usr/share/bash-completion/bash_completion || exit 1
source "$completacoes/contacel-clientes" || exit 1
source "$completacoes/contacel-exportar" || exit 1

pasta=$(mktemp -d)
trap 'rm -rf "$pasta"' EXIT
cd "$pasta" || exit 1
touch clientes.arq novos.csv notas.txt
mkdir saida

# The words bash makes of a line: split at blanks, "=" and ":" words of their own.
completa() {
    local linha=$1 w
    local -a palavras=()
    for w in $linha; do
        while [[ $w == *[=:]* ]]; do
            local resto=${w#*[=:]}
            palavras+=("${w%%[=:]*}" "${w:${#w}-${#resto}-1:1}")
            w=$resto
        done
        [[ -n $w ]] && palavras+=("$w")
    done
    [[ $linha == *[\ =:] ]] && palavras+=("")
    COMP_WORDS=("${palavras[@]}")
    COMP_CWORD=$((${#palavras[@]} - 1))
    COMP_LINE=$linha
    COMP_POINT=${#linha}
    COMPREPLY=()
    local funcao
    case ${palavras[0]} in
        contacel-clientes) funcao=_contacel_clientes ;;
        contacel-exportar) funcao=_contacel_exportar ;;
    esac
    "$funcao" "${palavras[0]}" "${palavras[COMP_CWORD]}" "${palavras[COMP_CWORD - 1]}" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

falhas=0
while IFS='|' read -r linha esperado; do
    [[ -z $linha || $linha == \#* ]] && continue
    obtido=$(completa "$linha")
    if [[ $obtido != "$esperado" ]]; then
        echo "\"$linha\": esperado \"$esperado\", obtido \"$obtido\""
        falhas=$((falhas + 1))
    fi
done <<'TABELA'
# linha|completacoes esperadas, em ordem alfabetica
contacel-clientes |alterar copiar excluir exportar gerar importar incluir linhas listar verificar
contacel-clientes ex|excluir exportar
contacel-clientes linhas |exportar importar listar
contacel-clientes linhas importar |novos.csv saida
contacel-clientes incluir --u|--uf
contacel-clientes --v|--versao --version
contacel-clientes importar |novos.csv saida
contacel-clientes importar novos.csv |clientes.arq saida
contacel-clientes importar novos.csv clientes.arq |
contacel-clientes importar --codificacao |cp1252 iso-8859-1 latin1 utf-8 windows-1252
contacel-clientes importar --codificacao=win|windows-1252
contacel-clientes importar --codificacao latin1 |novos.csv saida
contacel-clientes importar -|--codificacao --forcar
contacel-clientes importar --forcar --|--codificacao
contacel-clientes --forcar importar |novos.csv saida
contacel-clientes exportar |clientes.arq saida
contacel-clientes exportar clientes.arq |novos.csv saida
contacel-clientes exportar -|--arq --forcar --planilha
contacel-clientes incluir 9 Ana Rua |clientes.arq saida
contacel-clientes incluir 9 Ana |
contacel-clientes alterar 3 --nome Ana |clientes.arq saida
contacel-clientes alterar 3 --nome=Ana --|--cep --cidade --documento --email --endereco --forcar --uf
contacel-clientes alterar 3 --nome |
contacel-clientes excluir 3 |clientes.arq saida
contacel-clientes listar -|--utf8
contacel-clientes gerar 8 |clientes.arq saida
contacel-clientes gerar --semente 5 8 |clientes.arq saida
contacel-clientes verificar -- |clientes.arq saida
contacel-exportar |chamadas contas faturas
contacel-exportar f|faturas
contacel-exportar --semente 1 |chamadas contas faturas
contacel-exportar --instante 2017-12-01T10:00:00Z |chamadas contas faturas
contacel-clientes incluir 9 Ana Rua:1 |clientes.arq saida
contacel-exportar chamadas |
contacel-exportar chamadas -|--chamadas --clientes --forcar --instante --linhas --mes --planilha --rejeitadas --semente --tarefas --tarifas
contacel-exportar contas --semente 1 -|--clientes --forcar --planilha
contacel-exportar contas --chamadas a.csv --mes 2024-12 -|--chamadas --clientes --forcar --linhas --planilha --rejeitadas --tarefas --tarifas
contacel-exportar --tarefas |
contacel-exportar faturas --chamadas |clientes.arq notas.txt novos.csv saida
contacel-exportar --linhas |novos.csv saida
contacel-exportar --mes |
contacel-exportar faturas --pa|--pasta
contacel-exportar faturas --pasta |saida
contacel-exportar faturas --pasta=|saida
contacel-exportar faturas --clientes |clientes.arq saida
contacel-exportar --clientes=cl|clientes.arq
contacel-exportar faturas --pix|--pix-chave --pix-cidade --pix-nome
contacel-exportar faturas --chamadas a.csv --se|--segunda-via
contacel-exportar faturas --semente 1 --se|
contacel-exportar --ver|--versao --version
TABELA

if ((falhas)); then
    echo "$falhas linhas completadas errado"
    exit 1
fi
