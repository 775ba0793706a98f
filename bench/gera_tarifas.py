#!/usr/bin/env python3
"""Writes the benchmark's price list, always the same bytes, for the records of gera_registros.py.

    python3 bench/gera_tarifas.py PASTA LINHAS

PASTA gets `tarifas.toml`: Fortaleza's area code, Anatel's rules with successive calls joined
within 120 s, reduced bands and two holidays of the operator's own, the nine built-in kinds
and 2,000 prefix destinations (about half of them national, "55" + area code + the first digits
of a number, nested so that the longest prefix decides; the rest international), and two plans,
the first with a 100-minute allowance on local calls. The same list goes to CSV tables for the
SQL peer: destinos.csv, prefixos.csv, precos.csv, planos.csv, faixas.csv and feriados.csv.
PASTA also gets `linhas.csv`, the lines file LINHAS with a third column `plano`: a third of
the lines on each plan, a third with none (the first plan).
"""

import os
import random
import sys

TIPOS = [("Local fixo", "local_fixo"), ("Local movel", "local_movel"),
         ("Longa distancia fixo", "ld_fixo"), ("Longa distancia movel", "ld_movel"),
         ("Internacional", "internacional"), ("0800", "gratuito"),
         ("Servicos publicos", "servico"), ("Nao geografico", "nao_geografico"),
         ("Ramal", "ramal")]
GRATIS = {"gratuito", "servico", "ramal"}
FAIXAS = {"segunda_a_sexta": ["00:00-07:00", "21:00-24:00"],
          "sabado": ["00:00-07:00", "14:00-24:00"],
          "domingo": ["00:00-24:00"],
          "feriado": ["00:00-24:00"]}
FERIADOS = ["2024-02-13", "2024-03-19"]  # Carnival, Saint Joseph
PLANOS = [("Empresa", 3990, 100), ("Basico", 1990, 0)]


def prefixos(r):
    """2,000 distinct prefixes of the international form."""
    vistos = []
    usados = set()

    def junta(p):
        if p not in usados:
            usados.add(p)
            vistos.append(p)

    # Mobiles of the areas the records call most, two digits after the 9, and some of those
    # again one digit longer.
    for ddd in (11, 21, 85, 88):
        for n in range(100):
            if r.randrange(3):
                junta("55%d9%02d" % (ddd, n))
    for ddd in (11, 21, 85, 88, 31, 41, 51, 61, 71, 81):
        for _ in range(40):
            junta("55%d9%03d" % (ddd, r.randrange(1000)))
    # Landlines of two areas by their first digits.
    for ddd in (11, 85):
        for n in range(100):
            if r.randrange(2):
                junta("55%d3%02d" % (ddd, n))
    # International: codes of one to three digits and longer ones under them.
    while len(vistos) < 2000:
        junta("%d" % r.randrange(1, 10) + "".join(str(r.randrange(10))
                                                    for _ in range(r.randrange(1, 5))))
    return vistos


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    pasta, linhas = sys.argv[1:]
    os.makedirs(pasta, exist_ok=True)
    r = random.Random(28)
    destinos = [(nome, tipo, None) for nome, tipo in TIPOS]
    destinos += [("P%04d" % i, None, p) for i, p in enumerate(prefixos(r))]
    # Reais a minute in R$ 0,0001, by plan and destination; the reduced band of some.
    precos = []
    for _ in PLANOS:
        por_destino = []
        for _, tipo, _ in destinos:
            if tipo in GRATIS:
                por_destino.append((None, None))
                continue
            preco = r.randrange(500, 30000)
            reduzido = preco // 2 + r.randrange(100) if r.randrange(3) == 0 else None
            por_destino.append((preco, reduzido))
        precos.append(por_destino)
    locais = {"Local fixo", "Local movel"} | {
        nome for nome, _, p in destinos if p and p.startswith("5585")}

    reais = lambda v: "%d.%04d" % divmod(v, 10000)
    with open(os.path.join(pasta, "tarifas.toml"), "w", encoding="ascii") as f:
        f.write("ddd = 85\n\n[regras]\nsucessivas = 120\n\n[reduzido]\n")
        for dia, faixas in FAIXAS.items():
            f.write("%s = [%s]\n" % (dia, ", ".join('"%s"' % x for x in faixas)))
        f.write("feriados = [%s]\n" % ", ".join('"%s"' % x for x in FERIADOS))
        for nome, tipo, p in destinos:
            f.write('\n[[destino]]\nnome = "%s"\n' % nome)
            f.write('tipo = "%s"\n' % tipo if tipo else 'prefixos = ["%s"]\n' % p)
        for (nome, mensalidade, franquia), por_destino in zip(PLANOS, precos):
            f.write('\n[[plano]]\nnome = "%s"\nmensalidade = %d.%02d\n' % (
                nome, mensalidade // 100, mensalidade % 100))
            if franquia:
                f.write("franquia = %d\nfranquia_destinos = [%s]\n" % (
                    franquia, ", ".join('"%s"' % n for n, _, _ in destinos if n in locais)))
            f.write("precos = { %s }\n" % ", ".join(
                '"%s" = %s' % (d[0], reais(p)) for d, (p, _) in zip(destinos, por_destino)
                if p is not None))
            f.write("reduzido = { %s }\n" % ", ".join(
                '"%s" = %s' % (d[0], reais(red)) for d, (_, red) in zip(destinos, por_destino)
                if red is not None))

    def tabela(nome, cabecalho, linhas_):
        with open(os.path.join(pasta, nome), "w", encoding="ascii") as f:
            f.write(cabecalho + "\n")
            for linha in linhas_:
                f.write(",".join("" if c is None else str(c) for c in linha) + "\n")

    tabela("destinos.csv", "destino,nome,tipo",
           [(i, nome, tipo) for i, (nome, tipo, _) in enumerate(destinos)])
    tabela("prefixos.csv", "prefixo,destino",
           [(p, i) for i, (_, _, p) in enumerate(destinos) if p])
    tabela("planos.csv", "plano,nome,mensalidade,franquia",
           [(i, nome, m, franquia * 60) for i, (nome, m, franquia) in enumerate(PLANOS)])
    tabela("precos.csv", "plano,destino,preco,reduzido,na_franquia",
           [(k, i, p, red, str(franquia > 0 and destinos[i][0] in locais).lower())
            for k, ((_, _, franquia), por_destino) in enumerate(zip(PLANOS, precos))
            for i, (p, red) in enumerate(por_destino)])
    dias = {"segunda_a_sexta": 0, "sabado": 1, "domingo": 2, "feriado": 3}
    tabela("faixas.csv", "dia,inicio,fim",
           [(dias[dia], int(a[:2]) * 60 + int(a[3:5]), int(a[6:8]) * 60 + int(a[9:]))
            for dia, faixas in FAIXAS.items() for a in faixas])
    tabela("feriados.csv", "data", [(d,) for d in FERIADOS])

    with open(linhas, encoding="ascii") as f, \
            open(os.path.join(pasta, "linhas.csv"), "w", encoding="ascii") as g:
        next(f)
        g.write("numero,cliente,plano\n")
        for i, linha in enumerate(f):
            g.write("%s,%s\n" % (linha.rstrip("\n"), ["", "Empresa", "Basico"][i % 3]))


if __name__ == "__main__":
    main()
