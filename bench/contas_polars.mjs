// The benchmark's peer: the bills' totals of call records computed by polars (a lazy scan_csv,
// a join with the register and the lines file, group by), on all cores, through the npm package
// nodejs-polars, printed as contas_registros prints them.
//
//   node bench/contas_polars.mjs CLIENTES.CSV LINHAS REGISTROS
import pl from 'nodejs-polars';

const [clientes, linhas, registros] = process.argv.slice(2);
// A line's key as contacel-exportar compares lines (see contas_duckdb.mjs).
const chave = (n) => {
  const d = n.str.replaceAll('[^0-9]', '');
  return pl.when(n.str.contains('^[0-9 +().-]*[0-9][0-9 +().-]*$'))
    .then(pl.when(d.str.contains('^55[0-9]{10,11}$'))
      .then(d.str.slice(2)).otherwise(d))
    .otherwise(n);
};
const colunas = ['accountcode', 'src', 'dst', 'dcontext', 'clid', 'channel', 'dstchannel',
  'lastapp', 'lastdata', 'start', 'answer', 'end', 'duration', 'billsec', 'disposition',
  'amaflags', 'uniqueid', 'userfield', 'extra1', 'extra2', 'extra3'];
const schema = Object.fromEntries(colunas.map((c) => [c, pl.Utf8]));
const cad = pl.scanCSV(clientes, { hasHeader: true, inferSchemaLength: 0 })
  .select(pl.col('codigo').alias('accountcode'), pl.col('codigo').cast(pl.Int64).alias('pela_conta'));
const lin = pl.scanCSV(linhas, { hasHeader: true, inferSchemaLength: 0 })
  .select(chave(pl.col('numero')).alias('k'), pl.col('cliente').cast(pl.Int64).alias('pelo_numero'));
const b = pl.col('billsec');
const t = await pl.scanCSV(registros, { hasHeader: false, schema, truncateRaggedLines: true,
  encoding: 'utf8-lossy', missingUtf8IsEmptyString: true })
  .select('accountcode', 'src', 'start', 'answer', pl.col('billsec').cast(pl.Int64), 'disposition',
    'amaflags')
  .filter(pl.col('disposition').eq(pl.lit('ANSWERED')).and(b.gt(0))
    .and(pl.col('amaflags').neq(pl.lit('OMIT'))))
  .withColumns(chave(pl.col('src')).alias('k'),
    pl.when(pl.col('answer').eq(pl.lit(''))).then(pl.col('start')).otherwise(pl.col('answer'))
      .alias('inicio'))
  .join(cad, { on: 'accountcode', how: 'left' })
  .join(lin, { on: 'k', how: 'left' })
  .withColumns(pl.col('pela_conta').fillNull(pl.col('pelo_numero')).alias('cliente'))
  .filter(pl.col('cliente').isNotNull())
  .withColumns(pl.col('inicio').str.slice(0, 4).cast(pl.Int64).alias('ano'),
    pl.col('inicio').str.slice(5, 2).cast(pl.Int64).alias('mes'),
    pl.when(b.ltEq(3)).then(pl.lit(0)).when(b.ltEq(30)).then(pl.lit(30))
      .otherwise(b.minus(b.minus(30).modulo(6))).alias('centavos'))
  .groupBy(['cliente', 'ano', 'mes'])
  .agg(pl.count('billsec').alias('chamadas'), b.sum().alias('segundos'),
    pl.col('centavos').sum())
  .sort(['cliente', 'ano', 'mes'])
  .collect();
console.log('cliente,ano,mes,chamadas,segundos,centavos');
for (const l of t.rows()) console.log(l.join(','));
