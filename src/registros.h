#pragma once
// Call records as a PBX or this system writes them, read row by row.
//
// A records file is one of three kinds, told apart by its first row:
// - the calls CSV that `contacel-exportar chamadas` writes (header
//   "origem,destino,telefone_destino,inicio,fim,duracao,valor", plain or spreadsheet dialect,
//   and ",linha", the calling line, when the calls knew it);
// - a PBX's call-detail records without a header, in the "csv" layout (accountcode, src, dst,
//   dcontext, clid, channel, dstchannel, lastapp, lastdata, start, answer, end, duration,
//   billsec, disposition, amaflags, and optionally uniqueid, userfield and more: 16 fields or
//   more, the disposition in the 15th);
// - the same in the "custom" layout (clid, src, dst, dcontext, channel, dstchannel, lastapp,
//   lastdata, start, answer, end, duration, billsec, disposition, amaflags, accountcode,
//   uniqueid, userfield, sequence: 19 fields, the disposition in the 14th).
// A line end (LF, CRLF or a bare CR) always ends a row; fields may be quoted with quotes doubled
// inside. Only the fields the billing uses are looked at, and a row must not hold a NUL byte;
// the other fields may hold any other bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "blocos_csv.h"
#include "campos_csv.h"
#include "datahora.h"
#include "erro.h"

enum class FormatoRegistros : std::uint8_t { proprio, pbx_csv, pbx_custom };

// One row of a records file, as the billing needs it. Views are into the reader's buffer and
// live only during the call that hands the record over.
struct RegistroChamada {
    std::size_t linha;  // line of the file where the row is, from 1
    FormatoRegistros formato;
    std::string_view conta;        // PBX accountcode; the own CSV's `origem` (a customer code)
    std::string_view origem;       // PBX src; the own CSV's `linha`, or empty
    std::string_view destino;      // the called number as written (dst; own CSV: telefone_destino)
    std::string_view cod_destino;  // own CSV's `destino` (a customer code); empty for PBX rows
    TDataHora inicio;              // answer (start when answer is empty); own CSV: inicio
    TDataHora fim;                 // PBX end (the start when empty); own CSV: fim
    std::uint32_t segundos;        // billsec; own CSV: duracao
    // ANSWERED, billsec > 0, amaflags not OMIT (own CSV rows: always). Dispositions and flags are
    // read whatever their case and the blanks around them; the flag OMIT may be written 1.
    bool cobravel;
    std::string_view texto;  // the row's bytes as read, without its line end
    // PBX uniqueid (17th field of both layouts) and sequence (the custom layout's 19th), quotes
    // undone; empty when the row has none or is of the own CSV.
    std::string_view unico{}, sequencia{};
};

// The fields of one row that the billing reads, split and with their quotes undone, and the
// row itself; a field the row's kind does not have is empty.
struct CamposRegistro {
    std::string_view texto;  // the row, without its line end
    std::string_view conta, origem, destino, cod_destino;
    std::string_view inicio, atendimento, fim;  // "AAAA-MM-DD hh:mm:ss"; the last two optional
    std::string_view duracao;                   // PBX duration, optional
    std::string_view segundos;                  // billsec; own CSV: duracao
    std::string_view disposicao, flags;         // PBX rows only
    std::string_view unico{}, sequencia{};      // PBX rows only, when the row has them
    bool sem_nulo = false;                      // the row is known to hold no NUL byte
};

// The last year a date of a row or a month billed may have: a bill is due in the month after
// its own, whose year must have four digits too.
constexpr int ultimo_ano = 9998;

// The verdict on one row of kind `formato`, the same whichever way the row was found: the reason
// it is unreadable (a fixed phrase), or empty and `r` filled but for its line. Unreadable: a NUL
// byte, a date that is not one or of a year past 9998, seconds that are not a count, a PBX
// disposition that is none of ANSWERED, NO ANSWER, BUSY, FAILED, CONGESTION, a src, dst or
// called customer that is not UTF-8, and a row that cannot be true ("datas fora de ordem": an
// answer before the start, an end before the answer; "segundos incoerentes": billsec above the
// duration, or above the end minus the answer by more than a second).
// A date "AAAA-MM-DD" as read, its first eight bytes and the three after them (its last two and
// the blank that follows), and what it is: rows mostly repeat the date before.
struct DataLida {
    std::uint64_t a = ~std::uint64_t{0};
    std::uint64_t dia = 0;
    TData dat{};
};
// `data` is the last date read, for the next verdict.
std::string_view julga_registro(FormatoRegistros formato, const CamposRegistro& c,
                                RegistroChamada& r, DataLida& data);

// An unreadable row: where, why (a fixed phrase such as "data impossivel"), and its bytes.
struct RegistroRejeitado {
    std::size_t linha;
    std::string_view motivo;
    std::string_view texto;
};

class ParteRegistros;

// What the reader hands rows to; `rejeitado` returns false to stop reading.
class DestinoRegistros {
  public:
    virtual void registro(const RegistroChamada& r) = 0;
    // Rows in the order read, a few at once (between them and the rows before and after, no
    // rejected row); by default one by one.
    virtual void registros(std::span<const RegistroChamada> rs) {
        for (const RegistroChamada& r : rs)
            registro(r);
    }
    virtual bool rejeitado(const RegistroRejeitado& r) = 0;
    // A destination for the rows of a later part of a file, read on a thread of its own while
    // the parts before it are read; none (the default) reads every file in one pass.
    virtual std::unique_ptr<ParteRegistros> parte() { return nullptr; }

  protected:
    ~DestinoRegistros() = default;
};

// Takes the rows of a part of a file, its lines counted from the part's start, on the part's
// thread, and keeps what they come to until the parts before it are handed over. It may read
// the destination it came from, but changes it only in `repete`.
class ParteRegistros : public DestinoRegistros {
  public:
    ParteRegistros() = default;
    ParteRegistros(const ParteRegistros&) = delete;
    ParteRegistros& operator=(const ParteRegistros&) = delete;
    virtual ~ParteRegistros() = default;
    // Hands what the part's rows came to over to that destination, in order, as if they had
    // been read there after the `antes` lines of the parts before. False when a rejected row
    // stops the reading: the last row the part took, refused by `rejeitado`.
    virtual bool repete(std::size_t antes) = 0;
};

// The bytes of one records file in, its rows out, however the bytes are split into blocks.
// Nothing is allocated per row: a row split between two blocks is carried in a buffer that
// only grows up to the longest row.
class AnalisadorRegistros {
  public:
    // The next bytes of the file. False when reading stops: the destination refused a rejected
    // row, or the file is not one of records; erro() says which.
    bool consome(std::span<const char> bloco, DestinoRegistros& destino);
    // The end of the file: hands over the last row, even without its line end.
    bool termina(DestinoRegistros& destino);
    // Why reading stopped (kind dados, the line and the reason, no file name); ok otherwise.
    [[nodiscard]] const Erro& erro() const { return erro_; }
    // The kind of file, once its first row is read.
    [[nodiscard]] std::optional<FormatoRegistros> formato() const { return formato_; }
    // The lines read so far.
    [[nodiscard]] std::size_t linhas() const { return linha_; }
    // A reader of the same file from a later line on, its kind known from this one and its
    // lines counted from there.
    [[nodiscard]] AnalisadorRegistros continuacao() const;

  private:
    bool confere_inicio(DestinoRegistros& destino);
    void guarda(std::string_view resto);
    std::size_t depois_do_fim(std::string_view bytes, std::size_t fim);
    bool linhas_completas(std::string_view bytes, DestinoRegistros& destino, std::size_t& usados);
    // The whole rows of `bytes` read one by one (only until the kind of file is known, with
    // `ate_o_formato`); `usados` says how far.
    bool uma_a_uma(std::string_view bytes, DestinoRegistros& destino, std::size_t& usados,
                   bool ate_o_formato);
    bool linha(std::string_view linha, bool longa, DestinoRegistros& destino);
    bool detecta(std::string_view linha, DestinoRegistros& destino);
    bool registro_pbx(std::string_view linha, DestinoRegistros& destino);
    bool registro_proprio(std::string_view linha, DestinoRegistros& destino);
    // The verdict on a row already split into campos_; `sem_nulo`: the row is known to hold no
    // NUL byte.
    bool avalia_pbx(std::string_view linha, bool sem_nulo, DestinoRegistros& destino);
    bool avalia_proprio(std::string_view linha, bool sem_nulo, DestinoRegistros& destino);
    [[nodiscard]] std::size_t campos_do_formato() const;
    [[nodiscard]] std::uint32_t campos_lidos() const;
    bool entrega(const CamposRegistro& c, DestinoRegistros& destino);
    // Hands over the rows judged and not yet handed over.
    void entrega_lote(DestinoRegistros& destino);
    bool rejeita(std::string_view motivo, std::string_view texto, DestinoRegistros& destino);
    std::string_view campo(std::size_t i);

    std::optional<FormatoRegistros> formato_{};
    char separador_ = ',';            // of the own CSV
    std::size_t campos_proprio_ = 0;  // and its fields: with the calling line or without
    std::size_t linha_ = 0;           // lines read
    bool cr_ = false;                 // the last block ended with a CR: an LF after it ends nothing
    bool conferido_ = false;          // the first bytes were looked at for a binary file
    bool do_meio_ = false;            // reads from a later line than the first on
    std::string inicio_{};            // the first bytes, until then
    std::string pendente_{};          // a row begun in an earlier block
    bool longa_ = false;        // that row is longer than a row may be: only its start is kept
    CamposCsv campos_{};        // of the row being read
    std::string sem_aspas_{};   // its used fields that had doubled quotes, undone
    VarredorBloco varredor_{};  // a block's whole rows, once the kind of file is known
    DataLida data_lida_{};
    // Rows judged, handed over together: only rows whose views are into the block being read
    // (em_lote_), and never past a rejected one.
    std::array<RegistroChamada, 32> lote_{};
    std::size_t no_lote_ = 0;
    bool em_lote_ = false;
    Erro erro_{};
};

// How many threads read a large plain file at once (each part of it at least `minimo` bytes),
// and how much of it each maps at a time (0: none, the file read with read(2)).
struct Tarefas {
    unsigned n = 1;
    std::uint64_t minimo = std::uint64_t{2} << 20;
    // A few of the reader's blocks: the pages mapped count in the resident memory, and larger
    // windows read no faster.
    std::size_t janela = std::size_t{1} << 20;
};

// Reads the file `caminho` (a regular file, or "-" for standard input; gzip-compressed ones
// through zlib) and hands every row over: a plain regular file mapped a window at a time (read
// with read(2) where it cannot be; one that shrinks meanwhile ends the process with a message),
// the rest read with read(2) in blocks. An Erro for a file that cannot be read, a folder, a
// device or a binary file; a stop asked by `rejeitado` is an Erro of kind dados naming the file
// and the line.
// A plain regular file of at least two parts is cut after a line end near each n-th of it, and
// the parts read at once when the destination takes parts: the rows, the stops and the errors
// are the same as in one pass.
Erro le_registros(const std::string& caminho, DestinoRegistros& destino, Tarefas tarefas = {});
