// The price lists' benchmark peer: the bills of call records rated by DuckDB in SQL, from the
// tables gera_tarifas.py writes beside tarifas.toml, printed as the columns of
// `contacel-exportar contas --tarifas` that are not the customer's name and address.
//
//   node bench/tarifas_duckdb.mjs CLIENTES.CSV PASTA_DA_TABELA REGISTROS
//
// Each call, as the exporter rates it: its number read as Brazilians dial it (international,
// 00 + carrier, 0 + carrier + area code, area code, local), the longest prefix of its
// international form that names a destination (a join on every leading part of the number)
// or else its kind, the reduced band by day of the week, national and own holidays and the
// minute it was answered, the line's plan (the first for a row billed by the account code of
// another customer or from no line),
// Anatel's billed seconds; then, per line and month in answer order, the calls to the same
// number answered within `sucessivas` seconds of the previous one's end joined into one group
// rated on its summed seconds at its first call's price, and the allowance used by the billed
// seconds of its destinations in call order. Calls of one second keep the order of the rows,
// which in these records is the sequence at the end of the channel, in hexadecimal. Totals per customer and
// month, plus each listed line's monthly fee in every month that has calls.
import { DuckDBInstance } from '@duckdb/node-api';
import { le_registros, texto } from './registros_duckdb.mjs';
import { readFileSync } from 'node:fs';

const [clientes, pasta, registros] = process.argv.slice(2);
const tabela = (nome) => `read_csv(${texto(pasta + '/' + nome)}, header = true)`;
const toml = readFileSync(pasta + '/tarifas.toml', 'latin1');
const regra = (nome, padrao) => Number((toml.match(new RegExp(`^${nome} = (\\d+)`, 'm')) ?? [0, padrao])[1]);
const ddd = regra('ddd', 0), gratis = regra('gratis', 3), minimo = regra('minimo', 30);
const incremento = regra('incremento', 6), sucessivas = regra('sucessivas', 0);
const parcial = /^bloco_parcial = "cobrado"/m.test(toml);

const db = await DuckDBInstance.create(':memory:');
const c = await db.connect();
const macros = [
  `digitos(n) AS regexp_replace(n, '[^0-9]', '', 'g')`,
  `chave(n) AS CASE
    WHEN regexp_full_match(n, '[0-9 +().-]*[0-9][0-9 +().-]*') THEN
      CASE WHEN length(digitos(n)) IN (12, 13) AND starts_with(digitos(n), '55')
           THEN digitos(n)[3:] ELSE digitos(n) END
    ELSE n END`,
  `ddd_ok(x) AS length(x) >= 2 AND x[1:2] IN ('11','12','13','14','15','16','17','18','19',
    '21','22','24','27','28','31','32','33','34','35','37','38','41','42','43','44','45','46',
    '47','48','49','51','53','54','55','61','62','63','64','65','66','67','68','69','71','73',
    '74','75','77','79','81','82','83','84','85','86','87','88','89','91','92','93','94','95',
    '96','97','98','99')`,
  `com_ddd(x) AS length(x) IN (10, 11) AND ddd_ok(x)`,
  // A number's form and international digits: [forma, digitos]; forma n(ome), d(igitos),
  // l(ocal), b(rasileiro, with its area code), g (0800 and the like), i(nternacional).
  `numero(n) AS CASE
    WHEN NOT regexp_full_match(n, '[ ().-]*\\+?[0-9 ().-]*') OR length(digitos(n)) = 0
         OR length(digitos(n)) > 24 THEN ['n', '']
    WHEN contains(n, '+') THEN CASE
      WHEN starts_with(digitos(n), '55') AND com_ddd(digitos(n)[3:]) THEN ['b', digitos(n)]
      ELSE ['i', digitos(n)] END
    ELSE lendo(digitos(n)) END`,
  `lendo(d) AS CASE
    WHEN starts_with(d, '00') THEN CASE
      WHEN starts_with(d[3:], '55') AND com_ddd(d[5:]) THEN ['b', d[3:]]
      WHEN starts_with(d[5:], '55') AND com_ddd(d[7:]) THEN ['b', d[5:]]
      WHEN length(d[5:]) >= 7 THEN ['i', d[5:]]
      ELSE ['d', d] END
    WHEN starts_with(d, '0') THEN CASE
      WHEN com_ddd(d[2:]) THEN ['b', '55' || d[2:]]
      WHEN length(d) > 3 AND com_ddd(d[4:]) THEN ['b', '55' || d[4:]]
      WHEN length(d) = 11 AND d[1:4] IN ('0800', '0300', '0500', '0900') THEN ['g', d]
      ELSE ['d', d] END
    WHEN com_ddd(d) THEN ['b', '55' || d]
    WHEN starts_with(d, '55') AND com_ddd(d[3:]) THEN ['b', d]
    WHEN length(d) IN (8, 9) THEN ['l', d]
    ELSE ['d', d] END`,
  // The kind of a number of form f and digits d (the subscriber's for a local one), called
  // from area `area`.
  `de_area(a, mesma) AS CASE
    WHEN length(a) = 8 AND starts_with(a, '400') THEN 'nao_geografico'
    WHEN length(a) = 9 AND starts_with(a, '9') THEN CASE WHEN mesma THEN 'local_movel' ELSE 'ld_movel' END
    ELSE CASE WHEN mesma THEN 'local_fixo' ELSE 'ld_fixo' END END`,
  `tipo(f, d, area) AS CASE f
    WHEN 'n' THEN 'ramal'
    WHEN 'd' THEN CASE WHEN length(d) = 3 AND starts_with(d, '1') THEN 'servico' ELSE 'ramal' END
    WHEN 'g' THEN CASE WHEN starts_with(d, '0800') THEN 'gratuito' ELSE 'nao_geografico' END
    WHEN 'i' THEN 'internacional'
    WHEN 'l' THEN de_area(d, true)
    ELSE de_area(d[5:], d[3:4] = area) END`,
  // How a bill shows a number: a Brazilian mobile or landline by its digits, anything else as
  // written; the lines and the numbers of successive calls are told apart by it.
  `exibido(n, f, d) AS CASE WHEN f = 'b' AND ((length(d) = 13 AND d[5] = '9')
    OR (length(d) = 12 AND d[5] BETWEEN '2' AND '5')) THEN d ELSE '~' || n END`,
  `cobrados(s) AS CASE WHEN s <= ${gratis} THEN 0 WHEN s <= ${minimo} THEN ${minimo}
    ELSE ${minimo} + ${parcial ? `(s - ${minimo} + ${incremento} - 1) // ${incremento}` : `(s - ${minimo}) // ${incremento}`} * ${incremento} END`,
  `centavos(p, s) AS (p * s + 3000) // 6000`,
  // Easter Sunday (the anonymous Gregorian algorithm) and the national holidays.
  `pascoa_h(a) AS (19 * (a % 19) + a // 100 - a // 400 - (a // 100 - (a // 100 + 8) // 25 + 1) // 3 + 15) % 30`,
  `pascoa_l(a) AS (32 + 2 * (a // 100 % 4) + 2 * (a % 100 // 4) - pascoa_h(a) - a % 100 % 4) % 7`,
  `pascoa_n(a) AS pascoa_h(a) + pascoa_l(a) - 7 * ((a % 19 + 11 * pascoa_h(a) + 22 * pascoa_l(a)) // 451) + 114`,
  `pascoa(a) AS make_date(a, pascoa_n(a) // 31, pascoa_n(a) % 31 + 1)`,
  `feriado_nacional(d) AS (month(d), day(d)) IN ((1, 1), (4, 21), (5, 1), (9, 7), (10, 12),
    (11, 2), (11, 15), (12, 25)) OR (month(d) = 11 AND day(d) = 20 AND year(d) >= 2024)
    OR d = pascoa(year(d)) - INTERVAL 2 DAY`,
];
for (const m of macros) await c.run(`CREATE MACRO ${m}`);

const r = await c.runAndReadAll(`
  WITH reg AS (SELECT * FROM ${le_registros(registros)}),
       cli AS (SELECT CAST(codigo AS VARCHAR) AS conta, codigo
               FROM read_csv(${texto(clientes)}, header = true)),
       lin AS (SELECT chave(numero) AS k, CAST(cliente AS BIGINT) AS cliente,
                      coalesce(p.plano, 0) AS plano
               FROM read_csv(${texto(pasta + '/linhas.csv')}, header = true, all_varchar = true) l
               LEFT JOIN ${tabela('planos.csv')} p ON l.plano = p.nome),
       cob AS (SELECT accountcode, src, dst, coalesce(answer, start) AS inicio, billsec,
                      CAST('0x' || split_part(channel, '-', -1) AS BIGINT) AS ordem,
                      numero(src) AS o, numero(dst) AS t
               FROM reg WHERE disposition = 'ANSWERED' AND billsec > 0 AND amaflags <> 'OMIT'),
       dono AS (SELECT coalesce(cli.codigo, lin.cliente) AS cliente,
                       CASE WHEN cli.codigo IS NULL OR lin.cliente = cli.codigo THEN lin.plano
                            ELSE 0 END AS plano,
                       exibido(src, o[1], o[2]) AS linha, exibido(dst, t[1], t[2]) AS num,
                       CASE WHEN o[1] = 'b' THEN o[2][3:4] ELSE '${ddd}' END AS area,
                       t, dst, inicio, billsec, ordem
                FROM cob LEFT JOIN cli ON cob.accountcode = cli.conta
                         LEFT JOIN lin ON chave(cob.src) = lin.k),
       cham AS (SELECT d.*, ramal.k IS NOT NULL AS ramal,
                       CASE WHEN ramal.k IS NOT NULL THEN NULL
                            WHEN t[1] = 'l' THEN '55' || area || t[2]
                            WHEN t[1] IN ('b', 'i') THEN t[2] END AS intl,
                       CASE WHEN ramal.k IS NOT NULL THEN 'ramal' ELSE tipo(t[1], t[2], area) END AS tipo
                FROM dono d LEFT JOIN lin ramal ON chave(d.dst) = ramal.k
                WHERE d.cliente IS NOT NULL),
       partes AS (SELECT ordem, intl[1:k] AS p, k FROM cham, range(1, 26) AS n(k)
                  WHERE intl IS NOT NULL AND k <= length(intl)),
       longo AS (SELECT ordem, arg_max(px.destino, partes.k) AS destino
                 FROM partes JOIN ${tabela('prefixos.csv')} px ON px.prefixo = partes.p
                 GROUP BY ordem),
       dia AS (SELECT *, CASE WHEN feriado_nacional(CAST(inicio AS DATE))
                                   OR CAST(inicio AS DATE) IN (SELECT data FROM ${tabela('feriados.csv')}) THEN 3
                              WHEN dayofweek(inicio) = 0 THEN 2 WHEN dayofweek(inicio) = 6 THEN 1
                              ELSE 0 END AS dia
               FROM cham),
       tar AS (SELECT x.*, coalesce(longo.destino, kind.destino) AS destino,
                      EXISTS (SELECT 1 FROM ${tabela('faixas.csv')} f WHERE f.dia = x.dia
                              AND hour(x.inicio) * 60 + minute(x.inicio) >= f.inicio
                              AND hour(x.inicio) * 60 + minute(x.inicio) < f.fim) AS red
               FROM dia x LEFT JOIN longo USING (ordem)
               LEFT JOIN (SELECT tipo, min(destino) AS destino FROM ${tabela('destinos.csv')}
                          WHERE tipo IS NOT NULL GROUP BY tipo) kind ON kind.tipo = x.tipo),
       preco AS (SELECT tar.*,
                        CASE WHEN red AND p.reduzido IS NOT NULL THEN p.reduzido ELSE p.preco END AS preco,
                        p.na_franquia, pl.franquia
                 FROM tar LEFT JOIN ${tabela('precos.csv')} p USING (plano, destino)
                 LEFT JOIN ${tabela('planos.csv')} pl USING (plano)),
       ini AS (SELECT *, epoch(inicio)::BIGINT AS s FROM preco),
       novo AS (SELECT *, NOT (${sucessivas} > 0 AND
                     lag(num) OVER w IS NOT NULL AND lag(num) OVER w = num
                     AND s >= lag(s + billsec) OVER w AND s - lag(s + billsec) OVER w <= ${sucessivas}) AS abre,
                     first_value(franquia) OVER w AS restante
                FROM ini
                WINDOW w AS (PARTITION BY cliente, year(inicio), month(inicio), linha ORDER BY s, ordem)),
       grupo AS (SELECT *, sum(abre::INT) OVER (PARTITION BY cliente, year(inicio), month(inicio), linha
                     ORDER BY s, ordem ROWS UNBOUNDED PRECEDING) AS g FROM novo),
       soma AS (SELECT *, cobrados(sum(billsec) OVER v) - cobrados(sum(billsec) OVER v - billsec) AS a,
                       first_value(preco) OVER v AS preco_grupo
                FROM grupo
                WINDOW v AS (PARTITION BY cliente, year(inicio), month(inicio), linha, g
                             ORDER BY s, ordem ROWS UNBOUNDED PRECEDING)),
       usada AS (SELECT *, CASE WHEN na_franquia THEN least(a, restante - least(restante,
                     coalesce(sum(CASE WHEN na_franquia THEN a ELSE 0 END) OVER (
                       PARTITION BY cliente, year(inicio), month(inicio), linha ORDER BY s, ordem
                       ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING), 0))) ELSE 0 END AS da_franquia
                 FROM soma),
       grupos AS (SELECT cliente, year(inicio) AS ano, month(inicio) AS mes, count(*) AS chamadas,
                         sum(billsec) AS segundos, sum(da_franquia) AS franquia,
                         centavos(any_value(preco_grupo), sum(a - da_franquia)) AS centavos,
                         bool_or(destino IS NULL OR (preco IS NULL
                                 AND tipo NOT IN ('gratuito', 'servico', 'ramal'))) AS sem_tarifa
                  FROM usada GROUP BY cliente, ano, mes, linha, g),
       contas AS (SELECT cliente, ano, mes, sum(chamadas) AS chamadas, sum(segundos) AS segundos,
                         sum(franquia) AS franquia, sum(coalesce(centavos, 0)) AS centavos,
                         bool_or(sem_tarifa) AS sem_tarifa
                  FROM grupos GROUP BY ALL),
       taxas AS (SELECT lin.cliente, m.ano, m.mes, sum(pl.mensalidade) AS mensalidades
                 FROM lin JOIN ${tabela('planos.csv')} pl USING (plano)
                 CROSS JOIN (SELECT DISTINCT ano, mes FROM contas) m GROUP BY ALL)
  SELECT cliente, mes, ano, coalesce(chamadas, 0), coalesce(segundos, 0),
         coalesce(mensalidades, 0), coalesce(franquia, 0), coalesce(centavos, 0),
         coalesce(centavos, 0) + coalesce(mensalidades, 0), coalesce(sem_tarifa, false)
  FROM contas FULL JOIN taxas USING (cliente, ano, mes) ORDER BY cliente, ano, mes`);
const reais = (v) => { v = BigInt(v); return `${v / 100n}.${String(v % 100n).padStart(2, '0')}`; };
console.log('cliente,mes,ano,chamadas,duracao_total,mensalidades,franquia_usada,valor_chamadas,valor_total');
for (const l of r.getRows()) {
  if (l[9]) throw new Error(`sem tarifa: uma chamada do cliente ${l[0]}`);
  console.log([l[0], l[1], l[2], l[3], l[4], reais(l[5]), l[6], reais(l[7]), reais(l[8])].join(','));
}
