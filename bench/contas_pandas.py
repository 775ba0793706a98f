#!/usr/bin/python3
"""The benchmark's peer: the bills' totals of call records computed by pandas (read_csv, a merge
with the register and the lines file, groupby), printed as contas_registros prints them.

    /usr/bin/python3 bench/contas_pandas.py CLIENTES.CSV LINHAS REGISTROS
"""

import sys

import pandas as pd

COLUNAS = ["accountcode", "src", "start", "answer", "billsec", "disposition", "amaflags"]


def chave(n):
    """A line's key as contacel-exportar compares lines (see contas_duckdb.mjs)."""
    digitos = n.str.replace(r"[^0-9]", "", regex=True)
    numero = n.str.fullmatch(r"[0-9 +().-]*[0-9][0-9 +().-]*")
    sem_55 = digitos.str.len().isin([12, 13]) & digitos.str.startswith("55")
    return n.where(~numero, digitos.where(~sem_55, digitos.str[2:]))


def main():
    clientes, linhas, registros = sys.argv[1:4]
    cad = pd.read_csv(clientes, usecols=["codigo"], dtype=str)
    lin = pd.read_csv(linhas, dtype=str)
    lin = pd.DataFrame({"k": chave(lin["numero"]), "pelo_numero": lin["cliente"].astype(int)})
    reg = pd.read_csv(registros, header=None, usecols=[0, 1, 9, 10, 13, 14, 15], names=None,
                      dtype=str, keep_default_na=False, encoding="latin-1")
    reg.columns = COLUNAS
    reg["billsec"] = reg["billsec"].astype(int)
    reg = reg[(reg["disposition"] == "ANSWERED") & (reg["billsec"] > 0) &
              (reg["amaflags"] != "OMIT")]
    reg = reg.assign(k=chave(reg["src"]),
                     inicio=reg["answer"].where(reg["answer"] != "", reg["start"]))
    reg = reg.merge(cad.rename(columns={"codigo": "accountcode"}).assign(pela_conta=lambda d:
                    d["accountcode"].astype(int)), on="accountcode", how="left")
    reg = reg.merge(lin, on="k", how="left")
    reg["cliente"] = reg["pela_conta"].fillna(reg["pelo_numero"])
    reg = reg.dropna(subset=["cliente"])
    b = reg["billsec"]
    reg = reg.assign(cliente=reg["cliente"].astype(int), ano=reg["inicio"].str[0:4].astype(int),
                     mes=reg["inicio"].str[5:7].astype(int),
                     centavos=(b > 3) * 30 + (b - 30).clip(lower=0) // 6 * 6)
    t = reg.groupby(["cliente", "ano", "mes"]).agg(
        chamadas=("billsec", "size"), segundos=("billsec", "sum"), centavos=("centavos", "sum"))
    print("cliente,ano,mes,chamadas,segundos,centavos")
    for (cliente, ano, mes), l in t.iterrows():
        print(f"{cliente},{ano},{mes},{l.chamadas},{l.segundos},{l.centavos}")


if __name__ == "__main__":
    main()
