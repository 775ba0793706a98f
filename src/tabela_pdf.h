#pragma once
// The rows of a table on a PDF page, drawn fast: each printable ASCII character of the table's
// font is laid out once (its glyph and advance) and each pair of them once (the kerning between
// them), the first time they are met; a cell's text becomes glyph positions by adding those up,
// and a page's cells are drawn at once as one glyph run, with their text where it is not plain
// ASCII (which the glyphs give back), so that the page reads back the same. A cell with any other
// character, one the font lacks, or a pair the font joins into one glyph, is drawn through a Pango
// layout, as the page's free text is. Cells stand where a Pango layout of the same text would put
// them: the top at the given height, starting or ending at the given x.

#include <cairo.h>
#include <pango/pangocairo.h>

#include <array>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The longest start of `t`, whole characters and no blank before the ellipsis, that fits in
// `ate` with an ellipsis after it, by the widths `largura` gives.
std::string cortado(std::string_view t, double ate,
                    const std::function<double(std::string_view)>& largura);

class TabelaPdf {
  public:
    // The font `fonte` as `contexto` (the page's free text's) lays it out: the same resolution,
    // font options and glyph positions. With `em_ordem`, a cell drawn through Pango first draws
    // the cells kept before it, so that the page holds them all in the order they came.
    TabelaPdf(PangoContext* contexto, const PangoFontDescription* fonte, bool em_ordem = false);
    ~TabelaPdf();
    TabelaPdf(const TabelaPdf&) = delete;
    TabelaPdf& operator=(const TabelaPdf&) = delete;

    // Width of `t` in points.
    double largura(std::string_view t);
    // The same, of a text that comes back: laid out by Pango the first time only.
    double largura_repetida(std::string_view t);
    // `t` with its top at `y`, starting at `x` or, with `a_direita`, ending there; wider than
    // `ate`, cut to it with an ellipsis. Kept for `desenha`, unless it goes through Pango: then
    // drawn on `cr` at once.
    void celula(cairo_t* cr, double x, double y, std::string_view t, bool a_direita = false,
                double ate = std::numeric_limits<double>::infinity());
    // A cell whose text comes back row after row, whatever its characters (a destination's
    // name): laid out by Pango the first time only, then kept as glyphs like any other cell.
    void celula_repetida(cairo_t* cr, double x, double y, std::string_view t,
                         bool a_direita = false,
                         double ate = std::numeric_limits<double>::infinity());
    // Draws the cells kept since the last call on `cr`, in its current source.
    void desenha(cairo_t* cr);

  private:
    struct Glifo {
        unsigned long indice = 0;
        int avanco = 0;       // in Pango units
        bool visto = false;   // laid out yet
        bool pronto = false;  // false: the character goes through Pango
    };
    // A pair's kerning, in Pango units, not yet laid out or drawn only by Pango.
    static constexpr int par_por_ver = -0x7fffffff;
    static constexpr int par_so_pango = par_por_ver + 1;
    static constexpr char primeiro = ' ';
    static constexpr char ultimo = '~';

    // The glyph of `c`, laid out the first time, or null when it goes through Pango.
    const Glifo* glifo(char c) {
        if (c < primeiro || c > ultimo) return nullptr;
        Glifo& g = glifos_[static_cast<std::size_t>(c - primeiro)];
        if (g.pronto) return &g;
        return g.visto ? nullptr : glifo_novo(g, c);
    }
    const Glifo* glifo_novo(Glifo& g, char c);
    // What Pango adds between `a` and `b`, both ready, or par_so_pango.
    int par(char a, char b) {
        const int k = pares_[static_cast<std::size_t>(a - primeiro) * caracteres +
                             static_cast<std::size_t>(b - primeiro)];
        return k != par_por_ver ? k : par_novo(a, b);
    }
    int par_novo(char a, char b);
    // Whether `t` can be drawn from glyphs; its width in Pango units then.
    bool pronto(std::string_view t, int& largura);
    double largura_pango(std::string_view t);

    // A text laid out once: its glyphs from its start, its clusters and its width in points;
    // no glyphs when Pango draws it with another font or more than one run.
    struct Corrida {
        std::vector<cairo_glyph_t> glifos;
        std::vector<cairo_text_cluster_t> grupos;
        double largura = 0.0;
    };
    struct Espalha {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    const Corrida& corrida(std::string_view t);

    PangoLayout* layout_;
    bool em_ordem_;
    PangoFont* da_tabela_ = nullptr;
    std::unordered_map<std::string, Corrida, Espalha, std::equal_to<>> corridas_;
    // A repeated text too wide for its column, by the text and the column's width: as cut.
    std::map<std::pair<std::string, double>, std::string, std::less<>> cortes_;
    cairo_scaled_font_t* fonte_ = nullptr;
    double linha_base_ = 0.0;
    static constexpr std::size_t caracteres = ultimo - primeiro + 1;
    std::array<Glifo, caracteres> glifos_{};
    std::vector<int> pares_;
    // The cells kept: their glyphs, their bytes and one cluster per byte, or per character of
    // a text laid out by Pango; whether all are printable ASCII.
    std::vector<cairo_glyph_t> glifos_da_pagina_;
    std::string texto_;
    std::vector<cairo_text_cluster_t> grupos_;
    bool so_ascii_ = true;
};
