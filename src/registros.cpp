#include "registros.h"

#include <errno.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "campos_csv.h"
#include "caracteres.h"
#include "cobranca.h"
#include "codigo850.h"
#include "dialeto_csv.h"
#include "leitura.h"
#include "temporario.h"

namespace {

constexpr std::string_view cabecalho_proprio =
    "origem,destino,telefone_destino,inicio,fim,duracao,valor";
constexpr std::string_view cabecalho_proprio_planilha =
    "origem;destino;telefone_destino;inicio;fim;duracao;valor";

// A row longer than this is refused (and only this much of it kept): a file without line ends
// must not fill the memory.
constexpr std::size_t maximo_linha = 64 * 1024;
// A NUL byte among the first bytes of a file makes it binary, as grep decides.
constexpr std::size_t inicio_conferido = 4096;

// The fields of each layout, from 0, and how many the layout has.
struct Layout {
    std::size_t campos;
    std::size_t conta, origem, destino, inicio, atendimento, fim, duracao, segundos, disposicao,
        flags, unico, sequencia;
};
// The fields of a layout that are looked at: the only ones the block scanner hands over.
constexpr std::uint32_t lidos(const Layout& l) {
    std::uint32_t u = 0;
    for (const std::size_t i : {l.conta, l.origem, l.destino, l.inicio, l.atendimento, l.fim,
                                l.duracao, l.segundos, l.disposicao, l.flags, l.unico, l.sequencia})
        if (i < l.campos) u |= std::uint32_t{1} << i;
    return u;
}
// The uniqueid of the default layout lies past its 16 fields that are split: a row may lack it,
// and what follows it is never looked at.
constexpr Layout layout_csv{16, 0, 1, 2, 9, 10, 11, 12, 13, 14, 15, 16, 16};
constexpr Layout layout_custom{19, 15, 1, 2, 8, 9, 10, 11, 12, 13, 14, 16, 18};
// The own CSV: origem, destino, telefone_destino, inicio, fim, duracao, valor, and the calling
// line when the calls know it.
constexpr std::size_t campos_proprio = 7;
constexpr std::string_view coluna_linha = "linha";

// Row `linha`'s fields of layout `l` into `c`, field i taken by `campo(i)`: each member set but
// `unico`, so that one `c` serves row after row.
template <class Campo>
[[gnu::always_inline]] inline void poe_campos(const Layout& l, std::string_view linha,
                                              bool sem_nulo, const Campo& campo,
                                              CamposRegistro& c) {
    c.texto = linha;
    c.conta = campo(l.conta);
    c.origem = campo(l.origem);
    c.destino = campo(l.destino);
    c.cod_destino = {};
    c.inicio = campo(l.inicio);
    c.atendimento = campo(l.atendimento);
    c.fim = campo(l.fim);
    c.duracao = campo(l.duracao);
    c.segundos = campo(l.segundos);
    c.disposicao = campo(l.disposicao);
    c.flags = campo(l.flags);
    c.sem_nulo = sem_nulo;
    c.sequencia = l.sequencia < l.campos ? campo(l.sequencia) : std::string_view{};
}

// The fields of a plain row of layout `L` straight from where the block scanner found them to
// end; false when the row is left to the general way: fewer fields than the layout has, or
// doubled quotes in a field that is looked at.
template <const Layout& L>
bool campos_pbx(const VarredorBloco& v, std::string_view linha, CamposRegistro& c) {
    constexpr std::uint32_t usados = lidos(L) | std::uint32_t{1} << L.unico;
    if (v.n() < L.campos || (v.duplas() & usados) != 0) return false;
    const VarredorBloco::Campos campo = v.campos();
    poe_campos(L, linha, true, campo, c);
    // The default layout's optional uniqueid, right after its fields, is split too.
    c.unico = L.unico < L.campos || v.n() > L.unico ? campo(L.unico) : std::string_view{};
    return true;
}

constexpr std::array<std::string_view, 5> disposicoes{"ANSWERED", "NO ANSWER", "BUSY", "FAILED",
                                                      "CONGESTION"};

constexpr std::string_view motivo_campos_de_menos = "campos de menos";
constexpr std::string_view motivo_campos_demais = "campos demais";
constexpr std::string_view motivo_aspas = "aspas sem fechamento ou texto depois das aspas";
constexpr std::string_view motivo_data = "data e hora fora do formato AAAA-MM-DD hh:mm:ss";
constexpr std::string_view motivo_data_impossivel = "data impossivel";
constexpr std::string_view motivo_segundos = "segundos que nao sao um inteiro nao negativo";
constexpr std::string_view motivo_segundos_grandes = "segundos grandes demais";
constexpr std::string_view motivo_ano = "ano depois de 9998";
constexpr std::string_view motivo_disposicao = "disposicao desconhecida";
constexpr std::string_view motivo_nulo = "byte nulo";
constexpr std::string_view motivo_utf8 = "texto que nao e UTF-8";
constexpr std::string_view motivo_incoerentes = "segundos incoerentes";
constexpr std::string_view motivo_fora_de_ordem = "datas fora de ordem";
constexpr std::string_view motivo_longo = "registro longo demais";
constexpr std::string_view motivo_desconhecido =
    "nao e um registro de chamada (nem do PBX nem de contacel-exportar chamadas)";

// Eight bytes of `t` from `i`, the first in the lowest byte.
std::uint64_t oito(std::string_view t, std::size_t i) {
    return oito_bytes(t.data() + i);
}

// Whether `t` is UTF-8: one of 8 to 16 bytes, as most numbers are, in ASCII told by two words
// that may overlap.
[[gnu::always_inline]] inline bool utf8(std::string_view t) {
    if (t.empty()) return true;
    if (t.size() >= 8 && t.size() <= 16 &&
        ((oito(t, 0) | oito(t, t.size() - 8)) & 0x8080'8080'8080'8080) == 0)
        return true;
    return e_utf8(t);
}

constexpr bool grande = std::endian::native == std::endian::big;
// Three fields of one byte, one byte and `ultimo` bits as the four bytes they are in memory
// when they follow each other (a day, a month and a year; an hour, minutes and seconds and a
// byte of padding).
constexpr std::uint32_t em_memoria(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                   unsigned ultimo) {
    return grande ? a << 24 | b << 16 | c << (16 - ultimo) : a | b << 8 | c << 16;
}

// "AAAA-MM-DD hh:mm:ss", a real date and time (as the bytes of a TDataHora), and its second of the
// day; the reason when it is not. Read eight bytes at a time: "AAAA-MM-", "DD hh:mm" and
// "hh:mm:ss"; a date the same as the one before is not looked at again.
[[gnu::always_inline]] inline std::string_view le_data_hora(std::string_view t, std::uint64_t& dh,
                                                            std::int32_t& no_dia, DataLida& antes) {
    if (t.size() != 19) return motivo_data;
    const std::uint64_t a = oito(t, 0), b = oito(t, 8), c = oito(t, 11);
    // "hh:mm:ss" as its digits' values and the colons as 0.
    const std::uint64_t hora = c ^ 0x3030'3A30'303A'3030;
    if (!bytes_ate(hora, 0x0909'0009'0900'0909)) return motivo_data;
    // A month or a day other than the last one read: rows mostly keep to one month. Before the
    // first date is read, any eight bytes are new, even those that match `antes` as it starts.
    constexpr std::uint64_t dia = 0xFF'FFFF;  // of b, with the blank after it
    const bool mes_novo = a != antes.a || antes.dat.mes == 0;
    const bool dia_novo = mes_novo || (b & dia) != antes.dia;
    // "AAAA-MM-" and "DD " the same way, the date's values then in bytes 0 to 3, 5, 6 and 8.
    const std::uint64_t d1 = a ^ 0x2D30'302D'3030'3030, d2 = (b & dia) ^ 0x20'3030;
    if ((mes_novo && !bytes_ate(d1, 0x0009'0900'0909'0909)) ||
        (dia_novo && !bytes_ate(d2, 0x00'0909)))
        return motivo_data;
    // Each byte with the two-digit number that starts there: the hour, minutes and seconds in
    // bytes 0, 3 and 6, each below 100, with what brings 24, 60 and 60 to 128 added: the high
    // bit of any of them says it is too large.
    const std::uint64_t pares = hora * 10 + (hora >> 8);
    constexpr std::uint64_t ate_128 = 0x0044'0000'4400'0068;
    constexpr std::uint64_t altos = 0x0080'0000'8000'0080;
    if (((pares + ate_128) & altos) != 0) return motivo_data_impossivel;
    if (dia_novo) {
        const auto digito = [](std::uint64_t x, unsigned i) {
            return static_cast<int>((x >> (8 * i)) & 0xFF);
        };
        int ano = antes.dat.ano, mes = antes.dat.mes;
        if (mes_novo) {
            ano = ((digito(d1, 0) * 10 + digito(d1, 1)) * 10 + digito(d1, 2)) * 10 + digito(d1, 3);
            mes = digito(d1, 5) * 10 + digito(d1, 6);
            if (ano == 0 || mes == 0 || mes > 12) return motivo_data_impossivel;
        }
        const int d = digito(d2, 0) * 10 + digito(d2, 1);
        if (d == 0 || (d > 28 && d > dias_no_mes(mes, ano))) return motivo_data_impossivel;
        if (ano > ultimo_ano) return motivo_ano;
        // Written and read back whole: a date stored a byte at a time and then loaded as one
        // word waits for the stores to reach the cache.
        antes = {a, b & dia,
                 std::bit_cast<TData>(em_memoria(static_cast<std::uint32_t>(d),
                                                 static_cast<std::uint32_t>(mes),
                                                 static_cast<std::uint32_t>(ano), 16))};
    }
    const auto h = static_cast<std::uint32_t>(pares & 0xFF);
    const auto m = static_cast<std::uint32_t>((pares >> 24) & 0xFF);
    const auto s = static_cast<std::uint32_t>((pares >> 48) & 0xFF);
    // Made in a register and stored in one piece, for the same reason.
    dh = std::uint64_t{std::bit_cast<std::uint32_t>(antes.dat)} << (grande ? 32 : 0) |
         std::uint64_t{em_memoria(h, m, s, 8)} << (grande ? 0 : 32);
    no_dia = static_cast<std::int32_t>(h * 3600 + m * 60 + s);
    return {};
}

// A count of seconds; the reason when it is not one. `linha`, the row `t` is in, says whether
// eight bytes from its start can be read at once.
[[gnu::always_inline]] inline std::string_view le_segundos(std::string_view t, std::uint32_t& s,
                                                           std::string_view linha) {
    if (t.empty()) return motivo_segundos;
    const auto de = reinterpret_cast<std::uintptr_t>(linha.data());
    const auto p = reinterpret_cast<std::uintptr_t>(t.data());
    if (t.size() <= 8 && p >= de && p - de + 8 <= linha.size()) {
        // Up to eight digits (never too many seconds) as their values, moved to the high bytes,
        // leading zeros below them.
        const unsigned vazios = 8 * (8 - static_cast<unsigned>(t.size()));
        const std::uint64_t x = (oito(t, 0) ^ 0x3030'3030'3030'3030) << vazios;
        if (!bytes_ate(x, oito_digitos)) return motivo_segundos;
        s = static_cast<std::uint32_t>(valor_oito_digitos(x));
        return {};
    }
    std::uint64_t v = 0;
    for (const char c : t) {
        if (!e_digito(c)) return motivo_segundos;
        v = std::min<std::uint64_t>(v * 10 + static_cast<std::uint64_t>(c - '0'), UINT64_C(1)
                                                                                      << 32);
    }
    if (v > UINT32_MAX) return motivo_segundos_grandes;
    s = static_cast<std::uint32_t>(v);
    return {};
}

// `t` without the blanks around it.
std::string_view sem_brancos(std::string_view t) {
    const auto branco = [](char c) { return c == ' ' || c == '\t'; };
    while (!t.empty() && branco(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && branco(t.back()))
        t.remove_suffix(1);
    return t;
}

// Whether `t`, without blanks around it, is `palavra` (in capitals) in any case.
bool e_palavra(std::string_view t, std::string_view palavra) {
    return std::ranges::equal(t, palavra, [](char a, char b) {
        return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
    });
}

// The place in `disposicoes` of a disposition as PBXs and people write it, whatever the case of
// its letters and the blanks around it; disposicoes.size() for none.
std::size_t disposicao(std::string_view t) {
    for (std::size_t i = 0; i < disposicoes.size(); ++i)
        if (t == disposicoes[i]) return i;
    t = sem_brancos(t);
    return static_cast<std::size_t>(
        std::ranges::find_if(disposicoes, [&](std::string_view d) { return e_palavra(t, d); }) -
        disposicoes.begin());
}

// A date and time read, as the eight bytes it is in memory (kept whole in a register, not
// field by field), with its second of the day.
struct Momento {
    std::uint64_t dh = 0;
    std::int32_t no_dia = 0;
    [[nodiscard]] TDataHora data_hora() const { return std::bit_cast<TDataHora>(dh); }
    // Into `d` as one word, its padding too: copied field by field, it is three stores.
    void para(TDataHora& d) const { std::memcpy(&d, &dh, sizeof d); }
};

// Seconds from `a` to `b`; most calls start and end on one day.
std::int64_t segundos_entre(const Momento& a, const Momento& b) {
    // A date is its day, month and year in four bytes, none of them padding.
    if (((a.dh ^ b.dh) & (grande ? ~std::uint64_t{0} << 32 : 0xFFFF'FFFF)) == 0)
        return b.no_dia - a.no_dia;
    return segundo_utc(b.data_hora()) - segundo_utc(a.data_hora());
}

// The date-time `s` seconds after `d`.
TDataHora depois(TDataHora d, std::int64_t s) {
    using namespace std::chrono;
    const sys_seconds t{seconds{segundo_utc(d) + s}};
    const sys_days dia = floor<days>(t);
    const year_month_day ymd{dia};
    const hh_mm_ss<seconds> hms{t - dia};
    return {{static_cast<std::int8_t>(unsigned{ymd.day()}),
             static_cast<std::int8_t>(unsigned{ymd.month()}),
             static_cast<std::int16_t>(int{ymd.year()})},
            {static_cast<std::int8_t>(hms.hours().count()),
             static_cast<std::int8_t>(hms.minutes().count()),
             static_cast<std::int8_t>(hms.seconds().count())}};
}

}  // namespace

std::string_view julga_registro(FormatoRegistros formato, const CamposRegistro& c,
                                RegistroChamada& r, DataLida& data) {
    if (!c.sem_nulo && c.texto.find('\0') != std::string_view::npos) return motivo_nulo;
    // The answer, or the start when there is none; the end, or the answer and the billed seconds
    // when there is none, so that the calls' CSV reads back as the same call.
    Momento partida, atendido, fim;
    if (const std::string_view m = le_data_hora(c.inicio, partida.dh, partida.no_dia, data);
        !m.empty())
        return m;
    if (c.atendimento.empty())
        atendido = partida;
    else if (const std::string_view m =
                 le_data_hora(c.atendimento, atendido.dh, atendido.no_dia, data);
             !m.empty())
        return m;
    if (!c.fim.empty())
        if (const std::string_view m = le_data_hora(c.fim, fim.dh, fim.no_dia, data); !m.empty())
            return m;
    if (const std::string_view m = le_segundos(c.segundos, r.segundos, c.texto); !m.empty())
        return m;
    atendido.para(r.inicio);
    if (c.fim.empty())
        r.fim = depois(r.inicio, r.segundos);
    else
        fim.para(r.fim);
    // An end worked out from the billed seconds is held to the year an end written in the row
    // is: the calls' CSV carries it, and must read back.
    if (r.fim.dat.ano > ultimo_ano) return motivo_ano;
    std::uint32_t duracao = r.segundos;
    if (!c.duracao.empty())
        if (const std::string_view m = le_segundos(c.duracao, duracao, c.texto); !m.empty())
            return m;
    // Most calls were answered, written as the PBX writes it.
    const std::size_t d = c.disposicao == disposicoes[0] ? 0 : disposicao(c.disposicao);
    if (formato != FormatoRegistros::proprio && d == disposicoes.size()) return motivo_disposicao;
    // Texts that are copied into the calls' CSV and the documents.
    if (!utf8(c.origem) || !utf8(c.destino) || !utf8(c.cod_destino)) return motivo_utf8;
    // A row that cannot be true is not billed: answered before it started, ended before it was
    // answered, or billed for more than it lasted (a second of rounding allowed).
    const std::int64_t durou = c.fim.empty() ? 0 : segundos_entre(atendido, fim);
    if (segundos_entre(partida, atendido) < 0 || durou < 0) return motivo_fora_de_ordem;
    if (r.segundos > duracao || (!c.fim.empty() && r.segundos > durou + 1))
        return motivo_incoerentes;
    // OMIT or 1, blanks around it allowed: a longer text with none at its ends, as DOCUMENTATION
    // and BILLING, is neither without being trimmed.
    const auto omitida = [&] {
        if (c.flags.size() > 4 && c.flags.front() > ' ' && c.flags.back() > ' ') return false;
        const std::string_view flags = sem_brancos(c.flags);
        return e_palavra(flags, "OMIT") || e_palavra(flags, "1");
    };
    r.cobravel = formato == FormatoRegistros::proprio || (r.segundos > 0 && d == 0 && !omitida());
    // The texts last: the views of `c` were mostly stored just before this call, and are read
    // whole only once those stores have reached the cache.
    r.formato = formato;
    r.unico = c.unico;
    r.sequencia = c.sequencia;
    r.texto = c.texto;
    r.conta = c.conta;
    r.origem = c.origem;
    r.destino = c.destino;
    r.cod_destino = c.cod_destino;
    return {};
}

bool AnalisadorRegistros::rejeita(std::string_view motivo, std::string_view texto,
                                  DestinoRegistros& destino) {
    entrega_lote(destino);
    if (destino.rejeitado({linha_, motivo, texto})) return true;
    erro_ = Erro::dados({}, linha_, std::string(motivo));
    return false;
}

std::string_view AnalisadorRegistros::campo(std::size_t i) {
    if (i >= campos_.n) return {};
    const std::string_view c = campos_.campos[i];
    if ((campos_.duplas & (1U << i)) == 0) return c;
    return desfaz_aspas(c, sem_aspas_);
}

bool AnalisadorRegistros::detecta(std::string_view linha, DestinoRegistros& destino) {
    const std::string_view sem_linha = linha.substr(0, cabecalho_proprio.size());
    if (sem_linha == cabecalho_proprio || sem_linha == cabecalho_proprio_planilha) {
        separador_ = linha[6];
        // After the calling line, the columns a price list adds, which billing again recomputes.
        std::string com_tarifa = std::string(1, separador_) + std::string(coluna_linha);
        for (const std::string_view c : {"destino", "faixa", "segundos_cobrados"})
            (com_tarifa += separador_) += c;
        const std::string_view resto = linha.substr(sem_linha.size());
        if (!resto.empty() && resto != com_tarifa &&
            (resto[0] != separador_ || resto.substr(1) != coluna_linha))
            return rejeita(motivo_desconhecido, linha, destino);
        formato_ = FormatoRegistros::proprio;
        campos_proprio_ = campos_proprio + (resto.empty() ? 0 : resto == com_tarifa ? 4 : 1);
        return true;
    }
    separa_campos(linha, ',', layout_custom.campos, campos_);
    const auto disposicao_em = [&](std::size_t i) {
        return campos_.n > i && disposicao(campo(i)) < disposicoes.size();
    };
    if (campos_.valido && campos_.n >= layout_csv.campos && disposicao_em(layout_csv.disposicao))
        formato_ = FormatoRegistros::pbx_csv;
    else if (campos_.valido && campos_.n >= layout_custom.campos &&
             disposicao_em(layout_custom.disposicao))
        formato_ = FormatoRegistros::pbx_custom;
    else
        return rejeita(motivo_desconhecido, linha, destino);
    return registro_pbx(linha, destino);
}

std::uint32_t AnalisadorRegistros::campos_lidos() const {
    if (formato_ == FormatoRegistros::proprio) return (std::uint32_t{1} << campos_proprio_) - 1;
    return lidos(formato_ == FormatoRegistros::pbx_csv ? layout_csv : layout_custom);
}

std::size_t AnalisadorRegistros::campos_do_formato() const {
    if (formato_ == FormatoRegistros::proprio) return campos_proprio_;
    return formato_ == FormatoRegistros::pbx_csv ? layout_csv.campos : layout_custom.campos;
}

bool AnalisadorRegistros::registro_pbx(std::string_view linha, DestinoRegistros& destino) {
    separa_campos(linha, ',', campos_do_formato(), campos_);
    return avalia_pbx(linha, false, destino);
}

bool AnalisadorRegistros::avalia_pbx(std::string_view linha, bool sem_nulo,
                                     DestinoRegistros& destino) {
    const Layout& l = formato_ == FormatoRegistros::pbx_csv ? layout_csv : layout_custom;
    if (!campos_.valido) return rejeita(motivo_aspas, linha, destino);
    if (campos_.n < l.campos) return rejeita(motivo_campos_de_menos, linha, destino);
    sem_aspas_.clear();
    sem_aspas_.reserve(linha.size());
    CamposRegistro c;
    poe_campos(
        l, linha, sem_nulo, [this](std::size_t i) { return campo(i); }, c);
    if (l.unico < l.campos || campos_.n > l.unico) {
        c.unico = campo(l.unico);
    } else if (campos_.mais) {
        // The field after the last one split: the rest of the row from the separator that ends
        // that one (after its closing quote when it has one), split no further.
        const std::string_view ultimo = campos_.campos[l.campos - 1];
        std::size_t p = static_cast<std::size_t>(ultimo.data() + ultimo.size() - linha.data());
        if (linha[p] == '"') ++p;
        CamposCsv resto;
        separa_campos(linha.substr(p + 1), ',', 1, resto);
        if (resto.n == 1)
            c.unico =
                resto.duplas == 0 ? resto.campos[0] : desfaz_aspas(resto.campos[0], sem_aspas_);
    }
    return entrega(c, destino);
}

bool AnalisadorRegistros::registro_proprio(std::string_view linha, DestinoRegistros& destino) {
    separa_campos(linha, separador_, campos_proprio_, campos_);
    return avalia_proprio(linha, false, destino);
}

bool AnalisadorRegistros::avalia_proprio(std::string_view linha, bool sem_nulo,
                                         DestinoRegistros& destino) {
    if (!campos_.valido) return rejeita(motivo_aspas, linha, destino);
    if (campos_.n < campos_proprio_) return rejeita(motivo_campos_de_menos, linha, destino);
    if (campos_.mais) return rejeita(motivo_campos_demais, linha, destino);
    sem_aspas_.clear();
    sem_aspas_.reserve(linha.size());
    const auto texto = [&](std::size_t i) {
        return separador_ == ';' ? sem_marca_de_formula(campo(i)) : campo(i);
    };
    CamposRegistro c{linha,    campo(0), texto(campos_proprio),
                     texto(2), campo(1), campo(3),
                     {},       campo(4), {},
                     campo(5), {},       {}};
    c.sem_nulo = sem_nulo;
    return entrega(c, destino);
}

[[gnu::always_inline]] inline bool AnalisadorRegistros::entrega(const CamposRegistro& c,
                                                                DestinoRegistros& destino) {
    // Every field but the line is the verdict's.
    RegistroChamada& r = lote_[no_lote_];
    if (const std::string_view m = julga_registro(*formato_, c, r, data_lida_); !m.empty())
        return rejeita(m, c.texto, destino);
    r.linha = linha_;
    // Quotes undone into sem_aspas_ are undone there again for the next row.
    if (++no_lote_ == lote_.size() || !em_lote_ || !sem_aspas_.empty()) entrega_lote(destino);
    return true;
}

void AnalisadorRegistros::entrega_lote(DestinoRegistros& destino) {
    if (no_lote_ == 0) return;
    destino.registros(std::span(lote_).first(no_lote_));
    no_lote_ = 0;
}

bool AnalisadorRegistros::linha(std::string_view linha, bool longa, DestinoRegistros& destino) {
    ++linha_;
    if (linha_ == 1 && !do_meio_) linha = sem_marca_utf8(linha);
    if (longa || linha.size() > maximo_linha)
        return rejeita(motivo_longo, linha.substr(0, maximo_linha), destino);
    if (linha.empty()) return true;
    if (!formato_) return detecta(linha, destino);
    if (*formato_ == FormatoRegistros::proprio) return registro_proprio(linha, destino);
    return registro_pbx(linha, destino);
}

std::size_t AnalisadorRegistros::depois_do_fim(std::string_view bytes, std::size_t fim) {
    if (bytes[fim] == '\n') return fim + 1;
    // A CR ends the row, and an LF right after it belongs to the same line end, also when it
    // comes in the next block.
    if (fim + 1 == bytes.size()) cr_ = true;
    return fim + 1 < bytes.size() && bytes[fim + 1] == '\n' ? fim + 2 : fim + 1;
}

bool AnalisadorRegistros::uma_a_uma(std::string_view bytes, DestinoRegistros& destino,
                                    std::size_t& usados, bool ate_o_formato) {
    usados = 0;
    // The next LF and the next CR, each looked for again only once passed: a file with only one
    // of them is not scanned for the other row after row.
    const auto proximo = [&](char c) {
        const void* p = std::memchr(bytes.data() + usados, c, bytes.size() - usados);
        return p == nullptr ? bytes.size()
                            : static_cast<std::size_t>(static_cast<const char*>(p) - bytes.data());
    };
    std::size_t lf = proximo('\n'), cr = proximo('\r');
    while (usados < bytes.size() && !(ate_o_formato && formato_)) {
        if (lf < usados) lf = proximo('\n');
        if (cr < usados) cr = proximo('\r');
        const std::size_t fim = std::min(lf, cr);
        if (fim == bytes.size()) break;
        const bool ok = linha(bytes.substr(usados, fim - usados), false, destino);
        usados = depois_do_fim(bytes, fim);
        if (!ok) return false;
    }
    return true;
}

bool AnalisadorRegistros::linhas_completas(std::string_view bytes, DestinoRegistros& destino,
                                           std::size_t& usados) {
    // Row by row until the first row has told the kind of file,
    usados = 0;
    if (!formato_ && !uma_a_uma(bytes, destino, usados, true)) return false;
    // then the rows up to the block's last LF in one pass, each one that is not plain (with a
    // CR, which may end rows inside it, or a NUL) or too long row by row,
    if (const std::size_t lf = bytes.rfind('\n'); lf != std::string_view::npos && lf >= usados) {
        const std::string_view inteiras = bytes.substr(usados, lf + 1 - usados);
        // The scanner also splits the default layout's optional uniqueid, which comes right
        // after its fields: a plain row's is well quoted.
        const bool com_unico = *formato_ == FormatoRegistros::pbx_csv;
        varredor_.prepara(inteiras, *formato_ == FormatoRegistros::proprio ? separador_ : ',',
                          campos_do_formato() + (com_unico ? 1 : 0),
                          campos_lidos() | (com_unico ? std::uint32_t{1} << layout_csv.unico : 0));
        std::string_view l;
        bool simples = false;
        const FormatoRegistros f = *formato_;
        CamposRegistro c;
        while (varredor_.proxima(l, simples)) {
            bool ok = false;
            if (simples && l.size() <= maximo_linha) {
                ++linha_;
                if (f == FormatoRegistros::pbx_csv      ? campos_pbx<layout_csv>(varredor_, l, c)
                    : f == FormatoRegistros::pbx_custom ? campos_pbx<layout_custom>(varredor_, l, c)
                                                        : false) {
                    sem_aspas_.clear();
                    ok = entrega(c, destino);
                } else {
                    varredor_.campos(campos_);
                    ok = f == FormatoRegistros::proprio ? avalia_proprio(l, true, destino)
                                                        : avalia_pbx(l, true, destino);
                }
            } else {
                std::size_t n = 0;
                ok = uma_a_uma({l.data(), l.size() + 1}, destino, n, false);
            }
            if (!ok) return false;
        }
        usados = lf + 1;
    }
    // and the rows after it, which a CR may end.
    std::size_t resto = 0;
    const bool ok = uma_a_uma(bytes.substr(usados), destino, resto, false);
    usados += resto;
    return ok;
}

void AnalisadorRegistros::guarda(std::string_view resto) {
    const std::size_t cabe = maximo_linha + 1 - std::min(pendente_.size(), maximo_linha + 1);
    if (resto.size() > cabe) longa_ = true;
    pendente_.append(resto.substr(0, cabe));
}

bool AnalisadorRegistros::consome(std::span<const char> bloco, DestinoRegistros& destino) {
    if (!erro_.ok()) return false;
    std::string_view b(bloco.data(), bloco.size());
    if (!conferido_) {
        // The first bytes wait until there are enough of them to tell a binary file.
        inicio_.append(b);
        if (inicio_.size() < inicio_conferido) return true;
        return confere_inicio(destino);
    }
    if (cr_ && !b.empty()) {
        cr_ = false;
        if (b.front() == '\n') b.remove_prefix(1);
    }
    if (!pendente_.empty() || longa_) {
        // The row begun in an earlier block ends at the first line end of this one.
        const std::size_t fim = b.find_first_of("\r\n");
        guarda(b.substr(0, fim));
        if (fim == std::string_view::npos) return true;
        b.remove_prefix(depois_do_fim(b, fim));
        const bool ok = linha(pendente_, longa_, destino);
        pendente_.clear();
        longa_ = false;
        if (!ok) return false;
    }
    std::size_t usados = 0;
    em_lote_ = true;
    const bool ok = linhas_completas(b, destino, usados);
    em_lote_ = false;
    entrega_lote(destino);
    if (!ok) return false;
    guarda(b.substr(usados));
    return true;
}

bool AnalisadorRegistros::confere_inicio(DestinoRegistros& destino) {
    conferido_ = true;
    if (inicio_.find('\0', 0) < inicio_conferido) {
        erro_ = Erro::dados("arquivo binario, nao e um arquivo de registros de chamadas");
        return false;
    }
    std::string inicio = std::move(inicio_);
    inicio_ = std::string();
    return consome(inicio, destino);
}

AnalisadorRegistros AnalisadorRegistros::continuacao() const {
    AnalisadorRegistros a;
    a.formato_ = formato_;
    a.separador_ = separador_;
    a.campos_proprio_ = campos_proprio_;
    a.conferido_ = true;
    a.do_meio_ = true;
    return a;
}

bool AnalisadorRegistros::termina(DestinoRegistros& destino) {
    if (!erro_.ok()) return false;
    if (!conferido_ && !confere_inicio(destino)) return false;
    if (pendente_.empty() && !longa_) return true;
    const bool ok = linha(pendente_, longa_, destino);
    pendente_.clear();
    longa_ = false;
    return ok;
}

namespace {

constexpr std::size_t tamanho_bloco = 256 * 1024;

// Rows handed nowhere: the first rows of a file read only to tell its kind.
struct Descarte final : DestinoRegistros {
    void registro(const RegistroChamada&) override {}
    bool rejeitado(const RegistroRejeitado&) override { return true; }
};

// Where the parts of a file of `tamanho` bytes begin, after the first, for at most `n` parts of
// at least `minimo` bytes: just after the first LF from each n-th of it (an LF always ends a
// row, alone or after a CR). Fewer where there is no LF.
std::vector<std::uint64_t> cortes(int fd, std::uint64_t tamanho, Tarefas t) {
    // The first bytes decide whether the file is binary: they are all in the first part.
    const std::uint64_t minimo = std::max<std::uint64_t>(t.minimo, inicio_conferido);
    const std::uint64_t n = std::min<std::uint64_t>(t.n, tamanho / minimo);
    std::vector<std::uint64_t> c;
    std::array<char, 64 * 1024> b;
    for (std::uint64_t k = 1; k < n; ++k) {
        std::uint64_t p = std::max(tamanho / n * k, c.empty() ? 0 : c.back());
        for (std::size_t lidos = b.size(); p < tamanho && lidos == b.size(); p += lidos) {
            if (le_ate_encher(fd, std::as_writable_bytes(std::span(b)), lidos, p) != 0) return c;
            if (const void* lf = std::memchr(b.data(), '\n', lidos); lf != nullptr) {
                p += static_cast<std::uint64_t>(static_cast<const char*>(lf) - b.data()) + 1;
                if (p < tamanho) c.push_back(p);
                break;
            }
        }
    }
    return c;
}

// A plain regular file being read: mapped `janela` bytes at a time up to `tamanho`, its size
// when it was opened, and read with read(2) past that or where it cannot be mapped.
struct Fonte {
    int fd = -1;
    std::uint64_t tamanho = 0;
    std::size_t janela = 0;
    const VigiaMapeamentos* vigia = nullptr;
};

// The bytes of `f` (which has a watch) from `inicio` to `fim`, mapped and watched while this
// lives; none where the system cannot map them or the watch has no room.
class Janela {
  public:
    Janela(const Fonte& f, std::uint64_t inicio, std::uint64_t fim) {
        if (inicio >= fim) return;
        const auto pagina = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        const std::uint64_t base = inicio / pagina * pagina;
        if (fim - base > SIZE_MAX || static_cast<std::uint64_t>(static_cast<off_t>(base)) != base)
            return;
        n_ = static_cast<std::size_t>(fim - base);
        void* m = ::mmap(nullptr, n_, PROT_READ, MAP_SHARED, f.fd, static_cast<off_t>(base));
        if (m == MAP_FAILED) return;
        mapa_ = static_cast<const char*>(m);
        if ((vaga_ = f.vigia->vigia(mapa_, n_)) == VigiaMapeamentos::sem_vaga) {
            ::munmap(m, n_);
            mapa_ = nullptr;
            return;
        }
        ::madvise(m, n_, MADV_SEQUENTIAL);
        bytes_ = {mapa_ + (inicio - base), static_cast<std::size_t>(fim - inicio)};
    }
    ~Janela() {
        if (mapa_ == nullptr) return;
        VigiaMapeamentos::esquece(vaga_);
        ::munmap(const_cast<char*>(mapa_), n_);
    }
    Janela(const Janela&) = delete;
    Janela& operator=(const Janela&) = delete;
    [[nodiscard]] std::span<const char> bytes() const { return bytes_; }

  private:
    const char* mapa_ = nullptr;
    std::size_t n_ = 0;
    std::size_t vaga_ = 0;
    std::span<const char> bytes_{};
};

// In place of an errno: the file shrank while mapped, where its pages past the new end are not
// all gone (the last one is zeros) and so raise no fault.
constexpr int encolheu = -1;

bool encolhido(const Fonte& f) {
    struct stat st {};
    return ::fstat(f.fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) < f.tamanho;
}

Erro erro_de_leitura(const std::string& caminho, int sis) {
    return sis == encolheu ? Erro::leitura(caminho, 0, "o arquivo mudou durante a leitura")
                           : Erro::leitura(caminho, sis);
}

// Reads the bytes of `f` from `inicio` up to `fim` (or the file's end) in blocks of
// `bloco.size()` into `a`, `bloco` the buffer where they are not mapped, while `segue()`. False
// when `a` stops; `sis` gets the errno of a read that failed, or `encolheu`.
template <class Segue>
bool le_trecho(const Fonte& f, std::uint64_t inicio, std::uint64_t fim, std::span<char> bloco,
               AnalisadorRegistros& a, DestinoRegistros& destino, int& sis, Segue segue) {
    sis = 0;
    // Mapped until a window cannot be, read from there on.
    bool mapeia = f.vigia != nullptr;
    for (std::uint64_t p = inicio; p < fim && segue();) {
        if (mapeia) {
            const std::uint64_t ate = std::min({fim, f.tamanho, p + f.janela});
            const Janela j(f, p, ate);
            if (const std::span<const char> b = j.bytes(); !b.empty()) {
                bool ok = true;
                for (std::size_t i = 0; ok && i < b.size() && segue(); i += bloco.size())
                    ok = a.consome(b.subspan(i, std::min(bloco.size(), b.size() - i)), destino);
                // Zeros read where the file ended meanwhile are no rows of it, nor their verdict.
                if (encolhido(f)) {
                    sis = encolheu;
                    return true;
                }
                if (!ok) return false;
                p = ate;
                continue;
            }
            mapeia = false;
        }
        const std::size_t quer =
            static_cast<std::size_t>(std::min<std::uint64_t>(bloco.size(), fim - p));
        std::size_t lidos = 0;
        if ((sis = le_ate_encher(f.fd, std::as_writable_bytes(bloco.first(quer)), lidos, p)) != 0)
            return true;
        if (!a.consome(bloco.first(lidos), destino)) return false;
        if (lidos < quer) break;
        p += lidos;
    }
    return true;
}

// One part after the first of a file read in parts, read on a thread of its own.
struct Parte {
    std::uint64_t inicio = 0, fim = 0;
    AnalisadorRegistros analisador;
    std::unique_ptr<ParteRegistros> destino;
    int sis = 0;          // a read that failed
    bool lida = false;    // read to its end, or to where it stopped
    std::jthread tarefa;  // none when it could not be started: it is read when its turn comes
};

// Reads the plain regular file `f` in the parts that begin at 0 and at each of `c`, each but
// the first into a part of `destino` (`primeira` the first of them), and hands them over in
// order; `modelo` knows the file's kind.
Erro le_em_partes(const Fonte& f, const std::string& caminho, DestinoRegistros& destino,
                  std::unique_ptr<ParteRegistros> primeira, std::span<const std::uint64_t> c,
                  const AnalisadorRegistros& modelo) {
    // The first part that stopped: the parts after it stop too, as they would not be read.
    std::atomic<std::size_t> parada{SIZE_MAX};
    const auto para = [&](std::size_t k) {
        for (std::size_t v = parada.load(); k < v && !parada.compare_exchange_weak(v, k);) {
        }
    };
    const auto le = [&](Parte& p, std::size_t k) {
        const auto bloco = std::make_unique_for_overwrite<char[]>(tamanho_bloco);
        const bool ok =
            le_trecho(f, p.inicio, p.fim, {bloco.get(), tamanho_bloco}, p.analisador, *p.destino,
                      p.sis, [&] { return parada.load(std::memory_order_relaxed) > k; }) &&
            (p.sis != 0 || p.analisador.termina(*p.destino));
        if (!ok || p.sis != 0) para(k);
        p.lida = true;
    };
    std::vector<Parte> partes(c.size());
    for (std::size_t k = 0; k < partes.size(); ++k) {
        Parte& p = partes[k];
        p.inicio = c[k];
        p.fim = k + 1 < c.size() ? c[k + 1] : UINT64_MAX;
        p.analisador = modelo.continuacao();
        p.destino = k == 0 ? std::move(primeira) : destino.parte();
        try {
            p.tarefa = std::jthread(le, std::ref(p), k + 1);
        } catch (const std::system_error&) {
        }
    }
    const auto bloco = std::make_unique_for_overwrite<char[]>(tamanho_bloco);
    AnalisadorRegistros a;
    int sis = 0;
    const bool ok =
        le_trecho(f, 0, c[0], {bloco.get(), tamanho_bloco}, a, destino, sis, [] { return true; });
    if (!ok || sis != 0) para(0);
    if (!ok) return Erro(a.erro()).no_arquivo(caminho);
    if (sis != 0) return erro_de_leitura(caminho, sis);
    std::size_t antes = a.linhas();
    for (std::size_t k = 0; k < partes.size(); ++k) {
        Parte& p = partes[k];
        if (p.tarefa.joinable()) p.tarefa.join();
        if (!p.lida) le(p, k + 1);
        // Its rows may hold the zeros of a shrunk file's last page.
        if (p.sis == encolheu) {
            para(k + 1);
            return erro_de_leitura(caminho, p.sis);
        }
        if (!p.destino->repete(antes)) {
            para(k + 1);
            Erro e = p.analisador.erro();
            e.linha += antes;
            return std::move(e).no_arquivo(caminho);
        }
        if (p.sis != 0) return erro_de_leitura(caminho, p.sis);
        antes += p.analisador.linhas();
    }
    return {};
}

}  // namespace
Erro le_registros(const std::string& caminho, DestinoRegistros& destino, Tarefas tarefas) {
    const bool entrada = caminho == "-";
    ArquivoAberto d;
    if (entrada) {
        if (Erro e = abre_entrada_padrao(d); !e.ok()) return std::move(e).no_arquivo(caminho);
    } else if (Erro e = abre_arquivo_regular(caminho.c_str(), d); !e.ok()) {
        return e;
    }

    AnalisadorRegistros a;
    const auto parou = [&] { return Erro(a.erro()).no_arquivo(caminho); };
    const auto bloco = std::make_unique_for_overwrite<char[]>(tamanho_bloco);
    std::array<unsigned char, 2> magica{};
    // Standard input, often a pipe, cannot be looked at before it is read: it goes through zlib,
    // which hands bytes that are not compressed over as they are.
    const bool gzip = entrada || (::pread(d.fd(), magica.data(), magica.size(), 0) == 2 &&
                                  magica[0] == 0x1F && magica[1] == 0x8B);
    if (gzip) {
        // Compressed records (rotated logs) are read through zlib, whatever their name.
        gzFile gz = ::gzdopen(d.fd(), "rb");
        if (gz == nullptr) return Erro::sistema({}, ENOMEM).no_arquivo(caminho);
        d.solta();
        ::gzbuffer(gz, 128 * 1024);
        int lidos = 0;
        while ((lidos = ::gzread(gz, bloco.get(), tamanho_bloco)) > 0)
            if (!a.consome({bloco.get(), static_cast<std::size_t>(lidos)}, destino)) {
                ::gzclose_r(gz);
                return parou();
            }
        // zlib's own words are English and name the descriptor: the system's error, or what
        // is wrong with the data, is said instead.
        const int sis = errno;
        int z = Z_OK;
        if (lidos < 0) ::gzerror(gz, &z);
        const int fecho = ::gzclose_r(gz);
        if (z == Z_ERRNO) return Erro::leitura(caminho, sis);
        if (lidos < 0 || fecho != Z_OK)
            return Erro::leitura(
                caminho, 0,
                lidos < 0 ? "arquivo compactado corrompido" : "arquivo compactado incompleto");
    } else {
        // A file that shrinks while mapped makes the next access fault: said as an error is,
        // rather than a death without a word.
        std::optional<VigiaMapeamentos> vigia;
        if (tarefas.janela != 0)
            vigia.emplace(std::string(program_invocation_short_name) + ": " +
                          descreve_erro(erro_de_leitura(caminho, encolheu)) + "\n");
        const Fonte f{d.fd(), d.tamanho(), tarefas.janela, vigia ? &*vigia : nullptr};
        if (tarefas.n > 1)
            if (const std::vector<std::uint64_t> c = cortes(d.fd(), d.tamanho(), tarefas);
                !c.empty()) {
                // The kind of file, from its first rows (which the first part reads again),
                // read a few thousand bytes at a time until they tell it.
                AnalisadorRegistros inicio;
                Descarte nada;
                int sis = 0;
                if (le_trecho(Fonte{d.fd()}, 0, std::min<std::uint64_t>(c[0], tamanho_bloco),
                              {bloco.get(), inicio_conferido}, inicio, nada, sis,
                              [&] { return !inicio.formato(); }) &&
                    inicio.formato())
                    if (auto p = destino.parte(); p != nullptr)
                        return le_em_partes(f, caminho, destino, std::move(p), c, inicio);
            }
        int sis = 0;
        if (!le_trecho(f, 0, UINT64_MAX, {bloco.get(), tamanho_bloco}, a, destino, sis,
                       [] { return true; }))
            return parou();
        if (sis != 0) return erro_de_leitura(caminho, sis);
    }
    if (!a.termina(destino)) return parou();
    return {};
}
