// The benchmark's peer: the bills' totals of call records computed by DuckDB (read_csv, a join
// with the register and the lines file, group by), on all cores, printed as contas_registros
// prints them.
//
//   NODE_PATH=... node bench/contas_duckdb.mjs CLIENTES.CSV LINHAS REGISTROS
import { DuckDBInstance } from '@duckdb/node-api';
import { le_registros, texto } from './registros_duckdb.mjs';

const [clientes, linhas, registros] = process.argv.slice(2);
const db = await DuckDBInstance.create(':memory:');
const c = await db.connect();
// A line's key as contacel-exportar compares lines: a number's digits without a country code
// 55 before 10 or 11 digits, an extension name as written.
await c.run(`CREATE MACRO digitos(n) AS regexp_replace(n, '[^0-9]', '', 'g')`);
await c.run(`CREATE MACRO chave(n) AS CASE
    WHEN regexp_full_match(n, '[0-9 +().-]*[0-9][0-9 +().-]*') THEN
      CASE WHEN length(digitos(n)) IN (12, 13) AND starts_with(digitos(n), '55')
           THEN digitos(n)[3:] ELSE digitos(n) END
    ELSE n END`);
const r = await c.runAndReadAll(`
  WITH reg AS (SELECT * FROM ${le_registros(registros)}),
       cli AS (SELECT CAST(codigo AS VARCHAR) AS conta, codigo
               FROM read_csv(${texto(clientes)}, header = true)),
       lin AS (SELECT chave(numero) AS k, CAST(cliente AS BIGINT) AS cliente
               FROM read_csv(${texto(linhas)}, header = true, all_varchar = true)),
       cob AS (SELECT accountcode, chave(src) AS k, coalesce(answer, start) AS inicio, billsec
               FROM reg WHERE disposition = 'ANSWERED' AND billsec > 0 AND amaflags <> 'OMIT'),
       dono AS (SELECT coalesce(cli.codigo, lin.cliente) AS cliente, inicio, billsec
                FROM cob LEFT JOIN cli ON cob.accountcode = cli.conta
                         LEFT JOIN lin ON cob.k = lin.k)
  SELECT cliente, year(inicio), month(inicio), count(*), sum(billsec),
         sum(CASE WHEN billsec <= 3 THEN 0 WHEN billsec <= 30 THEN 30
                  ELSE 30 + (billsec - 30) // 6 * 6 END)
  FROM dono WHERE cliente IS NOT NULL GROUP BY ALL ORDER BY ALL`);
console.log('cliente,ano,mes,chamadas,segundos,centavos');
for (const l of r.getRows()) console.log(l.join(','));
