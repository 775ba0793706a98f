#include "faturas.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fmt/compile.h>
#include <fmt/format.h>
#include <glib.h>
#include <pango/pangocairo.h>
#include <qrencode.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "codigo850.h"
#include "conta.h"
#include "data.h"
#include "datahora.h"
#include "dinheiro.h"
#include "documento.h"
#include "tabela_pdf.h"
#include "tarifas.h"
#include "telefone.h"

namespace {

// A4 in points; Cairo's PDF user unit is the point.
constexpr double largura = 595.276;
constexpr double altura = 841.890;
constexpr double margem = 42.0;
constexpr double direita = largura - margem;
constexpr double base = altura - margem;

// The calls' table: one row every `passo` points, from `topo_1` on a bill's first page (below
// the customer, the amount, the chart and the Pix stub) and from `topo_n` on the pages that
// continue it.
constexpr double passo = 12.0;
constexpr double topo_1 = 336.0;
constexpr double topo_1_pix = 348.0;
constexpr double topo_n = 132.0;
constexpr double altura_totais = 24.0;
// The taxes in the price, below the totals: two lines at most.
constexpr double altura_tributos = 24.0;
// The issuer's lines in the heading, one under the other; each wraps within its width.
constexpr double linha_emissor = 10.0;
// The first page's two columns: the amount and the chart at the left, the Pix stub at the
// right.
constexpr double topo_colunas = 150.0;
constexpr double canhoto = 352.0;
constexpr double lado_qr = 100.0;
// The issuer's name and CNPJ leave room for the page number beside them.
constexpr double largura_nome_emissor = direita - margem - 80.0;

// The calls' columns: number called, start and, with a price list, destination and band (left
// edges); duration and charge (right edges). How wide a cell may be: a cell wider than its
// column is cut, so as not to run over the next.
struct Colunas {
    double numero, inicio, destino, faixa, duracao, valor;
    double ate_numero, ate_inicio, ate_destino, ate_faixa, ate_duracao, ate_valor;
};
constexpr double entre_colunas = 8.0;
constexpr Colunas colunas_simples{margem,
                                  margem + 130.0,
                                  0.0,
                                  0.0,
                                  margem + 350.0,
                                  direita,
                                  130.0 - entre_colunas,
                                  150.0,
                                  0.0,
                                  0.0,
                                  350.0 - 130.0 - 150.0 - entre_colunas,
                                  direita - margem - 350.0 - entre_colunas};
// The same number and start; the other columns narrower, for the destination and band.
constexpr Colunas colunas_tarifadas{margem,
                                    margem + 130.0,
                                    margem + 234.0,
                                    margem + 356.0,
                                    margem + 448.0,
                                    direita,
                                    130.0 - entre_colunas,
                                    104.0 - entre_colunas,
                                    122.0 - entre_colunas,
                                    50.0 - entre_colunas,
                                    50.0 - entre_colunas,
                                    direita - margem - 448.0 - entre_colunas};

struct LiberaCairo {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
struct LiberaPango {
    void operator()(PangoLayout* l) const { g_object_unref(l); }
    void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
struct LiberaQr {
    void operator()(QRcode* q) const { QRcode_free(q); }
};
using Fonte = std::unique_ptr<PangoFontDescription, LiberaPango>;

// One call as a bill's page shows it.
struct ChamadaDaFatura {
    std::string_view numero;  // the line called: "(85) 9 8877-4123"
    TDataHora inicio;
    std::int64_t segundos;
    double valor;       // for the chart
    std::string reais;  // as the bill adds it up, on paper: "3,06", "1.203,06"
    // Rated by a price list: its destination and band.
    std::string_view destino{};
    bool reduzido = false;
};

// What the pages of one bill show, whatever the bill is made from.
// The calls of one of the customer's lines, and their subtotals.
struct GrupoDaLinha {
    std::string linha;  // as shown, and with price plans its plan and fee
    std::size_t chamadas = 0;
    std::int64_t segundos = 0;
    Valor valor{};
    std::string franquia{};  // its plan's allowance and what its calls used; empty: none
};

// The calls to one destination of a price list, and their totals.
struct ResumoDestino {
    std::uint16_t destino;
    std::string_view nome;
    std::size_t chamadas = 0;
    std::int64_t segundos = 0;
    Valor valor{};
};

// A row of the calls' table: a call, the heading or the subtotal of a line's calls, the
// allowance of the one line, the heading or a row of the summary by destination, the fees.
struct LinhaDaTabela {
    enum class Tipo : std::uint8_t {
        chamada,
        grupo,
        subtotal,
        franquia,
        resumo,
        destino,
        mensalidades
    } tipo;
    std::size_t i;  // in DadosFatura::chamadas, DadosFatura::grupos or DadosFatura::destinos
    // A call's line in DadosFatura::grupos, when the calls are grouped
    std::optional<std::size_t> grupo{};
};

struct DadosFatura {
    std::string nome;  // UTF-8
    std::string endereco;
    std::string linha;  // the customer's line that called, or how many lines did
    std::int8_t mes;
    std::int16_t ano;
    std::vector<ChamadaDaFatura> chamadas;
    std::int64_t segundos_total;
    std::string reais_total;  // on paper: "2.411,34"
    TData vencimento;
    std::string payload;  // the Pix code; empty: none
    // A customer whose calls came from several lines: its calls line by line (in the order of
    // the lines), each with a heading and a subtotal.
    std::vector<GrupoDaLinha> grupos;
    std::vector<LinhaDaTabela> tabela;
    std::string mensalidades;  // the lines' monthly fees, on paper; empty: none
    // Rated by a price list: each call's destination and band, and the calls by destination.
    bool tarifada = false;
    std::vector<ResumoDestino> destinos;
    std::string franquia;  // the one line's allowance and what its calls used; empty: none
    TData emitida{};       // its issue date, which dates the document too
    std::string numero{};  // as issued from a book; empty: none
    // Nothing to pay: no due date, no code.
    [[nodiscard]] bool a_pagar() const { return reais_total != "0,00"; }
    // The total in centavos, as printed.
    [[nodiscard]] std::int64_t centavos() const {
        std::int64_t c = 0;
        for (const char d : reais_total)
            if (d >= '0' && d <= '9') c = c * 10 + (d - '0');
        return c;
    }
};

// A customer's text on one line of the page: a control character a hand-made register may hold
// (a line break, a tab) is shown as a blank rather than moving the text around.
std::string texto_de(std::string t) {
    std::replace_if(
        t.begin(), t.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }, ' ');
    return t;
}

// "novembro", as the calendar names it; empty outside 1..12.
std::string mes_por_extenso(std::int8_t mes) {
    return mes >= 1 && mes <= 12 ? texto_utf8(nm[mes]) : std::string();
}

// A duration as a customer reads it: "05:01", from an hour up "1:56:01".
std::string duracao(std::int64_t s) {
    if (s < 3600) return fmt::format(FMT_COMPILE("{:02}:{:02}"), s / 60, s % 60);
    return fmt::format(FMT_COMPILE("{}:{:02}:{:02}"), s / 3600, s / 60 % 60, s % 60);
}

// Seconds of an allowance: "100 min", "73 min 20 s".
std::string minutos_e_segundos(std::int64_t s) {
    if (s % 60 == 0) return fmt::format("{} min", s / 60);
    return fmt::format("{} min {} s", s / 60, s % 60);
}

// Calls per page of one bill: as many as fit, the last page also holding what ends the bill,
// `fim` points high; a page never leaves that alone without a call above it.
std::vector<std::int32_t> corte_em_paginas(std::int32_t chamadas, double primeiro_topo,
                                           double outros_topos, double fim) {
    std::vector<std::int32_t> paginas;
    std::int32_t resta = chamadas;
    for (double topo = primeiro_topo;; topo = outros_topos) {
        const auto cabem = static_cast<std::int32_t>((base - topo) / passo);
        const auto cabem_no_fim = static_cast<std::int32_t>((base - fim - topo) / passo);
        if (resta <= cabem_no_fim) {
            paginas.push_back(resta);
            return paginas;
        }
        const std::int32_t k = resta <= cabem ? resta - 1 : cabem;
        paginas.push_back(k);
        resta -= k;
    }
}

// The document's date in UTC; a second whose year has no four digits takes the nearest one that
// has, as Cairo would otherwise write the clock's.
std::string data_pdf(std::time_t instante) {
    std::tm tm{};
    if (gmtime_r(&instante, &tm) == nullptr || tm.tm_year > 9999 - 1900)
        return instante < 0 ? "0000-01-01T00:00:00Z" : "9999-12-31T23:59:59Z";
    if (tm.tm_year < -1900) return "0000-01-01T00:00:00Z";
    return fmt::format(FMT_COMPILE("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z"), tm.tm_year + 1900,
                       tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// A day as the document's date: its start in Brasília's time.
std::string data_pdf(TData d) {
    return fmt::format(FMT_COMPILE("{:04}-{:02}-{:02}T00:00:00-03:00"),
                       std::clamp<int>(d.ano, 0, 9999), d.mes, d.dia);
}

// Centavos on paper: "1.203,06".
std::string reais_de(std::int64_t centavos) {
    return no_papel(fmt::format(FMT_COMPILE("{},{:02}"), centavos / 100, centavos % 100));
}

// "18", "0,65": a rate in millionths as a percentage, without the zeros after its last figure.
std::string porcento(std::int64_t milionesimos) {
    std::string s =
        fmt::format(FMT_COMPILE("{},{:04}"), milionesimos / 10000, milionesimos % 10000);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == ',') s.pop_back();
    return s;
}

// "Tributos incluídos: ICMS R$ 434,04 (18%) · ... · total R$ 558,22": each tax on the bill's
// total, rounded half up to the centavo, and their sum; empty without taxes.
std::string tributos_incluidos(std::span<const Tributo> tributos, std::int64_t centavos) {
    if (tributos.empty()) return {};
    std::string s = "Tributos incluídos:";
    std::int64_t soma = 0;
    for (const Tributo& t : tributos) {
        const std::int64_t c = (centavos * t.milionesimos + 500000) / 1000000;
        soma += c;
        s += fmt::format(" {} R$ {} ({}%) ·", t.nome, reais_de(c), porcento(t.milionesimos));
    }
    return s + fmt::format(" total R$ {}", reais_de(soma));
}

// The bit of the pixel `i` (0 to 31) of a word of Cairo's one-bit images: the first pixel in the
// lowest bit on a little-endian machine, in the highest on a big-endian one.
constexpr std::uint32_t bit_a1(int i) {
    return std::endian::native == std::endian::little ? std::uint32_t{1} << i
                                                      : std::uint32_t{0x80000000U} >> i;
}

enum class Alinha : std::uint8_t { a_esquerda, a_direita };

// One document being drawn: the Cairo surface writing to the destination, and the fonts.
class Documento {
  public:
    Documento(cairo_write_func_t funcao, void* destino, const std::string& data)
        : superficie_(cairo_pdf_surface_create_for_stream(funcao, destino, largura, altura)),
          cr_(cairo_create(superficie_.get())),
          texto_(pango_cairo_create_layout(cr_.get())),
          normal_(pango_font_description_from_string("DejaVu Sans 9")),
          pequena_(pango_font_description_from_string("DejaVu Sans 7.5")),
          negrito_(pango_font_description_from_string("DejaVu Sans Bold 9")),
          titulo_(pango_font_description_from_string("DejaVu Sans Bold 15")),
          destaque_(pango_font_description_from_string("DejaVu Sans Bold 13")),
          mono_(pango_font_description_from_string("DejaVu Sans Mono 7")),
          emissor_(pango_font_description_from_string("DejaVu Sans 8")) {
        // Font sizes in points, as the page's own unit.
        PangoContext* contexto = pango_layout_get_context(texto_.get());
        pango_cairo_context_set_resolution(contexto, 72.0);
        // Widths as the outlines have them, not rounded to a screen's pixels: a text's width
        // then grows with its size, and a line made to fit the page does.
        const std::unique_ptr<cairo_font_options_t, LiberaCairo> opcoes(
            cairo_font_options_create());
        cairo_font_options_set_hint_metrics(opcoes.get(), CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(opcoes.get(), CAIRO_HINT_STYLE_NONE);
        pango_cairo_context_set_font_options(contexto, opcoes.get());
        pango_context_set_round_glyph_positions(contexto, FALSE);
        pango_layout_context_changed(texto_.get());
        // normal_ first: the calls' rows.
        for (const Fonte* f : {&normal_, &pequena_, &negrito_, &titulo_, &destaque_})
            textos_.push_back({f->get(), std::make_unique<TabelaPdf>(contexto, f->get()),
                               std::make_unique<TabelaPdf>(contexto, f->get(), true)});
        tabela_ = textos_.front().tabela.get();
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_CREATE_DATE,
                                       data.c_str());
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_MOD_DATE,
                                       data.c_str());
        titulo("Contas de telefonia celular");
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_CREATOR, "contacel");
    }

    void titulo(const std::string& t) {
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_TITLE, t.c_str());
    }

    void fatura(const DadosFatura& f, const OpcoesFaturas& op);

    Erro termina() {
        cairo_surface_finish(superficie_.get());
        cairo_status_t st = cairo_status(cr_.get());
        if (st == CAIRO_STATUS_SUCCESS) st = cairo_surface_status(superficie_.get());
        if (st == CAIRO_STATUS_SUCCESS && qr_ok_) return {};
        if (st == CAIRO_STATUS_WRITE_ERROR) return Erro::gravacao();
        return Erro::sistema("erro ao compor o PDF");
    }

  private:
    // `t` in `f` laid out, wrapped within `ate` points when given. Each text is laid out once
    // per bill in each font and width: the heading, the table's headings and the like come back
    // on every page.
    PangoLayout* disposto(std::string_view t, const PangoFontDescription* f, double ate = -1.0) {
        const char* familia = pango_font_description_get_family(f);
        std::string chave =
            fmt::format("{}\x1f{}\x1f{}\x1f{}\x1f{}\x1f{}", familia != nullptr ? familia : "",
                        pango_font_description_get_size(f),
                        static_cast<int>(pango_font_description_get_weight(f)),
                        static_cast<int>(pango_font_description_get_style(f)), ate, t);
        auto [l, novo] = dispostos_.try_emplace(std::move(chave));
        if (novo) {
            l->second.reset(pango_layout_new(pango_layout_get_context(texto_.get())));
            pango_layout_set_font_description(l->second.get(), f);
            pango_layout_set_text(l->second.get(), t.data(), static_cast<int>(t.size()));
            if (ate >= 0.0) {
                pango_layout_set_width(l->second.get(), static_cast<int>(ate * PANGO_SCALE));
                pango_layout_set_wrap(l->second.get(), PANGO_WRAP_WORD_CHAR);
            }
        }
        return l->second.get();
    }

    // The glyph runs of `f`'s texts; null for a font with none (one made smaller to fit).
    TabelaPdf* textos_de(const PangoFontDescription* f) {
        for (const TextosDaFonte& t : textos_)
            if (t.fonte == f || pango_font_description_equal(t.fonte, f) != 0)
                return em_corrida_ ? t.tabela.get() : t.agora.get();
        return nullptr;
    }

    // From `junta(true)` to `junta(false)`, the texts drawn at once in one font that follow
    // each other go to Cairo together, in the order they came: a heading's cells.
    void junta(bool sim) {
        juntando_ = sim;
        if (!sim) desenha_juntos();
    }
    void desenha_juntos() {
        if (juntos_ != nullptr) juntos_->desenha(cr_.get());
        juntos_ = nullptr;
    }

    // Draws the glyph runs kept, in black: the calls' rows last, over the rows between them.
    void desenha_textos() {
        cinza(0.0);
        for (std::size_t i = 1; i <= textos_.size(); ++i)
            textos_[i % textos_.size()].tabela->desenha(cr_.get());
    }

    // Width of `t` in `f`, in points.
    double mede(std::string_view t, const Fonte& f) {
        if (TabelaPdf* tb = textos_de(f.get())) return tb->largura_repetida(t);
        int w = 0;
        int h = 0;
        pango_layout_get_size(disposto(t, f.get()), &w, &h);
        return static_cast<double>(w) / PANGO_SCALE;
    }

    // `t` with its top at `y`, starting at `x` or ending there.
    void escreve(double x, double y, std::string_view t, const Fonte& f,
                 Alinha a = Alinha::a_esquerda) {
        if (TabelaPdf* tb = textos_de(f.get())) {
            if (tb != juntos_) desenha_juntos();
            tb->celula_repetida(cr_.get(), x, y, t, a == Alinha::a_direita);
            if (em_corrida_) return;
            if (juntando_)
                juntos_ = tb;
            else
                tb->desenha(cr_.get());
            return;
        }
        desenha_juntos();
        const double w = mede(t, f);
        cairo_move_to(cr_.get(), a == Alinha::a_direita ? x - w : x, y);
        pango_cairo_show_layout(cr_.get(), disposto(t, f.get()));
    }

    // `t` starting at `x`, or when wider than `ate` cut to it with an ellipsis, as a table's
    // cell is.
    void escreve_cortado(double x, double y, std::string_view t, const Fonte& f, double ate) {
        if (mede(t, f) <= ate) {
            escreve(x, y, t, f);
            return;
        }
        escreve(x, y, cortado(t, ate, [&](std::string_view r) { return mede(r, f); }), f);
    }

    // `f`, or `f` made smaller so that `t` is no wider than `ate`.
    Fonte cabe(std::string_view t, const Fonte& f, double ate) {
        Fonte menor(pango_font_description_copy(f.get()));
        if (const double w = mede(t, f); w > ate)
            pango_font_description_set_size(
                menor.get(), static_cast<int>(pango_font_description_get_size(f.get()) * ate / w));
        return menor;
    }

    // `t` wrapped within `ate` points, at words or, in a word longer than a line, anywhere;
    // drawn with its top at `y` unless `desenha` is false. The lines it takes.
    int paragrafo(double x, double y, std::string_view t, const Fonte& f, double ate,
                  bool desenha = true) {
        PangoLayout* l = disposto(t, f.get(), ate);
        if (desenha) {
            desenha_textos();
            cairo_move_to(cr_.get(), x, y);
            pango_cairo_show_layout(cr_.get(), l);
        }
        return pango_layout_get_line_count(l);
    }

    void regua(double y, double espessura = 0.6) {
        cairo_set_line_width(cr_.get(), espessura);
        cairo_move_to(cr_.get(), margem, y);
        cairo_line_to(cr_.get(), direita, y);
        cairo_stroke(cr_.get());
    }

    void cinza(double nivel) { cairo_set_source_rgb(cr_.get(), nivel, nivel, nivel); }

    // How much lower than its place everything below the heading goes, for an issuer whose
    // lines wrap.
    double altura_do_emissor(const OpcoesFaturas& op);
    void cabecalho(const DadosFatura& f, const OpcoesFaturas& op, std::size_t pagina,
                   std::size_t paginas);
    void grafico(const DadosFatura& f, double x1, double topo);
    void canhoto_pix(const DadosFatura& f, const std::string& recebedor);
    void qr(const std::string& payload, double x, double y, double lado);
    void linha_da_tabela(const DadosFatura& f, const LinhaDaTabela& l, double y);
    void outra_linha(const DadosFatura& f, const LinhaDaTabela& l, double y);
    void copia_e_cola(const std::string& payload, double y);

    std::unique_ptr<cairo_surface_t, LiberaCairo> superficie_;
    std::unique_ptr<cairo_t, LiberaCairo> cr_;
    std::unique_ptr<PangoLayout, LiberaPango> texto_;
    // The bill's free text as laid out, by font, width and text.
    std::unordered_map<std::string, std::unique_ptr<PangoLayout, LiberaPango>> dispostos_;
    Fonte normal_;
    Fonte pequena_;
    Fonte negrito_;
    Fonte titulo_;
    Fonte destaque_;
    Fonte mono_;
    Fonte emissor_;
    // The calls' rows, in normal_.
    TabelaPdf* tabela_ = nullptr;
    // False while the page's heading and the table's rows other than calls are drawn: those
    // are drawn at once, in their place, as pdftotext's layout follows the order of the lines
    // it meets to space them.
    bool em_corrida_ = true;
    bool juntando_ = false;
    TabelaPdf* juntos_ = nullptr;  // the font whose texts wait to be drawn together
    // The page's texts of one line in each of these fonts, drawn like the calls' rows: the
    // heading, the table's headings, the amounts, the chart's labels come back on every page or
    // every bill.
    struct TextosDaFonte {
        const PangoFontDescription* fonte;
        std::unique_ptr<TabelaPdf> tabela;
        std::unique_ptr<TabelaPdf> agora;  // for the texts drawn at once
    };
    std::vector<TextosDaFonte> textos_;
    bool qr_ok_ = true;
    double desce_ = 0.0;
};

// The issuer's lines of the heading: its name and CNPJ, beside the page number, and its address
// and customer service. Each wraps onto more lines rather than grow too small to read.
std::array<std::string, 2> linhas_do_emissor(const OpcoesFaturas& op) {
    if (!op.emissor) return {};
    const Emissor& em = *op.emissor;
    return {fmt::format("{} · CNPJ {}", em.nome, documento_formatado(em.cnpj)),
            fmt::format("{} · Atendimento: {}", em.endereco, em.telefone)};
}

double Documento::altura_do_emissor(const OpcoesFaturas& op) {
    const std::array<std::string, 2> l = linhas_do_emissor(op);
    if (l[0].empty()) return 0.0;
    const int linhas = paragrafo(0, 0, l[0], emissor_, largura_nome_emissor, false) +
                       paragrafo(0, 0, l[1], emissor_, direita - margem, false);
    return (linhas - 2) * linha_emissor;
}

void Documento::cabecalho(const DadosFatura& f, const OpcoesFaturas& op, std::size_t pagina,
                          std::size_t paginas) {
    std::string mes = fmt::format("{} de {}", mes_por_extenso(f.mes), f.ano);
    mes[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(mes[0])));
    junta(true);
    escreve(direita, 36.0, mes, titulo_, Alinha::a_direita);
    const std::string titulo = op.titulo.empty() ? "CONTA DE TELEFONIA CELULAR" : op.titulo;
    escreve(margem, 36.0, titulo,
            cabe(titulo, titulo_, direita - margem - mede(mes, titulo_) - 12));
    if (paginas > 1)
        escreve(direita, 58.0, fmt::format("página {} de {}", pagina, paginas), pequena_,
                Alinha::a_direita);
    junta(false);
    if (const std::array<std::string, 2> l = linhas_do_emissor(op); !l[0].empty()) {
        const int n = paragrafo(margem, 58.0, l[0], emissor_, largura_nome_emissor);
        paragrafo(margem, 58.0 + n * linha_emissor, l[1], emissor_, direita - margem);
    }
    regua(82.0 + desce_, 1.2);
    const std::string cliente = "Cliente: " + f.nome;
    escreve(margem, 90.0 + desce_, cliente, cabe(cliente, normal_, direita - margem));
}

void Documento::grafico(const DadosFatura& f, double x1, double topo) {
    const std::int32_t dias = dias_no_mes(f.mes, f.ano);
    if (dias == 0) return;
    // Each day's charge, added in the order of the calls as the bill adds them.
    std::array<double, 32> por_dia{};
    for (const ChamadaDaFatura& c : f.chamadas)
        if (c.inicio.dat.dia >= 1 && c.inicio.dat.dia <= dias)
            por_dia[static_cast<std::size_t>(c.inicio.dat.dia)] += c.valor;
    // The value axis in steps of 1, 2 or 5 times a power of ten centavos, at most four of them
    // up to the dearest day.
    const double maior = *std::max_element(por_dia.begin(), por_dia.end());
    std::int64_t degrau = 1;
    for (int i = 0; maior * 100.0 > static_cast<double>(4 * degrau) + 1e-6; ++i)
        degrau = i % 3 == 1 ? degrau * 5 / 2 : degrau * 2;
    const auto degraus = std::max<std::int64_t>(
        1,
        static_cast<std::int64_t>(std::ceil(maior * 100.0 / static_cast<double>(degrau) - 1e-6)));
    const double teto = static_cast<double>(degraus * degrau) / 100.0;

    escreve(margem, topo, "Valor por dia (R$)", negrito_);
    const double esquerda = margem + 30.0;
    const double alto = topo + 24.0;
    const double chao = topo + 86.0;
    const double faixa = (x1 - esquerda) / dias;
    cairo_t* cr = cr_.get();
    cairo_set_line_width(cr, 0.4);
    for (std::int64_t k = 0; k <= degraus; ++k) {
        const double y =
            chao - (chao - alto) * static_cast<double>(k) / static_cast<double>(degraus);
        cinza(0.8);
        cairo_move_to(cr, esquerda, y);
        cairo_line_to(cr, x1, y);
        cairo_stroke(cr);
        cinza(0.0);
        escreve(esquerda - 4.0, y - 5.0,
                no_papel(dinheiro(static_cast<double>(k * degrau) / 100.0, ',')), pequena_,
                Alinha::a_direita);
    }
    cairo_set_source_rgb(cr, 0.16, 0.35, 0.60);
    for (std::int32_t d = 1; d <= dias; ++d) {
        const double v = por_dia[static_cast<std::size_t>(d)];
        if (v <= 0.0) continue;
        const double h = (chao - alto) * v / teto;
        cairo_rectangle(cr, esquerda + faixa * (d - 1) + faixa * 0.15, chao - h, faixa * 0.7, h);
    }
    cairo_fill(cr);
    cinza(0.0);
    cairo_set_line_width(cr, 0.6);
    cairo_move_to(cr, esquerda, alto - 4.0);
    cairo_line_to(cr, esquerda, chao);
    cairo_line_to(cr, x1, chao);
    cairo_stroke(cr);
    // The first day, every fifth and the last, but no fifth that would touch the last.
    for (std::int32_t d = 1; d <= dias; ++d) {
        if (d != 1 && d != dias && (d % 5 != 0 || dias - d < 3)) continue;
        const std::string rotulo = std::to_string(d);
        escreve(esquerda + faixa * (d - 0.5) - mede(rotulo, pequena_) / 2, chao + 2.0, rotulo,
                pequena_);
    }
}

void Documento::qr(const std::string& payload, double x0, double y0, double lado) {
    const std::unique_ptr<QRcode, LiberaQr> q(
        QRcode_encodeString(payload.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1));
    if (!q) {
        qr_ok_ = false;
        return;
    }
    // The code with its quiet zone of four modules, white on the white page: the dark modules
    // as a one-bit mask, one pixel a module, scaled up without smoothing, so that the document
    // holds one small image instead of a path of every run of modules.
    const int n = q->width;
    const double modulo = lado / (n + 8);
    const std::unique_ptr<cairo_surface_t, LiberaCairo> mascara(
        cairo_image_surface_create(CAIRO_FORMAT_A1, n, n));
    cairo_surface_flush(mascara.get());
    unsigned char* pixels = cairo_image_surface_get_data(mascara.get());
    const int passo_linha = cairo_image_surface_get_stride(mascara.get());
    if (pixels == nullptr) {
        qr_ok_ = false;
        return;
    }
    // A1 keeps 32 pixels a word in the machine's order, the first pixel in the lowest bit of a
    // little-endian word.
    for (int y = 0; y < n; ++y) {
        auto* linha = reinterpret_cast<std::uint32_t*>(pixels + y * passo_linha);
        for (int x = 0; x < n; ++x)
            if ((q->data[y * n + x] & 1) != 0) linha[x / 32] |= bit_a1(x % 32);
    }
    cairo_surface_mark_dirty(mascara.get());
    cairo_t* cr = cr_.get();
    cairo_save(cr);
    cairo_translate(cr, x0 + 4 * modulo, y0 + 4 * modulo);
    cairo_scale(cr, modulo, modulo);
    cairo_pattern_t* p = cairo_pattern_create_for_surface(mascara.get());
    cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
    cairo_mask(cr, p);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

// The stub a customer pays with: the code, and the amount, due date and payee beside it.
void Documento::canhoto_pix(const DadosFatura& f, const std::string& recebedor) {
    const double y = topo_colunas + desce_ + 6.0;
    cairo_t* cr = cr_.get();
    const std::array<double, 2> tracos{3.0, 2.0};
    cairo_set_dash(cr, tracos.data(), static_cast<int>(tracos.size()), 0.0);
    cairo_set_line_width(cr, 0.5);
    cairo_rectangle(cr, canhoto, y - 6.0, direita - canhoto, 146.0);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
    const double x = canhoto + 8.0;
    escreve(x, y, "Pague com Pix", negrito_);
    qr(f.payload, x - 6.0, y + 12.0, lado_qr);
    const double xd = x + lado_qr;
    escreve(xd, y + 22.0, "Valor", pequena_);
    escreve(xd, y + 32.0, "R$ " + f.reais_total, negrito_);
    escreve(xd, y + 52.0, "Vencimento", pequena_);
    escreve(xd, y + 62.0, fmt::format("{}", f.vencimento), negrito_);
    const std::string quem = "Recebedor: " + recebedor;
    escreve(x, y + 114.0, quem, cabe(quem, pequena_, direita - x - 4.0));
    escreve(x, y + 124.0, "Aponte a câmera do aplicativo do banco", pequena_);
}

// The code as one line of text, as wide as the page allows: a copy gives back the whole code,
// with nothing in the middle of it.
void Documento::copia_e_cola(const std::string& payload, double y) {
    escreve(margem, y, "Pix copia e cola (copie a linha inteira):", pequena_);
    escreve(margem, y + 10.0, payload, cabe(payload, mono_, direita - margem));
}

// One row of the calls' table with its top at `y`.
void Documento::linha_da_tabela(const DadosFatura& f, const LinhaDaTabela& l, double y) {
    const Colunas& col = f.tarifada ? colunas_tarifadas : colunas_simples;
    cairo_t* cr = cr_.get();
    switch (l.tipo) {
        case LinhaDaTabela::Tipo::chamada: {
            const ChamadaDaFatura& c = f.chamadas[l.i];
            tabela_->celula(cr, col.numero, y, c.numero, false, col.ate_numero);
            tabela_->celula(cr, col.inicio, y, fmt::format("{}", c.inicio), false, col.ate_inicio);
            if (f.tarifada) {
                tabela_->celula_repetida(cr, col.destino, y, c.destino, false, col.ate_destino);
                tabela_->celula(cr, col.faixa, y, c.reduzido ? "reduzido" : "normal", false,
                                col.ate_faixa);
            }
            tabela_->celula(cr, col.duracao, y, duracao(c.segundos), true, col.ate_duracao);
            tabela_->celula(cr, col.valor, y, c.reais, true, col.ate_valor);
            return;
        }
        default:
            em_corrida_ = false;
            outra_linha(f, l, y);
            em_corrida_ = true;
    }
}

// A row of the calls' table other than a call.
void Documento::outra_linha(const DadosFatura& f, const LinhaDaTabela& l, double y) {
    const Colunas& col = f.tarifada ? colunas_tarifadas : colunas_simples;
    cairo_t* cr = cr_.get();
    switch (l.tipo) {
        case LinhaDaTabela::Tipo::mensalidades:
            escreve(col.numero, y, "Mensalidades das linhas", normal_);
            escreve(col.valor, y, f.mensalidades, normal_, Alinha::a_direita);
            return;
        case LinhaDaTabela::Tipo::franquia:
            escreve_cortado(col.numero, y, f.franquia, pequena_, direita - margem);
            return;
        case LinhaDaTabela::Tipo::resumo:
            escreve(col.numero, y, "Chamadas por destino", negrito_);
            return;
        case LinhaDaTabela::Tipo::destino: {
            const ResumoDestino& d = f.destinos[l.i];
            tabela_->celula_repetida(cr, col.numero, y, d.nome, false, col.ate_numero);
            tabela_->celula(cr, col.inicio, y,
                            fmt::format("{} chamada{}", d.chamadas, d.chamadas == 1 ? "" : "s"),
                            false, col.ate_inicio);
            tabela_->celula(cr, col.duracao, y, duracao(d.segundos), true, col.ate_duracao);
            tabela_->celula(cr, col.valor, y, no_papel(dinheiro(d.valor, ',')), true,
                            col.ate_valor);
            return;
        }
        case LinhaDaTabela::Tipo::grupo:
            escreve_cortado(col.numero, y, "Linha " + f.grupos[l.i].linha, negrito_,
                            direita - margem);
            return;
        case LinhaDaTabela::Tipo::chamada:
        case LinhaDaTabela::Tipo::subtotal:
            break;
    }
    const GrupoDaLinha& g = f.grupos[l.i];
    std::string subtotal = g.chamadas == 0 ? std::string("Nenhuma chamada no mês")
                                           : fmt::format("Subtotal da linha: {} chamada{}",
                                                         g.chamadas, g.chamadas == 1 ? "" : "s");
    if (!g.franquia.empty()) subtotal += " · " + g.franquia;
    escreve_cortado(col.numero, y, subtotal, pequena_, col.duracao - 48.0 - col.numero);
    if (g.chamadas == 0) return;
    escreve(col.duracao, y, duracao(g.segundos), pequena_, Alinha::a_direita);
    escreve(col.valor, y, no_papel(dinheiro(g.valor, ',')), pequena_, Alinha::a_direita);
}

void Documento::fatura(const DadosFatura& f, const OpcoesFaturas& op) {
    dispostos_.clear();
    const bool com_pix = !f.payload.empty();
    const Colunas& col = f.tarifada ? colunas_tarifadas : colunas_simples;
    desce_ = altura_do_emissor(op);
    const double primeiro_topo = (com_pix ? topo_1_pix : topo_1) + desce_;
    const std::string tributos = op.emissor && f.a_pagar()
                                     ? tributos_incluidos(op.emissor->tributos, f.centavos())
                                     : std::string();
    const std::vector<std::int32_t> paginas =
        corte_em_paginas(static_cast<std::int32_t>(f.tabela.size()), primeiro_topo, topo_n + desce_,
                         altura_totais + (tributos.empty() ? 0 : altura_tributos));

    std::size_t k = 0;
    for (std::size_t p = 0; p < paginas.size(); ++p) {
        em_corrida_ = false;
        cabecalho(f, op, p + 1, paginas.size());
        double y = topo_n + desce_;
        // The first page's texts too, each at once in its place: kept for the page's run, they
        // would read back in another order.
        if (p == 0) {
            const double d = desce_;
            const std::string endereco = "Endereço: " + f.endereco;
            escreve(margem, 104.0 + d, endereco, cabe(endereco, normal_, direita - margem));
            const std::string numero = f.numero.empty() ? "" : "Fatura nº " + f.numero;
            if (!numero.empty()) escreve(direita, 118.0 + d, numero, negrito_, Alinha::a_direita);
            if (!f.linha.empty()) {
                const std::string linha = (f.grupos.empty() ? "Linha: " : "Linhas: ") + f.linha;
                if (numero.empty())
                    escreve(margem, 118.0 + d, linha, normal_);
                else
                    escreve(margem, 118.0 + d, linha,
                            cabe(linha, normal_, direita - margem - mede(numero, negrito_) - 12.0));
            }
            const TData ultimo{static_cast<std::int8_t>(dias_no_mes(f.mes, f.ano)), f.mes, f.ano};
            escreve(margem, 132.0 + d,
                    fmt::format("Período: {} a {}", TData{1, f.mes, f.ano}, ultimo), normal_);
            escreve(direita, 132.0 + d, fmt::format("Emissão: {}", f.emitida), normal_,
                    Alinha::a_direita);
            const double coluna = com_pix ? canhoto - 12.0 : direita;
            const double topo = topo_colunas + d;
            cinza(0.92);
            cairo_rectangle(cr_.get(), margem, topo, coluna - margem, 48.0);
            cairo_fill(cr_.get());
            cinza(0.0);
            if (f.a_pagar()) {
                escreve(margem + 8.0, topo + 6.0, "Valor a pagar: R$ " + f.reais_total, destaque_);
                escreve(margem + 8.0, topo + 26.0, fmt::format("Vencimento: {}", f.vencimento),
                        destaque_);
            } else {
                escreve(margem + 8.0, topo + 16.0, "Nada a pagar", destaque_);
            }
            grafico(f, coluna, topo + 58.0);
            if (com_pix) {
                canhoto_pix(f, op.recebedor.empty() ? recebedor_escrito(*op.pix) : op.recebedor);
                copia_e_cola(f.payload, topo + 156.0);
            }
            y = primeiro_topo;
        }
        junta(true);
        // A page that goes on with a line's calls says whose they are.
        if (p > 0 && k < f.tabela.size()) {
            const LinhaDaTabela& l = f.tabela[k];
            if (l.tipo == LinhaDaTabela::Tipo::subtotal || l.grupo)
                escreve_cortado(
                    col.numero, y - 30.0,
                    fmt::format("Linha {} (continuação)", f.grupos[l.grupo.value_or(l.i)].linha),
                    negrito_, direita - margem);
        }
        escreve(col.numero, y - 16.0, "Número chamado", negrito_);
        escreve(col.inicio, y - 16.0, "Início", negrito_);
        if (f.tarifada) {
            escreve(col.destino, y - 16.0, "Destino", negrito_);
            escreve(col.faixa, y - 16.0, "Faixa", negrito_);
        }
        escreve(col.duracao, y - 16.0, "Duração", negrito_, Alinha::a_direita);
        escreve(col.valor, y - 16.0, "Valor (R$)", negrito_, Alinha::a_direita);
        junta(false);
        regua(y - 3.0);
        em_corrida_ = true;
        desenha_textos();
        for (std::int32_t r = 0; r < paginas[p]; ++r, ++k, y += passo)
            linha_da_tabela(f, f.tabela[k], y);
        desenha_textos();
        if (p + 1 == paginas.size()) {
            regua(y + 2.0);
            escreve(col.numero, y + 6.0,
                    fmt::format("Total: {} chamada{}", f.chamadas.size(),
                                f.chamadas.size() == 1 ? "" : "s"),
                    negrito_);
            escreve(col.duracao, y + 6.0, duracao(f.segundos_total), negrito_, Alinha::a_direita);
            escreve(col.valor, y + 6.0, f.reais_total, negrito_, Alinha::a_direita);
            if (!tributos.empty())
                paragrafo(margem, y + altura_totais, tributos, pequena_, direita - margem);
        } else {
            escreve(direita, y + 4.0, "continua na próxima página", pequena_, Alinha::a_direita);
        }
        desenha_textos();
        cairo_show_page(cr_.get());
    }
}

// The bill's calls into its table: as they come for a customer with one line (or none known),
// else line by line, in the order of the lines as shown, each line's calls by start under its
// heading and above its subtotal. With price plans, each of the customer's lines is named with
// its plan, fee and allowance, also one that made no call.
void tabela_por_linha(const Contas& c, std::uint32_t cod_cli,
                      std::span<const ChamadaCobrada> chamadas, DadosFatura& f) {
    std::vector<std::size_t> ordem(chamadas.size());
    for (std::size_t i = 0; i < ordem.size(); ++i)
        ordem[i] = i;
    const auto linha = [&](std::size_t i) { return c.textos[chamadas[i].linha]; };
    std::ranges::stable_sort(ordem, {}, linha);
    const bool planos = c.tarifa != nullptr && c.tarifa->lista();
    const auto plano_de = [&](std::uint16_t p) {
        return planos && p < c.tarifa->planos.size() ? &c.tarifa->planos[p] : nullptr;
    };
    // Each line: its calls, ordem[de, ate), its plan and whether it is one of the customer's
    // lines, which pays the plan's fee.
    struct Grupo {
        std::string_view texto;
        std::size_t de, ate;
        std::uint16_t plano;
        bool paga = true;
    };
    // A line as shown with its price plan's name and fee.
    const auto com_plano = [&](std::string t, const Grupo& g) {
        const Plano* p = plano_de(g.plano);
        if (p == nullptr) return t;
        if (!g.paga) return fmt::format("{} · plano {}", t, p->nome);
        return fmt::format("{} · plano {}, mensalidade R$ {}", t, p->nome,
                           reais_de(p->mensalidade));
    };
    std::vector<Grupo> grupos;
    for (std::size_t k = 0; k < ordem.size(); ++k) {
        if (k == 0 || linha(ordem[k]) != linha(ordem[k - 1]))
            grupos.push_back({linha(ordem[k]), k, k, chamadas[ordem[k]].plano});
        grupos.back().ate = k + 1;
    }
    if (planos && !c.linhas.empty()) {
        for (Grupo& g : grupos)
            g.paga = false;
        const std::size_t com_chamadas = grupos.size();
        auto l = std::lower_bound(
            c.linhas.begin(), c.linhas.end(), cod_cli,
            [](const LinhaComPlano& x, std::uint32_t cod) { return x.cod_cli < cod; });
        for (; l != c.linhas.end() && l->cod_cli == cod_cli; ++l) {
            const Telefone t(c.textos[l->linha]);
            std::size_t g = 0;
            while (g < com_chamadas &&
                   (grupos[g].texto.empty() || Telefone(grupos[g].texto).chave() != t.chave()))
                ++g;
            if (g == com_chamadas)
                grupos.push_back({c.textos[l->linha], 0, 0, l->plano});
            else
                grupos[g].paga = true;
        }
        std::ranges::stable_sort(grupos, {}, &Grupo::texto);
    }
    // The plan's allowance and what the line's calls used of it.
    const auto franquia = [&](const Grupo& g) {
        const Plano* p = plano_de(g.plano);
        if (p == nullptr || p->franquia == 0) return std::string();
        std::int64_t usados = 0;
        for (std::size_t k = g.de; k < g.ate; ++k)
            usados += chamadas[ordem[k]].franquia;
        return fmt::format("Franquia: {}, usados {}", minutos_e_segundos(p->franquia),
                           minutos_e_segundos(usados));
    };
    if (grupos.size() <= 1) {
        if (!grupos.empty() && !grupos[0].texto.empty())
            f.linha = com_plano(std::string(grupos[0].texto), grupos[0]);
        for (std::size_t i = 0; i < ordem.size(); ++i)
            f.tabela.push_back({LinhaDaTabela::Tipo::chamada, i});
        if (!grupos.empty()) f.franquia = franquia(grupos[0]);
        if (!f.franquia.empty()) f.tabela.push_back({LinhaDaTabela::Tipo::franquia, 0});
        return;
    }
    for (const Grupo& g : grupos) {
        const std::size_t n = f.grupos.size();
        f.grupos.push_back(
            {com_plano(g.texto.empty() ? "não identificada" : std::string(g.texto), g), 0, 0,
             Valor{c.exatas, 0, 0.0F}, franquia(g)});
        f.tabela.push_back({LinhaDaTabela::Tipo::grupo, n});
        for (std::size_t k = g.de; k < g.ate; ++k) {
            const std::size_t i = ordem[k];
            ++f.grupos[n].chamadas;
            f.grupos[n].segundos += chamadas[i].segundos;
            f.grupos[n].valor += c.valor(chamadas[i]);
            f.tabela.push_back({LinhaDaTabela::Tipo::chamada, i, n});
        }
        f.tabela.push_back({LinhaDaTabela::Tipo::subtotal, n});
    }
    f.linha = fmt::format("{}, com as chamadas de cada uma abaixo", f.grupos.size());
}

// The calls of a bill rated by a price list, by destination in the list's order.
void resumo_por_destino(const Contas& c, std::span<const ChamadaCobrada> chamadas, DadosFatura& f) {
    for (const ChamadaCobrada& cha : chamadas) {
        auto d = std::ranges::find(f.destinos, cha.destino_tarifa, &ResumoDestino::destino);
        if (d == f.destinos.end())
            d = f.destinos.insert(f.destinos.end(),
                                  {cha.destino_tarifa, c.tarifa->destinos[cha.destino_tarifa].nome,
                                   0, 0, Valor{c.exatas, 0, 0.0F}});
        ++d->chamadas;
        d->segundos += cha.segundos;
        d->valor += c.valor(cha);
    }
    std::ranges::sort(f.destinos, {}, &ResumoDestino::destino);
    if (!f.destinos.empty()) f.tabela.push_back({LinhaDaTabela::Tipo::resumo, 0});
    for (std::size_t k = 0; k < f.destinos.size(); ++k)
        f.tabela.push_back({LinhaDaTabela::Tipo::destino, k});
}

// One bill as its pages show it.
DadosFatura dados_da_conta(const Contas& c, const ContaMensal& conta, const OpcoesFaturas& op) {
    const Cliente& cli = cliente_da_conta(c.clientes.get(), conta.cod_cli);
    const std::span<const ChamadaCobrada> chamadas = c.chamadas_de(conta);
    std::string nome = texto_de(cli.nome);
    if (c.do_livro) {
        nome = fmt::format("{} · {}", conta.cod_cli, nome);
        if (!cli.documento.empty())
            nome += fmt::format(" · {} {}", cli.documento.size() == 11 ? "CPF" : "CNPJ",
                                documento_formatado(cli.documento));
    }
    // The address as the book has it: the street, the city and state, the postcode.
    std::string endereco = cli.endereco;
    const std::string local =
        cli.cidade.empty() || cli.uf.empty() ? cli.cidade + cli.uf : cli.cidade + " - " + cli.uf;
    if (!local.empty()) endereco += (endereco.empty() ? "" : ", ") + local;
    if (cli.cep.size() == 8)
        endereco += fmt::format(", CEP {}-{}", cli.cep.substr(0, 5), cli.cep.substr(5));
    DadosFatura f{nome,
                  texto_de(endereco),
                  {},
                  conta.mes,
                  conta.ano,
                  {},
                  conta.tempo_total,
                  no_papel(dinheiro(conta.valor_total, ',')),
                  vencimento_da_conta(conta),
                  {},
                  {},
                  {},
                  {},
                  false,
                  {},
                  {},
                  emissao_da_conta(conta),
                  {}};
    f.tarifada = c.tarifa != nullptr && c.tarifa->lista();
    // A bill issued from a book shows its number, and again the dates it was issued with.
    if (const auto it = c.emitidas.find(chave_conta(conta)); it != c.emitidas.end()) {
        f.numero = it->second.numero;
        f.emitida = it->second.emitida_em;
        f.vencimento = it->second.vencimento;
    }
    f.chamadas.reserve(chamadas.size());
    for (const ChamadaCobrada& cha : chamadas) {
        const Valor v = c.valor(cha);
        f.chamadas.push_back({c.textos[cha.numero], cha.inicio, cha.segundos, v.em_reais(),
                              no_papel(dinheiro(v, ','))});
        if (f.tarifada) {
            f.chamadas.back().destino = c.tarifa->destinos[cha.destino_tarifa].nome;
            f.chamadas.back().reduzido = cha.reduzido;
        }
    }
    tabela_por_linha(c, conta.cod_cli, chamadas, f);
    if (f.tarifada) resumo_por_destino(c, chamadas, f);
    if (conta.mensalidades > 0) {
        f.mensalidades = reais_de(conta.mensalidades);
        f.tabela.push_back({LinhaDaTabela::Tipo::mensalidades, 0});
    }
    if (op.pix && f.a_pagar()) f.payload = payload_da_conta(*op.pix, conta);
    return f;
}

cairo_status_t escreve_pedaco(void* destino, const unsigned char* dados, unsigned int n) {
    try {
        const auto& d = *static_cast<const DestinoPdf*>(destino);
        return d(std::as_bytes(std::span(dados, n))) ? CAIRO_STATUS_SUCCESS
                                                     : CAIRO_STATUS_WRITE_ERROR;
    } catch (...) {
        return CAIRO_STATUS_WRITE_ERROR;
    }
}

}  // namespace

std::string sha256_hex(std::span<const std::byte> bytes) {
    gchar* h = g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string s(h);
    g_free(h);
    return s;
}

Erro escreve_faturas(const Contas& c, const OpcoesFaturas& op, const DestinoPdf& destino) {
    // Dated as its first bill is issued: never after any of its bills is due.
    std::optional<TData> primeira;
    for (const ContaMensal& conta : c.contas)
        if (const TData d = emissao_da_conta(conta);
            !primeira || std::tie(d.ano, d.mes) < std::tie(primeira->ano, primeira->mes))
            primeira = d;
    Documento doc(escreve_pedaco, const_cast<DestinoPdf*>(&destino),
                  primeira ? data_pdf(*primeira) : data_pdf(op.instante));
    for (const ContaMensal& conta : c.contas)
        doc.fatura(dados_da_conta(c, conta, op), op);
    return doc.termina();
}

Erro escreve_cada_fatura(const Contas& c, const OpcoesFaturas& op, const DestinoFatura& destino) {
    Erro erro;
    std::vector<std::byte> pdf;
    const DestinoPdf acumula = [&pdf](std::span<const std::byte> pedaco) {
        pdf.insert(pdf.end(), pedaco.begin(), pedaco.end());
        return true;
    };
    for (const ContaMensal& conta : c.contas) {
        if (!erro.ok()) break;
        pdf.clear();
        const DadosFatura f = dados_da_conta(c, conta, op);
        Documento doc(escreve_pedaco, const_cast<DestinoPdf*>(&acumula), data_pdf(f.emitida));
        doc.titulo(fmt::format("Conta de {} - {} de {}", f.nome, mes_por_extenso(f.mes), f.ano));
        doc.fatura(f, op);
        erro = doc.termina();
        if (erro.ok() && !destino(nome_arquivo_fatura(conta.cod_cli, conta.ano, conta.mes), pdf))
            erro = Erro::gravacao();
    }
    return erro;
}
