// What the DuckDB peers share: a text as an SQL literal, and the PBX records file read as a
// table with the columns of the "csv" layout (and room for a few more).
export const texto = (s) => "'" + s.replaceAll("'", "''") + "'";

const colunas = ['accountcode', 'src', 'dst', 'dcontext', 'clid', 'channel', 'dstchannel',
  'lastapp', 'lastdata', 'start', 'answer', 'end', 'duration', 'billsec', 'disposition',
  'amaflags', 'uniqueid', 'userfield', 'extra1', 'extra2', 'extra3'];
const tipos = { start: 'TIMESTAMP', answer: 'TIMESTAMP', end: 'TIMESTAMP', duration: 'BIGINT',
  billsec: 'BIGINT' };
const campos = colunas.map((n) => `'${n}': '${tipos[n] ?? 'VARCHAR'}'`).join(', ');

export const le_registros = (arquivo) => `read_csv(${texto(arquivo)}, header = false, delim = ',',
    quote = '"', escape = '"', encoding = 'latin-1', null_padding = true, auto_detect = false,
    columns = {${campos}})`;
