#include "faturas.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fmt/compile.h>
#include <fmt/format.h>
#include <pango/pangocairo.h>
#include <qrencode.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <list>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "codigo850.h"
#include "data.h"
#include "dinheiro.h"
#include "gravacao.h"

namespace {

// A4 in points; Cairo's PDF user unit is the point.
constexpr double largura = 595.276;
constexpr double altura = 841.890;
constexpr double margem = 42.0;
constexpr double direita = largura - margem;
constexpr double base = altura - margem;

// The calls' table: one row every `passo` points, from `topo_1` on a bill's first page (below
// the customer, the amount and the chart) and from `topo_n` on the pages that continue it.
constexpr double passo = 12.0;
constexpr double topo_1 = 334.0;
constexpr double topo_n = 138.0;
constexpr double altura_totais = 24.0;
// The Pix stub at the foot of a bill's last page.
constexpr double altura_pix = 112.0;
constexpr double lado_qr = 100.0;

// Columns: number called, start (left edges); seconds and charge (right edges).
constexpr double col_numero = margem;
constexpr double col_inicio = margem + 130.0;
constexpr double col_segundos = margem + 350.0;
constexpr double col_valor = direita;

constexpr std::array<std::string_view, 13> nome_mes{
    "",      "Janeiro", "Fevereiro", "Março",   "Abril",    "Maio",    "Junho",
    "Julho", "Agosto",  "Setembro",  "Outubro", "Novembro", "Dezembro"};

struct LiberaCairo {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct LiberaPango {
    void operator()(PangoLayout* l) const { g_object_unref(l); }
    void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
struct LiberaQr {
    void operator()(QRcode* q) const { QRcode_free(q); }
};
using Fonte = std::unique_ptr<PangoFontDescription, LiberaPango>;

// A register text on one line of the page: a control character a hand-made register may hold
// (a line break, a tab) is shown as a blank rather than moving the text around.
std::string texto_de(const char (&campo)[sizeof(TCliente::nome)]) {
    std::string cp850(campo, strnlen(campo, sizeof campo));
    std::replace_if(
        cp850.begin(), cp850.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }, ' ');
    return texto_utf8(cp850);
}

std::string data_texto(TData d) {
    return fmt::format(FMT_COMPILE("{:02}/{:02}/{}"), d.dia, d.mes, d.ano);
}

// "(85) 9 8877-4123", as the console bill shows a line.
std::string numero_da_linha(const TCelular& cel) {
    return fmt::format(FMT_COMPILE("({}) 9 {:04}-{:04}"),
                       std::string_view(cel.ddd, strnlen(cel.ddd, sizeof cel.ddd)), cel.prefixo,
                       cel.numero);
}

std::string_view mes_por_extenso(std::int8_t mes) {
    return mes >= 1 && mes <= 12 ? nome_mes[static_cast<std::size_t>(mes)] : std::string_view{};
}

std::int32_t dias_do_mes(std::int8_t mes, std::int16_t ano) {
    if (mes < 1 || mes > 12) return 0;
    return ndm[static_cast<std::size_t>(mes)] + (mes == 2 && e_bissexto(ano) != 0 ? 1 : 0);
}

// Calls per page of one bill: as many as fit, the last page also holding the totals and, with
// Pix, the stub; a page never leaves the totals alone without a call above them.
std::vector<std::int32_t> corte_em_paginas(std::int32_t chamadas, bool pix) {
    std::vector<std::int32_t> paginas;
    std::int32_t resta = chamadas;
    for (double topo = topo_1;; topo = topo_n) {
        const auto cabem = static_cast<std::int32_t>((base - topo) / passo);
        const auto cabem_no_fim = static_cast<std::int32_t>(
            (base - (pix ? altura_pix : 0.0) - altura_totais - topo) / passo);
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

enum class Alinha : std::uint8_t { a_esquerda, a_direita };

// One document being drawn: the Cairo surface writing to the destination, and the fonts.
class Documento {
  public:
    Documento(cairo_write_func_t funcao, void* destino, std::time_t instante)
        : superficie_(cairo_pdf_surface_create_for_stream(funcao, destino, largura, altura)),
          cr_(cairo_create(superficie_.get())),
          texto_(pango_cairo_create_layout(cr_.get())),
          normal_(pango_font_description_from_string("DejaVu Sans 9")),
          pequena_(pango_font_description_from_string("DejaVu Sans 7.5")),
          negrito_(pango_font_description_from_string("DejaVu Sans Bold 9")),
          titulo_(pango_font_description_from_string("DejaVu Sans Bold 15")),
          destaque_(pango_font_description_from_string("DejaVu Sans Bold 13")),
          mono_(pango_font_description_from_string("DejaVu Sans Mono 7")) {
        // Font sizes in points, as the page's own unit.
        pango_cairo_context_set_resolution(pango_layout_get_context(texto_.get()), 72.0);
        pango_layout_context_changed(texto_.get());
        const std::string data = data_pdf(instante);
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_CREATE_DATE,
                                       data.c_str());
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_MOD_DATE,
                                       data.c_str());
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_TITLE,
                                       "Contas de telefonia celular");
        cairo_pdf_surface_set_metadata(superficie_.get(), CAIRO_PDF_METADATA_CREATOR, "contacel");
    }

    void fatura(const Execucao& e, const Conta& conta, std::span<const ParcelaConta> parcelas,
                const OpcoesFaturas& op);

    Erro termina() {
        cairo_surface_finish(superficie_.get());
        cairo_status_t st = cairo_status(cr_.get());
        if (st == CAIRO_STATUS_SUCCESS) st = cairo_surface_status(superficie_.get());
        if (st == CAIRO_STATUS_SUCCESS && qr_ok_) return {};
        if (st == CAIRO_STATUS_WRITE_ERROR) return {TipoErro::gravacao, {}, 0, 0, {}};
        return {TipoErro::sistema, {}, 0, 0, "erro ao compor o PDF"};
    }

  private:
    // Width of `t` in `f`, in points.
    double mede(std::string_view t, const Fonte& f) {
        pango_layout_set_font_description(texto_.get(), f.get());
        pango_layout_set_text(texto_.get(), t.data(), static_cast<int>(t.size()));
        int w = 0;
        int h = 0;
        pango_layout_get_size(texto_.get(), &w, &h);
        return static_cast<double>(w) / PANGO_SCALE;
    }

    // `t` with its top at `y`, starting at `x` or ending there.
    void escreve(double x, double y, std::string_view t, const Fonte& f,
                 Alinha a = Alinha::a_esquerda) {
        const double w = mede(t, f);
        cairo_move_to(cr_.get(), a == Alinha::a_direita ? x - w : x, y);
        pango_cairo_show_layout(cr_.get(), texto_.get());
    }

    void regua(double y, double espessura = 0.6) {
        cairo_set_line_width(cr_.get(), espessura);
        cairo_move_to(cr_.get(), margem, y);
        cairo_line_to(cr_.get(), direita, y);
        cairo_stroke(cr_.get());
    }

    void cabecalho(const Conta& conta, const TCliente& cli, std::size_t pagina,
                   std::size_t paginas);
    void grafico(const Execucao& e, const Conta& conta, std::span<const ParcelaConta> parcelas,
                 double topo);
    void pix(const std::string& payload);

    std::unique_ptr<cairo_surface_t, LiberaCairo> superficie_;
    std::unique_ptr<cairo_t, LiberaCairo> cr_;
    std::unique_ptr<PangoLayout, LiberaPango> texto_;
    Fonte normal_;
    Fonte pequena_;
    Fonte negrito_;
    Fonte titulo_;
    Fonte destaque_;
    Fonte mono_;
    bool qr_ok_ = true;
};

void Documento::cabecalho(const Conta& conta, const TCliente& cli, std::size_t pagina,
                          std::size_t paginas) {
    escreve(margem, 40.0, "CONTA DE TELEFONIA CELULAR", titulo_);
    escreve(direita, 40.0, fmt::format("{} de {}", mes_por_extenso(conta.mes), conta.ano), titulo_,
            Alinha::a_direita);
    if (paginas > 1)
        escreve(direita, 62.0, fmt::format("pagina {} de {}", pagina, paginas), pequena_,
                Alinha::a_direita);
    regua(76.0, 1.2);
    escreve(margem, 84.0, "Cliente: " + texto_de(cli.nome), normal_);
}

void Documento::grafico(const Execucao& e, const Conta& conta,
                        std::span<const ParcelaConta> parcelas, double topo) {
    const std::int32_t dias = dias_do_mes(conta.mes, conta.ano);
    if (dias == 0) return;
    // Each day's charge, added in the order of the calls as the bill adds them.
    std::array<float, 32> por_dia{};
    for (std::size_t k = 0; k < parcelas.size(); ++k) {
        const TChamada& cha = e.li_ch.chamadas[conta.inicio + static_cast<std::int32_t>(k)];
        if (cha.ini.dat.dia >= 1 && cha.ini.dat.dia <= dias)
            por_dia[static_cast<std::size_t>(cha.ini.dat.dia)] += parcelas[k].tarifa;
    }
    const float maior = *std::max_element(por_dia.begin(), por_dia.end());

    escreve(margem, topo, "Valor por dia (R$)", negrito_);
    const double esquerda = margem + 36.0;
    const double alto = topo + 24.0;
    const double chao = topo + 104.0;
    const double faixa = (direita - esquerda) / dias;
    cairo_t* cr = cr_.get();
    cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
    cairo_set_line_width(cr, 0.4);
    cairo_move_to(cr, esquerda, alto);
    cairo_line_to(cr, direita, alto);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.16, 0.35, 0.60);
    for (std::int32_t d = 1; d <= dias; ++d) {
        const float v = por_dia[static_cast<std::size_t>(d)];
        if (v <= 0.0F) continue;
        const double h = (chao - alto) * static_cast<double>(v / maior);
        cairo_rectangle(cr, esquerda + faixa * (d - 1) + faixa * 0.15, chao - h, faixa * 0.7, h);
    }
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 0.6);
    cairo_move_to(cr, esquerda, alto - 4.0);
    cairo_line_to(cr, esquerda, chao);
    cairo_line_to(cr, direita, chao);
    cairo_stroke(cr);
    escreve(esquerda - 4.0, alto - 5.0, dinheiro(maior, ','), pequena_, Alinha::a_direita);
    escreve(esquerda - 4.0, chao - 5.0, "0", pequena_, Alinha::a_direita);
    for (std::int32_t d = 1; d <= dias; ++d) {
        if (d != 1 && d % 5 != 0 && d != dias) continue;
        const std::string rotulo = std::to_string(d);
        escreve(esquerda + faixa * (d - 0.5) - mede(rotulo, pequena_) / 2, chao + 2.0, rotulo,
                pequena_);
    }
}

void Documento::pix(const std::string& payload) {
    const double topo = base - altura_pix + 8.0;
    cairo_t* cr = cr_.get();
    const std::array<double, 2> tracos{3.0, 2.0};
    cairo_set_dash(cr, tracos.data(), static_cast<int>(tracos.size()), 0.0);
    regua(topo - 8.0, 0.5);
    cairo_set_dash(cr, nullptr, 0, 0.0);

    const std::unique_ptr<QRcode, LiberaQr> qr(
        QRcode_encodeString(payload.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1));
    if (!qr) {
        qr_ok_ = false;
        return;
    }
    // The code with its quiet zone of four modules, white on the white page.
    const int n = qr->width;
    const double modulo = lado_qr / (n + 8);
    // Each row's runs of dark modules as one rectangle each.
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n;) {
            if ((qr->data[y * n + x] & 1) == 0) {
                ++x;
                continue;
            }
            const int inicio = x;
            while (x < n && (qr->data[y * n + x] & 1) != 0)
                ++x;
            cairo_rectangle(cr, margem + (inicio + 4) * modulo, topo + (y + 4) * modulo - 4.0,
                            (x - inicio) * modulo, modulo);
        }
    cairo_fill(cr);

    const double x = margem + lado_qr + 16.0;
    escreve(x, topo + 4.0, "Pague com Pix: aponte a camera do aplicativo do banco", negrito_);
    escreve(x, topo + 20.0, "Pix copia e cola:", pequena_);
    // In lines of a fixed count of characters: a line break of the layout's own would add a
    // hyphen that is not part of the payload.
    constexpr std::size_t por_linha = 80;
    for (std::size_t i = 0; i < payload.size(); i += por_linha)
        escreve(x, topo + 32.0 + 9.0 * static_cast<double>(i / por_linha),
                std::string_view(payload).substr(i, por_linha), mono_);
}

void Documento::fatura(const Execucao& e, const Conta& conta,
                       std::span<const ParcelaConta> parcelas, const OpcoesFaturas& op) {
    const TCliente& cli = cliente_da_conta(&e.lis_cli, conta.cod_cli);
    const std::string total = "R$ " + dinheiro(conta.soma.tarifa_total, ',');
    const std::string vencimento = data_texto(conta.soma.vencimento);
    // No Pix code for a bill with nothing to pay.
    const bool com_pix = op.pix && conta.soma.tarifa_total > 0.0F;
    const std::vector<std::int32_t> paginas =
        corte_em_paginas(static_cast<std::int32_t>(parcelas.size()), com_pix);

    std::size_t k = 0;
    for (std::size_t p = 0; p < paginas.size(); ++p) {
        cabecalho(conta, cli, p + 1, paginas.size());
        double y = topo_n;
        if (p == 0) {
            escreve(margem, 99.0, "Endereço: " + texto_de(cli.endereco), normal_);
            escreve(margem, 114.0,
                    "Linha: " + numero_da_linha(linha_chamada(&e.lis_cel, conta.cod_cli)), normal_);
            cairo_set_source_rgb(cr_.get(), 0.92, 0.92, 0.92);
            cairo_rectangle(cr_.get(), margem, 136.0, direita - margem, 34.0);
            cairo_fill(cr_.get());
            cairo_set_source_rgb(cr_.get(), 0.0, 0.0, 0.0);
            escreve(margem + 8.0, 145.0, "Vencimento: " + vencimento, destaque_);
            escreve(direita - 8.0, 145.0, "Valor a pagar: " + total, destaque_, Alinha::a_direita);
            grafico(e, conta, parcelas, 186.0);
            y = topo_1;
        }
        escreve(col_numero, y - 16.0, "Numero chamado", negrito_);
        escreve(col_inicio, y - 16.0, "Inicio", negrito_);
        escreve(col_segundos, y - 16.0, "Duracao (s)", negrito_, Alinha::a_direita);
        escreve(col_valor, y - 16.0, "Valor (R$)", negrito_, Alinha::a_direita);
        regua(y - 3.0);
        for (std::int32_t r = 0; r < paginas[p]; ++r, ++k, y += passo) {
            const TChamada& cha = e.li_ch.chamadas[conta.inicio + static_cast<std::int32_t>(k)];
            const TCelular& cel = linha_chamada(&e.lis_cel, cha.cod_cli_des);
            escreve(col_numero, y, numero_da_linha(cel), normal_);
            escreve(col_inicio, y,
                    fmt::format(FMT_COMPILE("{} {:02}:{:02}:{:02}"), data_texto(cha.ini.dat),
                                cha.ini.hor.hor, cha.ini.hor.min, cha.ini.hor.seg),
                    normal_);
            escreve(col_segundos, y, std::to_string(parcelas[k].ns), normal_, Alinha::a_direita);
            escreve(col_valor, y, dinheiro(parcelas[k].tarifa, ','), normal_, Alinha::a_direita);
        }
        if (p + 1 == paginas.size()) {
            regua(y + 2.0);
            escreve(col_numero, y + 6.0,
                    fmt::format("Total: {} chamada{}", conta.soma.chamadas,
                                conta.soma.chamadas == 1 ? "" : "s"),
                    negrito_);
            escreve(col_segundos, y + 6.0, std::to_string(conta.soma.tempo_total), negrito_,
                    Alinha::a_direita);
            escreve(col_valor, y + 6.0, dinheiro(conta.soma.tarifa_total, ','), negrito_,
                    Alinha::a_direita);
            if (com_pix) pix(payload_da_conta(*op.pix, conta));
        } else {
            escreve(direita, y + 4.0, "continua na proxima pagina", pequena_, Alinha::a_direita);
        }
        cairo_show_page(cr_.get());
    }
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

std::string nome_arquivo_fatura(std::uint32_t cod_cli, std::int16_t ano, std::int8_t mes) {
    return fmt::format(FMT_COMPILE("{}-{:04}-{:02}.pdf"), cod_cli, ano, mes);
}

std::string payload_da_conta(const RecebedorPix& r, const Conta& conta) {
    return payload_pix(r, fmt::format(FMT_COMPILE("{:.2f}"), conta.soma.tarifa_total),
                       txid_pix(conta.cod_cli, conta.ano, conta.mes));
}

Erro escreve_faturas(const Execucao& e, const OpcoesFaturas& op, const DestinoPdf& destino) {
    Documento doc(escreve_pedaco, const_cast<DestinoPdf*>(&destino), op.instante);
    para_cada_conta(&e.li_ch, [&](const Conta& conta, std::span<const ParcelaConta> parcelas) {
        doc.fatura(e, conta, parcelas, op);
    });
    return doc.termina();
}

Erro escreve_cada_fatura(const Execucao& e, const OpcoesFaturas& op, const DestinoFatura& destino) {
    Erro erro;
    std::vector<std::byte> pdf;
    const DestinoPdf acumula = [&pdf](std::span<const std::byte> pedaco) {
        pdf.insert(pdf.end(), pedaco.begin(), pedaco.end());
        return true;
    };
    para_cada_conta(&e.li_ch, [&](const Conta& conta, std::span<const ParcelaConta> parcelas) {
        if (!erro.ok()) return;
        pdf.clear();
        Documento doc(escreve_pedaco, const_cast<DestinoPdf*>(&acumula), op.instante);
        doc.fatura(e, conta, parcelas, op);
        erro = doc.termina();
        if (erro.ok() && !destino(nome_arquivo_fatura(conta.cod_cli, conta.ano, conta.mes), pdf))
            erro = {TipoErro::gravacao, {}, 0, 0, {}};
    });
    return erro;
}

Erro grava_faturas_na_pasta(const Execucao& e, const OpcoesFaturas& op, const std::string& pasta,
                            bool forcar, const std::string& cadastro) {
    // An empty name is the working folder, never the root.
    const std::string prefixo = pasta.empty() ? std::string() : pasta + "/";
    if (struct stat info{}; ::stat(pasta.empty() ? "." : pasta.c_str(), &info) != 0)
        return {TipoErro::gravacao, pasta, 0, errno, {}};
    OpcoesGravacao og;
    og.substitui = forcar;
    og.divide = forcar;
    og.protegido = identidade_de(cadastro);
    og.programa = "contacel-exportar";
    // Every bill's file is locked and looked at before the first is written; each is written
    // beside its name, and all take their names only when all are written.
    std::list<Gravacao> arquivos;
    Erro erro;
    para_cada_conta(&e.li_ch, [&](const Conta& c, std::span<const ParcelaConta>) {
        if (!erro.ok()) return;
        const std::string nome = prefixo + nome_arquivo_fatura(c.cod_cli, c.ano, c.mes);
        // Whatever is in the way, a link that leads nowhere too, is replaced only with --forcar.
        if (struct stat info{}; !forcar && ::lstat(nome.c_str(), &info) == 0) {
            erro = {TipoErro::ja_existe, nome};
            return;
        }
        Destino d;
        erro = segue_links(nome, d);
        if (erro.ok() && d.descritor >= 0)
            erro = {TipoErro::recusado, nome, 0, 0, "nao e um arquivo regular"};
        if (!erro.ok()) return;
        erro = arquivos.emplace_back(d.caminho, og).trava();
        if (erro.arquivo == d.caminho) erro.arquivo = nome;
    });
    if (!erro.ok()) return erro;
    auto proximo = arquivos.begin();
    const Erro doc =
        escreve_cada_fatura(e, op, [&](const std::string&, std::span<const std::byte> pdf) {
            erro = (proximo++)->escreve(pdf);
            return erro.ok();
        });
    if (!erro.ok()) return erro;
    if (!doc.ok()) return doc;
    for (auto g = arquivos.begin(); g != arquivos.end(); ++g) {
        if (erro = g->confirma(); erro.ok()) continue;
        // What this run made goes again; what it replaced cannot come back.
        for (auto feito = arquivos.begin(); feito != g; ++feito)
            feito->desfaz_criacao();
        return erro;
    }
    return {};
}
