#include "csv_clientes.h"

#include <csv.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "regra_cliente.h"

namespace {

constexpr std::array<const char*, 3> nomes_campos{"codigo", "nome", "endereco"};

// The fields of a file in another encoding, converted into UTF-8 one at a time.
class ConversorUtf8 {
  public:
    explicit ConversorUtf8(Codificacao c) : cd_(::iconv_open("UTF-8", nome_iconv(c))) {
        if (!aberto()) erro_ = errno;
    }
    ~ConversorUtf8() {
        if (aberto()) ::iconv_close(cd_);
    }
    ConversorUtf8(const ConversorUtf8&) = delete;
    ConversorUtf8& operator=(const ConversorUtf8&) = delete;

    // errno of the failed iconv_open, or 0.
    [[nodiscard]] int erro() const { return erro_; }
    // False when the field has a byte the encoding has no character for.
    bool converte(std::string_view entrada, std::string& saida) const {
        saida.assign(entrada.size() * 4, '\0');
        // iconv takes a non-const input pointer for historical reasons; it never writes there.
        char* in = const_cast<char*>(entrada.data());
        std::size_t n_in = entrada.size();
        char* out = saida.data();
        std::size_t n_out = saida.size();
        const bool ok = ::iconv(cd_, &in, &n_in, &out, &n_out) != static_cast<std::size_t>(-1);
        saida.resize(saida.size() - n_out);
        return ok && n_in == 0;
    }

  private:
    [[nodiscard]] bool aberto() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
    int erro_ = 0;
};

// The separator of the header row: the first comma or semicolon outside quotes on its line.
char separador_do_cabecalho(std::span<const std::byte> csv) {
    bool aspas = false;
    bool texto = false;  // past the blank lines before the header
    for (const std::byte b : csv) {
        const auto c = static_cast<char>(b);
        if (c == '"') {
            aspas = !aspas;
        } else if (!aspas && (c == ',' || c == ';')) {
            return c;
        } else if (!aspas && (c == '\r' || c == '\n')) {
            if (texto) break;
            continue;
        }
        texto = true;
    }
    return ',';
}

ErroCsv erro_csv(ErroRegra e) {
    switch (e) {
        case ErroRegra::nenhum:
            return ErroCsv::nenhum;
        case ErroRegra::codigo_invalido:
            return ErroCsv::codigo_invalido;
        case ErroRegra::codigo_repetido:
            return ErroCsv::codigo_repetido;
        case ErroRegra::texto_invalido:
            return ErroCsv::texto_invalido;
        case ErroRegra::clientes_demais:
            return ErroCsv::clientes_demais;
    }
    return ErroCsv::texto_invalido;
}

// What the parser's callbacks build, row by row.
struct Leitura {
    TLisCli* lc;
    const ConversorUtf8* conversor;  // none for a UTF-8 file
    StatusCsv st{};
    std::size_t linha = 1;   // the line of the byte being fed
    std::size_t inicio = 0;  // the line the current row starts on, once it has a byte
    bool cabecalho = true;   // the next row is the header
    std::vector<std::string> campos{};

    // The error of the row being read, on the line it starts on.
    void falha(ErroCsv e, std::uint8_t campo = 0, ErroTexto t = ErroTexto::nenhum) {
        if (!st.ok()) return;
        st.erro = e;
        st.linha = inicio != 0 ? inicio : linha;
        st.campo = campo;
        st.texto = t;
    }

    void campo(std::string_view bruto) {
        if (!st.ok()) return;
        if (conversor == nullptr) {
            if (!e_utf8(bruto)) return falha(ErroCsv::nao_e_utf8);
            campos.emplace_back(bruto);
        } else if (std::string utf8; conversor->converte(bruto, utf8)) {
            campos.push_back(std::move(utf8));
        } else {
            falha(ErroCsv::fora_da_codificacao);
        }
    }

    void fim_de_linha() {
        if (st.ok()) linha_lida();
        campos.clear();
        inicio = 0;
    }

    void linha_lida() {
        if (cabecalho) {
            cabecalho = false;
            const bool certo =
                campos.size() == nomes_campos.size() && std::ranges::equal(campos, nomes_campos);
            if (!certo) falha(ErroCsv::sem_cabecalho);
        } else if (campos.size() > nomes_campos.size()) {
            falha(ErroCsv::campos_demais);
        } else if (campos.size() < nomes_campos.size()) {
            falha(ErroCsv::campos_de_menos);
        } else {
            cliente();
        }
    }

    void cliente() {
        // A spreadsheet's file: the texts without the mark that kept them from being formulas.
        if (st.separador == ';')
            for (std::size_t i = 1; i < campos.size(); ++i)
                campos[i] = sem_marca_de_formula(campos[i]);
        const StatusRegra r = insere_validado(lc, le_codigo(campos[0]), campos[1], campos[2]);
        if (!r.ok()) falha(erro_csv(r.erro), r.campo, r.texto);
    }
};

void ao_campo(void* dados, std::size_t n, void* leitura) {
    static_cast<Leitura*>(leitura)->campo({static_cast<const char*>(dados), n});
}

void ao_fim_de_linha(int, void* leitura) {
    static_cast<Leitura*>(leitura)->fim_de_linha();
}

// Fields are taken as they are: no blank is trimmed.
int nenhum_espaco(unsigned char) {
    return 0;
}

}  // namespace

std::optional<std::uint32_t> le_codigo(std::string_view texto) {
    std::uint32_t cod = 0;
    const auto [fim, ec] = std::from_chars(texto.data(), texto.data() + texto.size(), cod);
    if (texto.empty() || ec != std::errc{} || fim != texto.data() + texto.size() || cod == 0)
        return std::nullopt;
    return cod;
}

void acrescenta_texto_csv(std::string& linha, const char (&texto)[sizeof(TCliente::nome)],
                          DialetoCsv d) {
    acrescenta_campo_csv(linha, texto_utf8({texto, ::strnlen(texto, sizeof texto)}), d);
}

StatusCsv decodifica_csv_clientes(std::span<const std::byte> csv, TLisCli* lc,
                                  Codificacao codificacao) {
    lc->ncl = 0;
    StatusCsv st{};
    st.codificacao = codificacao;
    const auto falha = [&](ErroCsv e, std::size_t linha, int sistema = 0) {
        st.erro = e;
        st.linha = linha;
        st.sistema = sistema;
        return st;
    };
    // A spreadsheet's "Unicode text": a UTF-16 mark, or NULs between the letters.
    const auto byte_em = [&](std::size_t i) { return std::to_integer<unsigned>(csv[i]); };
    if ((csv.size() >= 2 && ((byte_em(0) == 0xFF && byte_em(1) == 0xFE) ||
                             (byte_em(0) == 0xFE && byte_em(1) == 0xFF))) ||
        std::ranges::find(csv.first(std::min<std::size_t>(csv.size(), 64)), std::byte{0}) !=
            csv.first(std::min<std::size_t>(csv.size(), 64)).end())
        return falha(ErroCsv::utf16, 1);
    constexpr std::array<std::byte, 3> bom{std::byte{0xEF}, std::byte{0xBB}, std::byte{0xBF}};
    if (csv.size() >= bom.size() && std::ranges::equal(csv.first(bom.size()), bom)) {
        // The mark says UTF-8: read as another encoding, every accent would turn to garbage.
        if (codificacao != Codificacao::utf8) return falha(ErroCsv::bom_em_outra_codificacao, 1);
        csv = csv.subspan(bom.size());
    }
    // UTF-8 with accents read as a one-byte encoding would come in as garbage that code page
    // 850 happens to hold: refused at the line of the first accent.
    const std::string_view texto(reinterpret_cast<const char*>(csv.data()), csv.size());
    if (codificacao != Codificacao::utf8 && e_utf8(texto)) {
        const std::size_t acento = static_cast<std::size_t>(
            std::ranges::find_if(texto, [](char c) { return (c & 0x80) != 0; }) - texto.begin());
        if (acento < texto.size()) {
            const std::string_view antes = texto.substr(0, acento);
            std::size_t linha = 1;
            for (std::size_t i = 0; i < antes.size(); ++i)
                linha += antes[i] == '\n' || (antes[i] == '\r' &&
                                              (i + 1 == antes.size() || antes[i + 1] != '\n'))
                             ? 1
                             : 0;
            return falha(ErroCsv::parece_utf8, linha);
        }
    }
    std::optional<ConversorUtf8> conversor;
    if (codificacao != Codificacao::utf8) {
        conversor.emplace(codificacao);
        if (conversor->erro() != 0)
            return falha(ErroCsv::conversao_indisponivel, 0, conversor->erro());
    }
    st.separador = separador_do_cabecalho(csv);

    csv_parser p{};
    if (csv_init(&p, CSV_STRICT | CSV_STRICT_FINI) != 0) return falha(ErroCsv::aspas_sem_fim, 1);
    csv_set_space_func(&p, nenhum_espaco);
    csv_set_delim(&p, static_cast<unsigned char>(st.separador));
    Leitura l{lc, conversor ? &*conversor : nullptr, st};
    // Fed one byte at a time, so that every row is known by the line it starts on. CR, LF and
    // CRLF each end a line.
    bool cr = false;
    for (const std::byte b : csv) {
        const bool fim = b == std::byte{'\r'} || b == std::byte{'\n'};
        if (l.inicio == 0 && !fim) l.inicio = l.linha;
        if (csv_parse(&p, &b, 1, ao_campo, ao_fim_de_linha, &l) != 1)
            l.falha(ErroCsv::aspas_sem_fim);
        if (!l.st.ok()) break;
        if (b == std::byte{'\r'} || (b == std::byte{'\n'} && !cr)) ++l.linha;
        cr = b == std::byte{'\r'};
    }
    // A quote still open at the end fails on the line its row starts on.
    if (l.st.ok() && csv_fini(&p, ao_campo, ao_fim_de_linha, &l) != 0)
        l.falha(ErroCsv::aspas_sem_fim);
    csv_free(&p);
    if (l.st.ok() && l.cabecalho) l.falha(ErroCsv::sem_cabecalho);
    if (!l.st.ok()) lc->ncl = 0;
    return l.st;
}

std::string codifica_csv_clientes(const TLisCli* lc, DialetoCsv d) {
    std::string out = cabecalho_csv({nomes_campos[0], nomes_campos[1], nomes_campos[2]}, d);
    const std::uint32_t n = std::min(lc->ncl, capacidade_lis_cli);
    for (std::uint32_t i = 0; i < n; ++i) {
        const TCliente& cl = lc->clientes[i];
        out += std::to_string(cl.cod_cli);
        out += d.separador;
        acrescenta_texto_csv(out, cl.nome, d);
        out += d.separador;
        acrescenta_texto_csv(out, cl.endereco, d);
        out += d.fim_de_linha;
    }
    return out;
}

std::string descreve_erro_csv(StatusCsv st) {
    const std::string esperados =
        std::string("(esperados codigo") + st.separador + "nome" + st.separador + "endereco)";
    const std::string codificacao = nome_codificacao(st.codificacao);
    switch (st.erro) {
        case ErroCsv::nenhum:
            return "sem erro";
        case ErroCsv::aspas_sem_fim:
            return "aspas sem fechamento ou texto depois das aspas";
        case ErroCsv::sem_cabecalho:
            return "falta o cabecalho codigo,nome,endereco ou codigo;nome;endereco";
        case ErroCsv::campos_demais:
            return "campos demais " + esperados;
        case ErroCsv::campos_de_menos:
            return "campos de menos " + esperados;
        // A row that breaks a rule of the register: the rule's own words.
        case ErroCsv::codigo_invalido:
            return descreve_regra({ErroRegra::codigo_invalido});
        case ErroCsv::codigo_repetido:
            return descreve_regra({ErroRegra::codigo_repetido});
        case ErroCsv::clientes_demais:
            return descreve_regra({ErroRegra::clientes_demais});
        case ErroCsv::texto_invalido:
            return descreve_regra({ErroRegra::texto_invalido, st.campo, st.texto});
        case ErroCsv::nao_e_utf8:
            return "o arquivo nao esta em UTF-8 (use --codificacao windows-1252 para um arquivo "
                   "salvo por uma planilha do Windows)";
        case ErroCsv::fora_da_codificacao:
            return "byte sem caractere em " + codificacao +
                   " (o arquivo esta em outra codificacao?)";
        case ErroCsv::bom_em_outra_codificacao:
            return "o arquivo comeca com a marca de UTF-8 (BOM), nao esta em " + codificacao +
                   " (importe-o sem --codificacao)";
        case ErroCsv::conversao_indisponivel:
            return "conversao de " + codificacao +
                   " para UTF-8 indisponivel: " + std::strerror(st.sistema);
        case ErroCsv::utf16:
            return "o arquivo esta em UTF-16, que nao se le; salve-o da planilha como CSV (UTF-8 "
                   "ou Windows-1252)";
        case ErroCsv::parece_utf8:
            return "o arquivo esta em UTF-8, nao em " + codificacao +
                   " (importe-o sem --codificacao)";
    }
    return {};
}
