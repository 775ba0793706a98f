#include "tabela_pdf.h"

namespace {

// The one glyph `layout` lays `c` out as, in its place; none when it takes more or is missing
// from every font.
const PangoGlyphItem* corrida_de(PangoLayout* layout, char c) {
    pango_layout_set_text(layout, &c, 1);
    PangoLayoutLine* linha = pango_layout_get_line_readonly(layout, 0);
    if (linha == nullptr || linha->runs == nullptr || linha->runs->next != nullptr) return nullptr;
    const auto* corrida = static_cast<const PangoGlyphItem*>(linha->runs->data);
    const PangoGlyphInfo& g = corrida->glyphs->glyphs[0];
    if (corrida->glyphs->num_glyphs != 1 || (g.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0 ||
        g.geometry.x_offset != 0 || g.geometry.y_offset != 0)
        return nullptr;
    return corrida;
}

}  // namespace

TabelaPdf::TabelaPdf(PangoContext* contexto, const PangoFontDescription* fonte, bool em_ordem)
    : layout_(pango_layout_new(contexto)),
      em_ordem_(em_ordem),
      pares_(caracteres * caracteres, par_por_ver) {
    pango_layout_set_font_description(layout_, fonte);
    // The table's font is the one the digits take; a character another font draws goes
    // through Pango.
    const PangoGlyphItem* zero = corrida_de(layout_, '0');
    if (zero == nullptr) return;
    PangoFont* da_tabela = zero->item->analysis.font;
    da_tabela_ = da_tabela;
    fonte_ =
        cairo_scaled_font_reference(pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(da_tabela)));
    linha_base_ = static_cast<double>(pango_layout_get_baseline(layout_)) / PANGO_SCALE;
}

TabelaPdf::~TabelaPdf() {
    if (fonte_ != nullptr) cairo_scaled_font_destroy(fonte_);
    g_object_unref(layout_);
}

const TabelaPdf::Glifo* TabelaPdf::glifo_novo(Glifo& g, char c) {
    g.visto = true;
    if (da_tabela_ == nullptr) return nullptr;
    const PangoGlyphItem* corrida = corrida_de(layout_, c);
    if (corrida != nullptr && corrida->item->analysis.font == da_tabela_) {
        g.indice = corrida->glyphs->glyphs[0].glyph;
        g.avanco = corrida->glyphs->glyphs[0].geometry.width;
        g.pronto = true;
    }
    return g.pronto ? &g : nullptr;
}

int TabelaPdf::par_novo(char a, char b) {
    int& k = pares_[static_cast<std::size_t>(a - primeiro) * caracteres +
                    static_cast<std::size_t>(b - primeiro)];
    k = par_so_pango;
    const Glifo& ga = *glifo(a);
    const Glifo& gb = *glifo(b);
    const std::array<char, 2> t{a, b};
    pango_layout_set_text(layout_, t.data(), 2);
    PangoLayoutLine* linha = pango_layout_get_line_readonly(layout_, 0);
    if (linha == nullptr || linha->runs == nullptr || linha->runs->next != nullptr) return k;
    const PangoGlyphString* g = static_cast<const PangoGlyphItem*>(linha->runs->data)->glyphs;
    if (g->num_glyphs != 2 || g->glyphs[0].glyph != ga.indice || g->glyphs[1].glyph != gb.indice ||
        g->glyphs[1].geometry.x_offset != 0 || g->glyphs[1].geometry.y_offset != 0 ||
        g->glyphs[1].geometry.width != gb.avanco)
        return k;
    k = g->glyphs[0].geometry.width - ga.avanco;
    return k;
}

bool TabelaPdf::pronto(std::string_view t, int& largura) {
    largura = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Glifo* g = glifo(t[i]);
        if (g == nullptr) return false;
        largura += g->avanco;
        if (i == 0) continue;
        const int k = par(t[i - 1], t[i]);
        if (k == par_so_pango) return false;
        largura += k;
    }
    return true;
}

double TabelaPdf::largura_pango(std::string_view t) {
    pango_layout_set_text(layout_, t.data(), static_cast<int>(t.size()));
    int w = 0;
    int h = 0;
    pango_layout_get_size(layout_, &w, &h);
    return static_cast<double>(w) / PANGO_SCALE;
}

double TabelaPdf::largura(std::string_view t) {
    int w = 0;
    if (!pronto(t, w)) return largura_pango(t);
    return static_cast<double>(w) / PANGO_SCALE;
}

double TabelaPdf::largura_repetida(std::string_view t) {
    int w = 0;
    if (!pronto(t, w)) return corrida(t).largura;
    return static_cast<double>(w) / PANGO_SCALE;
}

std::string cortado(std::string_view t, double ate,
                    const std::function<double(std::string_view)>& largura) {
    static constexpr std::string_view reticencias = "\u2026";
    std::string r;
    for (std::size_t n = t.size(); n > 0; --n) {
        // Only at a character's first byte, and never leaving a space before the ellipsis.
        if (n < t.size() && (static_cast<unsigned char>(t[n]) & 0xc0U) == 0x80U) continue;
        if (t[n - 1] == ' ') continue;
        r.assign(t.substr(0, n)).append(reticencias);
        if (largura(r) <= ate) return r;
    }
    return std::string(reticencias);
}

void TabelaPdf::celula(cairo_t* cr, double x, double y, std::string_view t, bool a_direita,
                       double ate) {
    // The glyphs kept at once, from 0 in Pango units, added up as Pango adds them; then placed,
    // or taken back for a text Pango draws.
    const std::size_t antes = glifos_da_pagina_.size();
    const double linha = y + linha_base_;
    int caneta = 0;
    bool de_glifos = true;
    for (std::size_t i = 0; i < t.size() && de_glifos; ++i) {
        const Glifo* g = glifo(t[i]);
        const int k = g == nullptr || i == 0 ? 0 : par(t[i - 1], t[i]);
        de_glifos = g != nullptr && k != par_so_pango;
        if (!de_glifos) break;
        caneta += k;
        glifos_da_pagina_.push_back({g->indice, static_cast<double>(caneta), linha});
        caneta += g->avanco;
    }
    const double wp = de_glifos ? static_cast<double>(caneta) / PANGO_SCALE : largura_pango(t);
    if (!de_glifos || wp > ate) glifos_da_pagina_.resize(antes);
    if (wp > ate) {
        celula(cr, x, y, cortado(t, ate, [this](std::string_view r) { return largura_pango(r); }),
               a_direita);
        return;
    }
    if (!de_glifos) {
        if (em_ordem_) desenha(cr);
        cairo_move_to(cr, a_direita ? x - wp : x, y);
        pango_cairo_show_layout(cr, layout_);
        return;
    }
    const double inicio = a_direita ? x - wp : x;
    for (std::size_t i = antes; i < glifos_da_pagina_.size(); ++i)
        glifos_da_pagina_[i].x = inicio + glifos_da_pagina_[i].x / PANGO_SCALE;
    grupos_.insert(grupos_.end(), t.size(), {1, 1});
    texto_.append(t);
}

const TabelaPdf::Corrida& TabelaPdf::corrida(std::string_view t) {
    if (const auto it = corridas_.find(t); it != corridas_.end()) return it->second;
    Corrida& c = corridas_[std::string(t)];
    c.largura = largura_pango(t);
    PangoLayoutLine* linha = pango_layout_get_line_readonly(layout_, 0);
    if (fonte_ == nullptr || pango_layout_get_line_count(layout_) != 1 || linha->runs == nullptr ||
        linha->runs->next != nullptr)
        return c;
    const auto* run = static_cast<const PangoGlyphItem*>(linha->runs->data);
    const PangoGlyphString* g = run->glyphs;
    if (run->item->analysis.font != da_tabela_ || run->item->offset != 0 ||
        static_cast<std::size_t>(run->item->length) != t.size() ||
        (run->item->analysis.level & 1U) != 0)
        return c;
    // Glyph by glyph from the start, as Pango places them; each cluster with its bytes, up to
    // the next cluster's start.
    int caneta = 0;
    for (int i = 0; i < g->num_glyphs; ++i) {
        const PangoGlyphInfo& gi = g->glyphs[i];
        if ((gi.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0 || gi.glyph == PANGO_GLYPH_EMPTY) {
            c.glifos.clear();
            c.grupos.clear();
            return c;
        }
        c.glifos.push_back({gi.glyph,
                            static_cast<double>(caneta + gi.geometry.x_offset) / PANGO_SCALE,
                            static_cast<double>(gi.geometry.y_offset) / PANGO_SCALE});
        caneta += gi.geometry.width;
        if (i > 0 && g->log_clusters[i] == g->log_clusters[i - 1]) {
            ++c.grupos.back().num_glyphs;
            continue;
        }
        int fim = static_cast<int>(t.size());
        for (int j = i + 1; j < g->num_glyphs && fim == static_cast<int>(t.size()); ++j)
            if (g->log_clusters[j] != g->log_clusters[i]) fim = g->log_clusters[j];
        c.grupos.push_back({fim - g->log_clusters[i], 1});
    }
    return c;
}

void TabelaPdf::celula_repetida(cairo_t* cr, double x, double y, std::string_view t, bool a_direita,
                                double ate) {
    int w = 0;
    if (pronto(t, w)) {
        celula(cr, x, y, t, a_direita, ate);
        return;
    }
    const Corrida& c = corrida(t);
    if (c.largura > ate) {
        auto [corte, novo] = cortes_.try_emplace({std::string(t), ate});
        if (novo)
            corte->second =
                cortado(t, ate, [this](std::string_view r) { return largura_pango(r); });
        if (corte->second.size() < t.size())
            celula_repetida(cr, x, y, corte->second, a_direita);
        else
            celula(cr, x, y, t, a_direita, ate);
        return;
    }
    if (c.glifos.empty()) {
        celula(cr, x, y, t, a_direita, ate);
        return;
    }
    const double inicio = a_direita ? x - c.largura : x;
    so_ascii_ = false;
    for (const cairo_glyph_t& g : c.glifos)
        glifos_da_pagina_.push_back({g.index, inicio + g.x, y + linha_base_ + g.y});
    grupos_.insert(grupos_.end(), c.grupos.begin(), c.grupos.end());
    texto_.append(t);
}

void TabelaPdf::desenha(cairo_t* cr) {
    if (!glifos_da_pagina_.empty()) {
        cairo_set_scaled_font(cr, fonte_);
        // Text of the printable ASCII characters alone reads back from the glyphs themselves.
        if (so_ascii_)
            cairo_show_glyphs(cr, glifos_da_pagina_.data(),
                              static_cast<int>(glifos_da_pagina_.size()));
        else
            cairo_show_text_glyphs(
                cr, texto_.data(), static_cast<int>(texto_.size()), glifos_da_pagina_.data(),
                static_cast<int>(glifos_da_pagina_.size()), grupos_.data(),
                static_cast<int>(grupos_.size()), static_cast<cairo_text_cluster_flags_t>(0));
    }
    glifos_da_pagina_.clear();
    texto_.clear();
    grupos_.clear();
    so_ascii_ = true;
}
