#include "csv_clientes.h"

#include <csv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "caracteres.h"
#include "codigo850.h"
#include "documento.h"
#include "inteiro.h"

namespace {

constexpr std::array<std::string_view, 8> nomes_campos{"codigo", "nome", "endereco", "documento",
                                                       "email",  "cep",  "cidade",   "uf"};
// The register's columns; a book's may go on with the rest, in order.
constexpr std::size_t colunas_do_cadastro = 3;

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

std::string esperados(char separador, std::size_t colunas) {
    std::string s = "(esperados ";
    for (std::size_t i = 0; i < colunas; ++i)
        s += (i == 0 ? "" : std::string(1, separador)) + std::string(nomes_campos[i]);
    return s + ")";
}

// What the parser's callbacks build, row by row.
struct Leitura {
    Clientes* lc;
    Guarda guarda;
    const Conversor* conversor;  // none for a UTF-8 file
    Codificacao codificacao;
    char separador;
    Erro erro{};
    std::size_t linha = 1;   // the line of the byte being fed
    std::size_t inicio = 0;  // the line the current row starts on, once it has a byte
    bool cabecalho = true;   // the next row is the header
    std::size_t colunas = colunas_do_cadastro;
    std::vector<std::string> campos{};

    // The error of the row being read, on the line it starts on.
    void falha(Erro e) {
        if (!erro.ok()) return;
        erro = std::move(e);
        erro.linha = inicio != 0 ? inicio : linha;
    }

    void campo(std::string_view bruto) {
        if (!erro.ok()) return;
        if (conversor == nullptr) {
            if (!e_utf8(bruto))
                return falha(Erro::dados(
                    "o arquivo nao esta em UTF-8 (use --codificacao windows-1252 para um "
                    "arquivo salvo por uma planilha do Windows)"));
            campos.emplace_back(bruto);
        } else if (std::string utf8; conversor->converte(bruto, utf8).ok()) {
            campos.push_back(std::move(utf8));
        } else {
            falha(Erro::dados("byte sem caractere em " +
                              std::string(nome_codificacao(codificacao)) +
                              " (o arquivo esta em outra codificacao?)"));
        }
    }

    void fim_de_linha() {
        if (erro.ok()) linha_lida();
        campos.clear();
        inicio = 0;
    }

    void linha_lida() {
        if (cabecalho) {
            cabecalho = false;
            colunas = campos.size();
            const bool certo = colunas >= colunas_do_cadastro && colunas <= nomes_campos.size() &&
                               std::ranges::equal(campos, std::span(nomes_campos).first(colunas));
            if (!certo)
                falha(Erro::dados(sem_cabecalho));
            else if (guarda == Guarda::cadastro && colunas > colunas_do_cadastro)
                falha(
                    Erro::dados("o cadastro guarda so codigo, nome e endereco; os outros campos "
                                "vao para um livro (.db)"));
        } else if (campos.size() > colunas) {
            falha(Erro::dados("campos demais " + esperados(separador, colunas)));
        } else if (campos.size() < colunas) {
            falha(Erro::dados("campos de menos " + esperados(separador, colunas)));
        } else {
            // A spreadsheet's file: the texts without the mark that kept them from being formulas.
            if (separador == ';')
                for (std::size_t i = 1; i < campos.size(); ++i)
                    campos[i].erase(0, campos[i].size() - sem_marca_de_formula(campos[i]).size());
            campos.resize(nomes_campos.size());
            Cliente c{0,
                      std::move(campos[1]),
                      std::move(campos[2]),
                      std::move(campos[3]),
                      std::move(campos[4]),
                      std::move(campos[5]),
                      std::move(campos[6]),
                      std::move(campos[7])};
            if (Erro e = insere_validado(*lc, guarda, le_codigo(campos[0]), std::move(c)); !e.ok())
                falha(std::move(e));
        }
    }

    static constexpr const char* sem_cabecalho =
        "falta o cabecalho codigo,nome,endereco ou codigo;nome;endereco";
};

constexpr const char* aspas_sem_fim = "aspas sem fechamento ou texto depois das aspas";

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

Erro decodifica_csv_clientes(std::span<const std::byte> csv, Clientes& lc, Guarda guarda,
                             Codificacao codificacao) {
    lc = {};
    const std::string nome_cod = nome_codificacao(codificacao);
    // A spreadsheet's "Unicode text": a UTF-16 mark, or a NUL beside nearly every letter.
    const auto inicio = csv.first(std::min<std::size_t>(csv.size(), 64));
    std::array<std::size_t, 2> nuls{};  // at even and at odd places
    for (std::size_t i = 0; i < inicio.size(); ++i)
        nuls[i % 2] += inicio[i] == std::byte{0} ? 1 : 0;
    const auto byte_em = [&](std::size_t i) { return std::to_integer<unsigned>(csv[i]); };
    if ((csv.size() >= 2 && ((byte_em(0) == 0xFF && byte_em(1) == 0xFE) ||
                             (byte_em(0) == 0xFE && byte_em(1) == 0xFF))) ||
        (inicio.size() >= 4 && std::ranges::max(nuls) * 8 >= inicio.size() * 3))
        return Erro::dados({}, 1,
                           "o arquivo esta em UTF-16, que nao se le; salve-o da planilha como CSV "
                           "(UTF-8 ou Windows-1252)");
    // A register given where the CSV goes, as when the two names are swapped.
    if (TLisCli cadastro{}; nuls[0] + nuls[1] != 0 && decodifica_lis_cli(csv, &cadastro).ok())
        return Erro::dados({}, 1, "e um cadastro, nao um CSV (a ordem e importar CSV [ARQUIVO])");
    const auto com_marca = [&] {
        return sem_marca_utf8({reinterpret_cast<const char*>(csv.data()), csv.size()}).size() !=
               csv.size();
    };
    if (com_marca()) {
        // The mark says UTF-8: read as another encoding, every accent would turn to garbage.
        if (codificacao != Codificacao::utf8)
            return Erro::dados({}, 1,
                               "o arquivo comeca com a marca de UTF-8 (BOM), nao esta em " +
                                   nome_cod + " (importe-o sem --codificacao)");
        csv = csv.subspan(marca_utf8.size());
        if (com_marca())
            return Erro::dados({}, 1, "a marca de UTF-8 (BOM) esta repetida no inicio do arquivo");
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
            return Erro::dados(
                {}, linha,
                "o arquivo esta em UTF-8, nao em " + nome_cod + " (importe-o sem --codificacao)");
        }
    }
    std::optional<Conversor> conversor;
    if (codificacao != Codificacao::utf8) {
        conversor.emplace("UTF-8", nome_iconv(codificacao),
                          "conversao de " + nome_cod + " para UTF-8 indisponivel");
        if (Erro e = conversor->erro(); !e.ok()) return e;
    }

    csv_parser p{};
    if (csv_init(&p, CSV_STRICT | CSV_STRICT_FINI) != 0) return Erro::dados({}, 1, aspas_sem_fim);
    const char separador = separador_do_cabecalho(csv);
    csv_set_space_func(&p, nenhum_espaco);
    csv_set_delim(&p, static_cast<unsigned char>(separador));
    Leitura l{&lc, guarda, conversor ? &*conversor : nullptr, codificacao, separador};
    // Fed one byte at a time, so that every row is known by the line it starts on. CR, LF and
    // CRLF each end a line.
    bool cr = false;
    for (const std::byte b : csv) {
        const bool fim = b == std::byte{'\r'} || b == std::byte{'\n'};
        if (l.inicio == 0 && !fim) l.inicio = l.linha;
        if (csv_parse(&p, &b, 1, ao_campo, ao_fim_de_linha, &l) != 1)
            l.falha(Erro::dados(aspas_sem_fim));
        if (!l.erro.ok()) break;
        if (b == std::byte{'\r'} || (b == std::byte{'\n'} && !cr)) ++l.linha;
        cr = b == std::byte{'\r'};
    }
    // A quote still open at the end fails on the line its row starts on.
    if (l.erro.ok() && csv_fini(&p, ao_campo, ao_fim_de_linha, &l) != 0)
        l.falha(Erro::dados(aspas_sem_fim));
    csv_free(&p);
    if (l.erro.ok() && l.cabecalho) l.falha(Erro::dados(Leitura::sem_cabecalho));
    if (!l.erro.ok()) lc = {};
    return l.erro;
}

std::string codifica_csv_clientes(const Clientes& lc, Guarda guarda, DialetoCsv d) {
    const std::size_t colunas = guarda == Guarda::livro ? nomes_campos.size() : colunas_do_cadastro;
    std::string out = cabecalho_csv(std::span(nomes_campos).first(colunas), d);
    for (const Cliente& cl : lc) {
        out += std::to_string(cl.codigo);
        const std::array<const std::string*, 7> textos{
            &cl.nome, &cl.endereco, &cl.documento, &cl.email, &cl.cep, &cl.cidade, &cl.uf};
        for (std::size_t i = 1; i < colunas; ++i) {
            out += d.separador;
            acrescenta_campo_csv(out, i == 3 ? documento_formatado(cl.documento) : *textos[i - 1],
                                 d);
        }
        out += d.fim_de_linha;
    }
    return out;
}
