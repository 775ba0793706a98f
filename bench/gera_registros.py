#!/usr/bin/env python3
"""Writes a month of a PBX's call records for the benchmark, always the same bytes.

    python3 bench/gera_registros.py REGISTROS LINHAS [N]

REGISTROS gets N records (1,000,000 by default, about 270 MB) in the "csv" layout that PBXs
write: 16 to 21 fields, quoted or not, doubled quotes and bytes that are not UTF-8 in caller
names, an empty answer time for calls nobody answered, a few calls from the month before. Line
ends are all LF: DuckDB's parallel reader refuses a file that mixes them with CRLF.

LINHAS gets the lines file: 400 lines of customers 1 to 20 (a register of 20 customers, as
`contacel-clientes gerar 20` writes), each written the way an operator might ("(85) 9 8877-4123",
"+5585988774123", "client7", "211553"). Customers 1 to 10 have account codes in the PBX; the
calls of the others are known only by their line. About 1% of the calls come from lines nobody
listed.
"""

import random
import sys

CLIENTES = 20
LINHAS_POR_CLIENTE = 20
DIAS_NO_MES = [0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]  # 2024
NOMES = ["Jo\xe3o", "Ant\xf4nio", "Concei\xe7\xe3o", "Maria", "Jos\xe9", "Ana", "Recep\xe7\xe3o",
         "Financeiro", "Suporte", "Vendas"]
DISPOSICOES = (["ANSWERED"] * 70 + ["NO ANSWER"] * 15 + ["BUSY"] * 8 + ["FAILED"] * 5 +
               ["CONGESTION"] * 2)


def linhas(r):
    """[(src as the PBX writes it, as the lines file writes it, customer)]."""
    resultado = []
    usados = set()
    for cliente in range(1, CLIENTES + 1):
        for k in range(LINHAS_POR_CLIENTE):
            tipo = (cliente + k) % 5
            while True:
                if tipo == 3:
                    src = "client%d" % (cliente * 100 + k)
                    escrito = src
                elif tipo == 4:
                    src = "%d" % r.randrange(200000, 299999)
                    escrito = src
                else:
                    ddd = r.choice([11, 21, 31, 41, 51, 61, 71, 81, 85, 88])
                    numero = "%d9%08d" % (ddd, r.randrange(10 ** 8))
                    src = numero if tipo != 2 else "+55" + numero
                    escrito = [
                        "(%s) %s %s-%s" % (numero[:2], numero[2], numero[3:7], numero[7:]),
                        numero,
                        "+55%s" % numero,
                    ][k % 3]
                if src.lstrip("+")[-11:] not in usados:
                    break
            usados.add(src.lstrip("+")[-11:])
            resultado.append((src, escrito, cliente))
    return resultado


def hora(segundo_do_mes, mes):
    dia, s = divmod(segundo_do_mes, 86400)
    h, s = divmod(s, 3600)
    m, s = divmod(s, 60)
    return "2024-%02d-%02d %02d:%02d:%02d" % (mes, dia + 1, h, m, s)


def destino(r):
    tipo = r.randrange(10)
    if tipo < 5:
        return "%d9%08d" % (r.choice([11, 21, 85, 88]), r.randrange(10 ** 8))
    if tipo < 8:
        return "%d3%07d" % (r.choice([11, 85]), r.randrange(10 ** 7))
    if tipo == 8:
        return "%d" % r.randrange(1000, 1999)
    return "0021%d" % r.randrange(10 ** 9)


def registro(r, n, lista):
    src, _, cliente = r.choice(lista)
    if r.randrange(100) == 0:
        src = "%d" % r.randrange(300000, 399999)  # a line nobody listed
    conta = str(cliente) if cliente <= CLIENTES // 2 else r.choice(["", "", "", "vendas"])
    mes = 3 if r.randrange(50) else 2
    inicio = r.randrange((DIAS_NO_MES[mes] * 86400) - 4000)
    disposicao = r.choice(DISPOSICOES)
    toque = r.randrange(1, 30)
    if disposicao == "ANSWERED":
        billsec = r.choice([0, 1, 3, 4, 30, 31]) if r.randrange(20) == 0 else r.randrange(5, 1800)
        atendimento = hora(inicio + toque, mes)
    else:
        billsec = 0
        atendimento = ""
    fim = hora(inicio + toque + billsec, mes)
    dst = destino(r)
    flags = "OMIT" if r.randrange(100) == 0 else r.choice(["DOCUMENTATION", "BILLING"])
    nome = r.choice(NOMES)
    canal = "SIP/%s-%08x" % (src.lstrip("+"), n)
    campos = [conta, src, dst, "from-internal", '"%s" <%s>' % (nome, src), canal,
              "SIP/tronco-%08x" % (n + 1), "Dial", "SIP/tronco/%s,60,tT" % dst,
              hora(inicio, mes), atendimento, fim, str(billsec + toque), str(billsec),
              disposicao, flags, "%d.%d" % (1709251200 + inicio, n), ""]
    extra = r.randrange(10)
    if extra == 0:
        campos = campos[:16]
    elif extra == 1:
        campos += ["", "%d.%d" % (1709251200 + inicio, n), str(n)]
    if r.randrange(20) == 0:
        # Another PBX: nothing quoted, but what needs quotes.
        texto = ",".join('"%s"' % c.replace('"', '""') if ('"' in c or "," in c) else c
                         for c in campos)
    else:
        texto = ",".join(c if (i in (12, 13)) else '"%s"' % c.replace('"', '""')
                         for i, c in enumerate(campos))
    return texto + "\n"


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    n = int(sys.argv[3]) if len(sys.argv) == 4 else 1_000_000
    r = random.Random(21)
    lista = linhas(r)
    with open(sys.argv[2], "w", encoding="ascii", newline="\n") as f:
        f.write("numero,cliente\n")
        for _, escrito, cliente in lista:
            f.write("%s,%d\n" % (escrito, cliente))
    with open(sys.argv[1], "wb") as f:
        bloco = []
        for i in range(n):
            bloco.append(registro(r, i, lista))
            if len(bloco) == 10000:
                f.write("".join(bloco).encode("latin-1"))
                bloco = []
        f.write("".join(bloco).encode("latin-1"))


if __name__ == "__main__":
    main()
