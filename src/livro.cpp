#include "livro.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include <fmt/format.h>

#include "cadastro.h"
#include "codigo850.h"
#include "csv_clientes.h"
#include "documento.h"
#include "gravacao.h"
#include "regra_cliente.h"

namespace {

constexpr std::string_view cabecalho_sqlite{"SQLite format 3\0", 16};

// The tables of the book, each with its columns in order: what a book of this version holds.
struct Tabela {
    const char* nome;
    std::initializer_list<const char*> colunas;
};
const std::array<Tabela, 4> tabelas{{
    {"clientes", {"codigo", "nome", "endereco", "documento", "email", "cep", "cidade", "uf"}},
    {"linhas", {"numero", "cliente", "plano"}},
    {"faturas",
     {"numero", "cliente", "ano", "mes", "valor_centavos", "vencimento", "emitida_em", "sha256"}},
    {"chamadas_cobradas", {"chave", "fatura"}},
}};

constexpr const char* esquema = R"(
CREATE TABLE clientes (
    codigo    INTEGER PRIMARY KEY CHECK (codigo BETWEEN 1 AND 4294967295),
    nome      TEXT NOT NULL CHECK (length(nome) BETWEEN 1 AND 100),
    endereco  TEXT NOT NULL DEFAULT '' CHECK (length(endereco) <= 200),
    documento TEXT CHECK (length(documento) IN (11, 14)),
    email     TEXT,
    cep       TEXT CHECK (length(cep) = 8),
    cidade    TEXT,
    uf        TEXT CHECK (length(uf) = 2)
);
CREATE TABLE linhas (
    numero  TEXT PRIMARY KEY,
    cliente INTEGER NOT NULL REFERENCES clientes (codigo),
    plano   TEXT
);
CREATE INDEX linhas_por_cliente ON linhas (cliente);
CREATE TABLE faturas (
    numero         TEXT PRIMARY KEY,
    cliente        INTEGER NOT NULL REFERENCES clientes (codigo),
    ano            INTEGER NOT NULL,
    mes            INTEGER NOT NULL CHECK (mes BETWEEN 1 AND 12),
    valor_centavos INTEGER NOT NULL,
    vencimento     TEXT NOT NULL,
    emitida_em     TEXT NOT NULL,
    sha256         TEXT NOT NULL,
    UNIQUE (cliente, ano, mes)
);
CREATE INDEX faturas_por_mes ON faturas (ano, mes);
CREATE TABLE chamadas_cobradas (
    chave  TEXT PRIMARY KEY,
    fatura TEXT NOT NULL REFERENCES faturas (numero)
) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

// One prepared statement, finalized when it goes.
class Instrucao {
  public:
    Instrucao(Livro& l, const char* sql) : livro_(l) {
        rc_ = sqlite3_prepare_v2(l.db(), sql, -1, &st_, nullptr);
    }
    ~Instrucao() { sqlite3_finalize(st_); }
    Instrucao(const Instrucao&) = delete;
    Instrucao& operator=(const Instrucao&) = delete;

    // Binds the values in order; an empty text is NULL where `nulo`.
    Instrucao& texto(std::string_view t, bool nulo = false) {
        if (nulo && t.empty())
            sqlite3_bind_null(st_, ++n_);
        else
            sqlite3_bind_text(st_, ++n_, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Instrucao& inteiro(std::int64_t v) {
        sqlite3_bind_int64(st_, ++n_, v);
        return *this;
    }
    // The next row: true while there is one; `erro` says why it stopped otherwise.
    bool linha() {
        if (rc_ != SQLITE_OK && rc_ != SQLITE_ROW) return false;
        rc_ = sqlite3_step(st_);
        return rc_ == SQLITE_ROW;
    }
    // Runs it to its end, then makes it ready for new values.
    Erro executa() {
        while (linha()) {
        }
        Erro e = erro();
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
        rc_ = SQLITE_OK;
        n_ = 0;
        return e;
    }
    [[nodiscard]] Erro erro() const {
        return rc_ == SQLITE_OK || rc_ == SQLITE_ROW || rc_ == SQLITE_DONE ? Erro{}
                                                                           : livro_.falha(rc_);
    }
    std::string coluna(int i) const { return std::string(texto_da_coluna(i)); }
    std::int64_t numero(int i) const { return sqlite3_column_int64(st_, i); }
    // The text of column `i` of this row, valid until the next.
    std::string_view texto_da_coluna(int i) const {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st_, i));
        return t != nullptr
                   ? std::string_view(t, static_cast<std::size_t>(sqlite3_column_bytes(st_, i)))
                   : std::string_view();
    }
    // Whether the query gives a row; made ready for new values.
    bool tem_linha(Erro& e) {
        const bool tem = linha();
        e = executa();
        return tem;
    }

  private:
    Livro& livro_;
    sqlite3_stmt* st_ = nullptr;
    int rc_ = SQLITE_OK;
    int n_ = 0;
};

// The customer of a row of the columns of `clientes`, in order.
Cliente cliente_da_linha(const Instrucao& q) {
    return {static_cast<std::uint32_t>(q.numero(0)),
            q.coluna(1),
            q.coluna(2),
            q.coluna(3),
            q.coluna(4),
            q.coluna(5),
            q.coluna(6),
            q.coluna(7)};
}

// The number the query `sql` counts.
Erro conta_linhas(Livro& l, const char* sql, std::int64_t& n) {
    Instrucao q(l, sql);
    n = q.linha() ? q.numero(0) : 0;
    return q.executa();
}

bool termina_em_db(const std::string& caminho) {
    return caminho.size() > 3 && caminho.ends_with(".db");
}

Erro abre_livro(const std::string& caminho, bool cria, std::unique_ptr<Livro>& l) {
    return Livro::abre(caminho, cria, l);
}

}  // namespace

bool e_livro(const std::string& caminho) {
    if (termina_em_db(caminho)) return true;
    const int fd = ::open(caminho.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    std::array<char, 16> inicio{};
    ssize_t n = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) n = ::read(fd, inicio.data(), 16);
    ::close(fd);
    return n == 16 && std::string_view(inicio.data(), 16) == cabecalho_sqlite;
}

Erro Livro::abre(const std::string& caminho, bool cria, std::unique_ptr<Livro>& livro) {
    livro.reset(new Livro(caminho));
    // A file that is there but not SQLite is said as such, before SQLite would write to it.
    if (struct stat info{}; ::stat(caminho.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return Erro::recusado(caminho, "nao e um arquivo regular");
        if (info.st_size > 0 && !e_livro(caminho))
            return Erro::dados(caminho, 0, "nao e um livro (o arquivo nao e um banco SQLite)");
    } else if (!cria) {
        return Erro::ausente("arquivo nao encontrado").no_arquivo(caminho);
    }
    const int modo = SQLITE_OPEN_READWRITE | (cria ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (const int rc = sqlite3_open_v2(caminho.c_str(), &livro->db_, modo, nullptr);
        rc != SQLITE_OK)
        return livro->falha(rc);
    return livro->prepara(cria);
}

Livro::~Livro() {
    sqlite3_close_v2(db_);
}

Erro Livro::falha(int rc) const {
    const int base = rc & 0xFF;
    if (base == SQLITE_BUSY || base == SQLITE_LOCKED)
        return Erro::recusado(caminho_,
                              "travado ha 5 s por outra gravacao; tente de novo quando "
                              "o outro programa terminar");
    if (base == SQLITE_NOTADB)
        return Erro::dados(caminho_, 0, "nao e um livro (o arquivo nao e um banco SQLite)");
    if (base == SQLITE_CORRUPT) return Erro::dados(caminho_, 0, "livro corrompido");
    if (base == SQLITE_CANTOPEN || base == SQLITE_PERM || base == SQLITE_READONLY)
        return Erro::leitura(caminho_, sqlite3_system_errno(db_));
    if (base == SQLITE_IOERR || base == SQLITE_FULL)
        return Erro::gravacao(caminho_, sqlite3_system_errno(db_));
    if (base == SQLITE_NOMEM) return Erro::sistema("sem memoria para o livro");
    return Erro::dados(caminho_, 0,
                       std::string("o SQLite recusou: ") +
                           (db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)));
}

Erro Livro::executa(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Erro{} : falha(rc);
}

Erro Livro::prepara(bool cria) {
    // Another writer is waited for 5 s; then the book is said to be locked.
    sqlite3_busy_timeout(db_, 5000);
    if (Erro e = executa("PRAGMA foreign_keys = ON"); !e.ok()) return e;
    std::int64_t v = 0;
    std::int64_t tabelas_achadas = 0;
    {
        Instrucao versao(*this, "PRAGMA user_version");
        if (!versao.linha()) return versao.erro();
        v = versao.numero(0);
        Instrucao tem(*this, "SELECT count(*) FROM sqlite_schema");
        if (!tem.linha()) return tem.erro();
        tabelas_achadas = tem.numero(0);
    }
    if (v > versao_do_livro)
        return Erro::dados(caminho_, 0,
                           "o livro e da versao " + std::to_string(v) +
                               " do esquema; este programa conhece ate a versao " +
                               std::to_string(versao_do_livro) + " (atualize o contacel)");
    if (v == 0) {
        if (tabelas_achadas != 0 || !cria)
            return Erro::dados(
                caminho_, 0, "nao e um livro do contacel (um banco SQLite sem o esquema do livro)");
        if (Erro e = executa("PRAGMA journal_mode = WAL"); !e.ok()) return e;
        if (Erro e = transacao([&] { return executa(esquema); }); !e.ok()) return e;
    }
    if (Erro e = executa("PRAGMA synchronous = FULL"); !e.ok()) return e;
    return confere_esquema();
}

Erro Livro::confere_esquema() {
    Instrucao colunas(*this, "SELECT name FROM pragma_table_info(?)");
    for (const Tabela& t : tabelas) {
        colunas.texto(t.nome);
        std::vector<std::string> achadas;
        while (colunas.linha())
            achadas.push_back(colunas.coluna(0));
        if (Erro e = colunas.executa(); !e.ok()) return e;
        if (achadas.empty())
            return Erro::dados(caminho_, 0,
                               std::string("o livro foi alterado a mao: falta a tabela ") + t.nome);
        for (const char* c : t.colunas)
            if (std::ranges::find(achadas, c) == achadas.end())
                return Erro::dados(
                    caminho_, 0,
                    std::string("o livro foi alterado a mao: falta a coluna ") + t.nome + "." + c);
        if (achadas.size() != t.colunas.size())
            return Erro::dados(
                caminho_, 0,
                std::string("o livro foi alterado a mao: colunas a mais em ") + t.nome);
    }
    return {};
}

Erro Livro::clientes(Clientes& lista) {
    lista = {};
    Instrucao n(*this, "SELECT count(*) FROM clientes");
    if (n.linha()) lista.reserve(static_cast<std::size_t>(n.numero(0)));
    Instrucao q(*this,
                "SELECT codigo, nome, endereco, documento, email, cep, cidade, uf FROM clientes "
                "ORDER BY codigo");
    while (q.linha())
        lista.insere(cliente_da_linha(q));
    return q.erro();
}

Erro Livro::codigos(std::vector<std::uint32_t>& lista) {
    lista.clear();
    Instrucao q(*this, "SELECT codigo FROM clientes ORDER BY codigo");
    while (q.linha())
        lista.push_back(static_cast<std::uint32_t>(q.numero(0)));
    return q.erro();
}

Erro Livro::clientes(std::span<const std::uint32_t> cods, Clientes& lista) {
    Instrucao q(*this,
                "SELECT codigo, nome, endereco, documento, email, cep, cidade, uf FROM clientes "
                "WHERE codigo = ?");
    for (const std::uint32_t cod : cods) {
        q.inteiro(cod);
        if (q.linha()) lista.insere(cliente_da_linha(q));
        if (Erro e = q.executa(); !e.ok()) return e;
    }
    return {};
}

Erro Livro::linhas(std::vector<LinhaDoLivro>& lista) {
    lista.clear();
    return linhas([&](std::string_view numero, std::uint32_t cliente, std::string_view plano) {
        lista.push_back({std::string(numero), cliente, std::string(plano)});
    });
}

Erro Livro::linhas(
    const std::function<void(std::string_view, std::uint32_t, std::string_view)>& cada) {
    Instrucao q(*this, "SELECT numero, cliente, plano FROM linhas ORDER BY rowid");
    while (q.linha())
        cada(q.texto_da_coluna(0), static_cast<std::uint32_t>(q.numero(1)), q.texto_da_coluna(2));
    return q.erro();
}

Erro Livro::grava_clientes(std::span<const Cliente> lista) {
    Instrucao q(*this,
                "INSERT INTO clientes VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (codigo) DO "
                "UPDATE SET nome = excluded.nome, endereco = excluded.endereco, documento = "
                "excluded.documento, email = excluded.email, cep = excluded.cep, cidade = "
                "excluded.cidade, uf = excluded.uf");
    for (const Cliente& c : lista) {
        q.inteiro(c.codigo).texto(c.nome).texto(c.endereco);
        for (const std::string* s : {&c.documento, &c.email, &c.cep, &c.cidade, &c.uf})
            q.texto(*s, true);
        if (Erro e = q.executa(); !e.ok()) return e;
    }
    return {};
}

Erro Livro::exclui_cliente(std::uint32_t cod) {
    Instrucao faturas(*this, "SELECT min(numero), count(*) FROM faturas WHERE cliente = ?");
    faturas.inteiro(cod);
    if (faturas.linha() && faturas.numero(1) != 0)
        return Erro::recusado(caminho_, "o cliente " + std::to_string(cod) + " tem " +
                                            std::to_string(faturas.numero(1)) +
                                            " faturas emitidas (a primeira, " + faturas.coluna(0) +
                                            "); o livro as guarda");
    Instrucao linhas(*this, "SELECT count(*) FROM linhas WHERE cliente = ?");
    linhas.inteiro(cod);
    if (linhas.linha() && linhas.numero(0) != 0)
        return Erro::recusado(caminho_, "o cliente " + std::to_string(cod) + " tem " +
                                            std::to_string(linhas.numero(0)) +
                                            " linhas no livro; tire-as antes com linhas importar");
    Instrucao q(*this, "DELETE FROM clientes WHERE codigo = ?");
    q.inteiro(cod);
    if (Erro e = q.executa(); !e.ok()) return e;
    if (sqlite3_changes(db_) == 0)
        return Erro::ausente("nao ha cliente com o codigo " + std::to_string(cod))
            .no_arquivo(caminho_);
    return {};
}

Erro Livro::troca_linhas(std::span<const LinhaDoLivro> linhas) {
    if (Erro e = executa("DELETE FROM linhas"); !e.ok()) return e;
    Instrucao q(*this, "INSERT INTO linhas VALUES (?, ?, ?)");
    for (const LinhaDoLivro& l : linhas)
        if (Erro e = q.texto(l.numero).inteiro(l.cliente).texto(l.plano, true).executa(); !e.ok())
            return e;
    return {};
}

Erro Livro::copia_para(const std::string& destino) {
    // Never over a file: it may be a book another program has open.
    if (::access(destino.c_str(), F_OK) == 0)
        return Erro::recusado(destino, "o arquivo ja existe; a copia vai para um arquivo novo");
    sqlite3* copia = nullptr;
    int rc = sqlite3_open_v2(destino.c_str(), &copia, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    Erro e;
    if (rc == SQLITE_OK) {
        // The online backup: page by page, started again when a writer changes the book.
        sqlite3_backup* b = sqlite3_backup_init(copia, "main", db_, "main");
        if (b == nullptr) {
            rc = sqlite3_errcode(copia);
        } else {
            while ((rc = sqlite3_backup_step(b, 256)) == SQLITE_OK || rc == SQLITE_BUSY ||
                   rc == SQLITE_LOCKED)
                sqlite3_sleep(5);
            sqlite3_backup_finish(b);
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
        }
    }
    if (rc != SQLITE_OK) e = Erro::gravacao(destino, sqlite3_system_errno(copia));
    sqlite3_close_v2(copia);
    if (!e.ok()) ::unlink(destino.c_str());
    return e;
}

// ---- The commands ----

Erro carrega_clientes(const std::string& caminho, Clientes& clientes,
                      std::vector<LinhaDoLivro>* linhas) {
    if (!e_livro(caminho)) {
        TLisCli lc{};
        if (Erro e = le_cadastro(caminho, &lc); !e.ok()) return e;
        return clientes_do_cadastro(lc, clientes);
    }
    std::unique_ptr<Livro> l;
    if (Erro e = abre_livro(caminho, false, l); !e.ok()) return e;
    if (Erro e = l->clientes(clientes); !e.ok()) return e;
    return linhas != nullptr ? l->linhas(*linhas) : Erro{};
}

Erro importa_clientes(const std::string& caminho, const std::string& csv, bool forcar,
                      Codificacao codificacao, std::size_t& importados) {
    Clientes lidos;
    importados = 0;
    if (!e_livro(caminho)) {
        Erro e = importa_csv(caminho, csv, forcar, lidos, codificacao);
        importados = lidos.size();
        return e;
    }
    if (Erro e = le_csv_clientes(csv, Guarda::livro, codificacao, lidos); !e.ok()) return e;
    std::unique_ptr<Livro> l;
    if (Erro e = abre_livro(caminho, true, l); !e.ok()) return e;
    Erro e = l->transacao([&]() -> Erro {
        std::int64_t antes = 0;
        if (Erro f = conta_linhas(*l, "SELECT count(*) FROM clientes", antes); !f.ok()) return f;
        if (antes != 0 && !forcar)
            return Erro::recusado(caminho, "o livro ja tem " + std::to_string(antes) +
                                               " clientes (use --forcar para importar por cima)");
        return l->grava_clientes(std::span(lidos.begin(), lidos.end()));
    });
    if (e.ok()) importados = lidos.size();
    return e;
}

Erro exporta_clientes(const std::string& caminho, const std::string& csv, bool forcar,
                      DialetoCsv dialeto, std::vector<Erro>& avisos) {
    if (!e_livro(caminho)) return exporta_csv(caminho, csv, forcar, avisos, dialeto);
    avisos.clear();
    Clientes lista;
    if (Erro e = carrega_clientes(caminho, lista); !e.ok()) return e;
    return escreve_csv(csv, codifica_csv_clientes(lista, Guarda::livro, dialeto), forcar, caminho);
}

namespace {

// `c` with the fields given.
void aplica(Cliente& c, const CamposCliente& campos) {
    const std::array<std::string*, 7> alvo{&c.nome, &c.endereco, &c.documento, &c.email,
                                           &c.cep,  &c.cidade,   &c.uf};
    for (std::size_t i = 0; i < campos.size(); ++i)
        if (campos[i]) *alvo[i] = std::string(*campos[i]);
}

bool so_nome_e_endereco(const CamposCliente& campos) {
    return std::all_of(campos.begin() + 2, campos.end(), [](const auto& c) { return !c; });
}

Erro so_no_livro(const std::string& caminho) {
    return Erro::uso(caminho +
                     ": o cadastro guarda so codigo, nome e endereco; os outros campos vao para um "
                     "livro (.db)");
}

// Changes the customer `cod` of a book with `muda`, under the book's rules.
template <typename F>
Erro muda_no_livro(const std::string& caminho, bool cria, F&& muda) {
    std::unique_ptr<Livro> l;
    if (Erro e = abre_livro(caminho, cria, l); !e.ok()) return e;
    Erro e = l->transacao([&] { return muda(*l); });
    if (!e.ok() && e.arquivo.empty()) e.arquivo = caminho;
    return e;
}

}  // namespace

Erro inclui(const std::string& caminho, std::uint32_t cod, const CamposCliente& campos,
            bool forcar) {
    if (!e_livro(caminho)) {
        if (!so_nome_e_endereco(campos)) return so_no_livro(caminho);
        return inclui_cliente(caminho, cod, *campos[0], campos[1].value_or(""), forcar);
    }
    return muda_no_livro(caminho, true, [&](Livro& l) -> Erro {
        Cliente c;
        aplica(c, campos);
        Clientes um;
        if (Erro e = insere_validado(um, Guarda::livro, cod, std::move(c)); !e.ok()) return e;
        Instrucao existe(l, "SELECT 1 FROM clientes WHERE codigo = ?");
        existe.inteiro(cod);
        if (existe.linha()) return Erro::dados("codigo repetido");
        return l.grava_cliente(um[0]);
    });
}

Erro altera(const std::string& caminho, std::uint32_t cod, const CamposCliente& campos,
            bool forcar) {
    if (!e_livro(caminho)) {
        if (!so_nome_e_endereco(campos)) return so_no_livro(caminho);
        return altera_cliente(caminho, cod, campos[0], campos[1], forcar);
    }
    return muda_no_livro(caminho, false, [&](Livro& l) -> Erro {
        Clientes um;
        if (Erro e = l.clientes(std::span(&cod, 1), um); !e.ok()) return e;
        if (um.empty()) return Erro::ausente("nao ha cliente com o codigo " + std::to_string(cod));
        Cliente c = um[0];
        aplica(c, campos);
        if (Erro e = valida_cliente(c, Guarda::livro); !e.ok()) return e;
        return l.grava_cliente(c);
    });
}

Erro exclui(const std::string& caminho, std::uint32_t cod, bool forcar) {
    if (!e_livro(caminho)) return exclui_cliente(caminho, cod, forcar);
    return muda_no_livro(caminho, false, [&](Livro& l) { return l.exclui_cliente(cod); });
}

Erro verifica(const std::string& caminho, std::string& saida, std::vector<Erro>& avisos) {
    avisos.clear();
    if (!e_livro(caminho)) {
        TLisCli lc{};
        if (Erro e = verifica_cadastro(caminho, &lc, avisos); !e.ok()) return e;
        saida = caminho + ": " + std::to_string(lc.ncl) +
                " clientes; o cadastro serve para uma execucao\n";
        return {};
    }
    Clientes lista;
    if (Erro e = carrega_clientes(caminho, lista); !e.ok()) return e;
    // Rows written by hand are judged by the rules importar applies.
    for (const Cliente& c : lista) {
        Cliente copia = c;
        if (Erro e = valida_cliente(copia, Guarda::livro); !e.ok())
            avisos.push_back(Erro::dados(caminho, 0,
                                         "cliente " + std::to_string(c.codigo) + ": " + e.detalhe +
                                             "; importar o recusaria"));
    }
    TLisCli lc{};
    const bool execucao = cadastro_dos_clientes(lista, lc).ok() && confere_cadastro(&lc).ok();
    saida = caminho + ": " + std::to_string(lista.size()) +
            " clientes; o livro serve para cobrar registros" +
            (execucao ? " e, exportado com --arq, para uma execucao\n" : "\n");
    return {};
}

Erro lista(const std::string& caminho, bool utf8, std::string& saida) {
    if (!e_livro(caminho)) return lista_cadastro(caminho, utf8, saida);
    saida.clear();
    Clientes lista;
    if (Erro e = carrega_clientes(caminho, lista); !e.ok()) return e;
    for (const Cliente& c : lista) {
        saida += fmt::format("{:03}  {:<25}  {:<35}", c.codigo, c.nome, c.endereco);
        if (!c.documento.empty()) saida += "  " + documento_formatado(c.documento);
        saida += '\n';
    }
    return {};
}

Erro importa_linhas(const std::string& livro, const std::string& csv, bool forcar,
                    std::size_t& importadas) {
    importadas = 0;
    std::unique_ptr<Livro> l;
    if (Erro e = abre_livro(livro, false, l); !e.ok()) return e;
    return l->transacao([&]() -> Erro {
        std::int64_t antes = 0;
        if (Erro e = conta_linhas(*l, "SELECT count(*) FROM linhas", antes); !e.ok()) return e;
        if (antes != 0 && !forcar)
            return Erro::recusado(livro, "o livro ja tem " + std::to_string(antes) +
                                             " linhas (use --forcar para substitui-las)");
        std::vector<std::uint32_t> codigos;
        if (Erro e = l->codigos(codigos); !e.ok()) return e;
        Clientes clientes;
        clientes.conhece(std::move(codigos));
        TabelaLinhas tabela;
        std::vector<LinhaLida> lidas;
        if (Erro e = le_linhas(csv, clientes, tabela, &lidas); !e.ok()) return e;
        std::vector<LinhaDoLivro> novas;
        novas.reserve(lidas.size());
        for (LinhaLida& x : lidas)
            novas.push_back({std::move(x.numero), x.cliente, std::move(x.plano)});
        importadas = novas.size();
        return l->troca_linhas(novas);
    });
}

namespace {

// The lines file of the book's lines; the column `plano` only when a line has a plan.
std::string csv_das_linhas(const std::vector<LinhaDoLivro>& linhas, DialetoCsv d) {
    const bool planos =
        std::ranges::any_of(linhas, [](const LinhaDoLivro& l) { return !l.plano.empty(); });
    std::string s = planos ? cabecalho_csv({"numero", "cliente", "plano"}, d)
                           : cabecalho_csv({"numero", "cliente"}, d);
    for (const LinhaDoLivro& l : linhas) {
        acrescenta_campo_csv(s, l.numero, d);
        s += d.separador + std::to_string(l.cliente);
        if (planos) {
            s += d.separador;
            acrescenta_campo_csv(s, l.plano, d);
        }
        s += d.fim_de_linha;
    }
    return s;
}

}  // namespace

Erro exporta_linhas(const std::string& livro, const std::string& csv, bool forcar,
                    DialetoCsv dialeto) {
    Clientes clientes;
    std::vector<LinhaDoLivro> linhas;
    if (Erro e = carrega_clientes(livro, clientes, &linhas); !e.ok()) return e;
    return escreve_csv(csv, csv_das_linhas(linhas, dialeto), forcar, livro);
}

Erro lista_linhas(const std::string& livro, std::string& saida) {
    Clientes clientes;
    std::vector<LinhaDoLivro> linhas;
    if (Erro e = carrega_clientes(livro, clientes, &linhas); !e.ok()) return e;
    saida.clear();
    for (const LinhaDoLivro& l : linhas)
        saida += fmt::format("{:<20}  {:03}  {}\n", l.numero, l.cliente,
                             cliente_da_conta(&clientes, l.cliente).nome);
    return {};
}

Erro exporta_cadastro(const std::string& livro, const std::string& arq, bool forcar) {
    Clientes clientes;
    if (Erro e = carrega_clientes(livro, clientes); !e.ok()) return e;
    TLisCli lc{};
    if (Erro e = cadastro_dos_clientes(clientes, lc); !e.ok())
        return std::move(e).no_arquivo(livro);
    if (e_do_lido(identidade_de(arq), livro))
        return Erro::recusado(arq, "e o proprio livro; o cadastro vai para outro arquivo");
    return grava_cadastro(arq, &lc, forcar);
}

Erro copia_livro(const std::string& livro, const std::string& copia) {
    std::unique_ptr<Livro> l;
    if (Erro e = abre_livro(livro, false, l); !e.ok()) return e;
    return l->copia_para(copia);
}

// ---- The bills it issued ----

namespace {

std::string data_iso(TData d) {
    return fmt::format("{:04}-{:02}-{:02}", d.ano, d.mes, d.dia);
}

TData data_de_iso(std::string_view t) {
    const auto n = [&](std::size_t i, std::size_t k) {
        int v = 0;
        for (std::size_t j = i; j < i + k && j < t.size(); ++j)
            v = v * 10 + (t[j] - '0');
        return v;
    };
    return {static_cast<std::int8_t>(n(8, 2)), static_cast<std::int8_t>(n(5, 2)),
            static_cast<std::int16_t>(n(0, 4))};
}

// The range of the keys of a month's calls: the keys begin with the answer time, "2024-11-...".
std::pair<std::string, std::string> chaves_do_mes(std::int16_t ano, std::int8_t mes) {
    const std::string m = fmt::format("{:04}-{:02}", ano, mes);
    return {m + "-", m + "."};
}

std::string mes_ano(const ContaMensal& c) {
    return fmt::format("{:02}/{:04}", c.mes, c.ano);
}

// The bills the book issued for the months of `contas`, by chave_conta.
Erro le_emitidas(Livro& l, const Contas& contas,
                 std::unordered_map<std::uint64_t, FaturaDoLivro>& emitidas) {
    std::vector<std::uint32_t> meses;
    for (const ContaMensal& c : contas.contas)
        meses.push_back(chave_mes({1, c.mes, c.ano}));
    std::ranges::sort(meses);
    meses.erase(std::unique(meses.begin(), meses.end()), meses.end());
    Instrucao q(l,
                "SELECT numero, cliente, valor_centavos, vencimento, emitida_em, sha256 FROM "
                "faturas WHERE ano = ? AND mes = ?");
    for (const std::uint32_t m : meses) {
        const auto ano = static_cast<std::int16_t>(m >> 8U);
        const auto mes = static_cast<std::int8_t>(m & 0xFFU);
        q.inteiro(ano).inteiro(mes);
        while (q.linha()) {
            FaturaDoLivro f{q.coluna(0),
                            static_cast<std::uint32_t>(q.numero(1)),
                            ano,
                            mes,
                            q.numero(2),
                            data_de_iso(q.coluna(3)),
                            data_de_iso(q.coluna(4)),
                            q.coluna(5)};
            emitidas.emplace(chave_conta(f.cliente, {1, mes, ano}), std::move(f));
        }
        if (Erro e = q.executa(); !e.ok()) return e;
    }
    return {};
}

}  // namespace

struct FaturadasDoLivro::Consultas {
    explicit Consultas(Livro& l)
        : mes(l, "SELECT 1 FROM chamadas_cobradas WHERE chave >= ? AND chave < ? LIMIT 1"),
          chave(l, "SELECT 1 FROM chamadas_cobradas WHERE chave = ?"),
          alguma(l, "SELECT 1 FROM chamadas_cobradas LIMIT 1") {}
    Instrucao mes;
    Instrucao chave;
    Instrucao alguma;
};

FaturadasDoLivro::FaturadasDoLivro(Livro& livro) : consultas_(std::make_unique<Consultas>(livro)) {}

FaturadasDoLivro::~FaturadasDoLivro() = default;

bool FaturadasDoLivro::nenhuma() {
    return !consultas_->alguma.tem_linha(erro_) && erro_.ok();
}

bool FaturadasDoLivro::contem(const RegistroChamada& r) {
    if (!erro_.ok()) return false;
    // Most months have no issued bill: their rows are not asked one by one.
    const std::uint32_t m = chave_mes(r.inicio.dat);
    auto it = std::ranges::find(meses_, m, &std::pair<std::uint32_t, bool>::first);
    if (it == meses_.end()) {
        const auto [de, ate] = chaves_do_mes(r.inicio.dat.ano, r.inicio.dat.mes);
        const bool tem = consultas_->mes.texto(de).texto(ate).tem_linha(erro_);
        it = meses_.insert(meses_.end(), {m, tem});
    }
    return it->second && consultas_->chave.texto(chave_da_chamada(r)).tem_linha(erro_);
}

Erro tira_emitidas(Livro& l, Contas& contas) {
    std::unordered_map<std::uint64_t, FaturaDoLivro> emitidas;
    if (Erro e = le_emitidas(l, contas, emitidas); !e.ok()) return e;
    std::erase_if(contas.contas, [&](const ContaMensal& c) {
        const auto it = emitidas.find(chave_conta(c));
        if (it == emitidas.end()) return false;
        const FaturaDoLivro& f = it->second;
        contas.emitidas[chave_conta(c)] = {f.numero, f.emitida_em, f.vencimento};
        return c.chamadas == 0;
    });
    return {};
}

Erro numera_faturas(Livro& l, Contas& contas) {
    if (Erro e = tira_emitidas(l, contas); !e.ok()) return e;
    for (const ContaMensal& c : contas.contas)
        if (const auto it = contas.emitidas.find(chave_conta(c)); it != contas.emitidas.end())
            return Erro::dados(
                l.caminho(), 0,
                fmt::format("a conta de {} do cliente {} ja foi emitida, fatura {}, e os "
                            "registros tem chamadas dela nao faturadas ({}); --mes escolhe "
                            "outro mes",
                            mes_ano(c), c.cod_cli, it->second.numero, c.chamadas));
    // The next number of each year of issue, after the greatest ever issued in it.
    std::vector<std::pair<std::int16_t, std::int64_t>> proximos;
    Instrucao maior(l, "SELECT max(numero) FROM faturas WHERE numero >= ? AND numero < ?");
    for (const ContaMensal& c : contas.contas) {
        const TData emitida = emissao_da_conta(c);
        auto p =
            std::ranges::find(proximos, emitida.ano, &std::pair<std::int16_t, std::int64_t>::first);
        if (p == proximos.end()) {
            const std::string ano = fmt::format("{:04}", emitida.ano);
            maior.texto(ano + "-").texto(ano + ".");
            std::int64_t n = 0;
            if (maior.linha()) {
                const std::string m = maior.coluna(0);
                for (std::size_t i = 5; i < m.size(); ++i)
                    n = n * 10 + (m[i] - '0');
            }
            if (Erro e = maior.executa(); !e.ok()) return e;
            p = proximos.insert(proximos.end(), {emitida.ano, n + 1});
        }
        if (p->second > 999999)
            return Erro::dados(l.caminho(), 0,
                               fmt::format("o livro ja numerou 999999 faturas em {}", p->first));
        contas.emitidas[chave_conta(c)] = {fmt::format("{:04}-{:06}", p->first, p->second++),
                                           emitida, vencimento_da_conta(c)};
    }
    return {};
}

Erro registra_fatura(Livro& l, const Contas& contas, const ContaMensal& conta,
                     const std::string& sha256) {
    const Emitida& f = contas.emitidas.at(chave_conta(conta));
    Instrucao fatura(l, "INSERT INTO faturas VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    fatura.texto(f.numero)
        .inteiro(conta.cod_cli)
        .inteiro(conta.ano)
        .inteiro(conta.mes)
        .inteiro(conta.valor_total.centavos)
        .texto(data_iso(f.vencimento))
        .texto(data_iso(f.emitida_em))
        .texto(sha256);
    if (Erro e = fatura.executa(); !e.ok()) return e;
    Instrucao chamada(l, "INSERT INTO chamadas_cobradas VALUES (?, ?)");
    for (const ChamadaCobrada& c : contas.chamadas_de(conta))
        if (Erro e = chamada.texto(contas.chaves.at(c.ordem)).texto(f.numero).executa(); !e.ok())
            return e;
    return {};
}

Erro confere_segunda_via(Livro& l, Contas& contas) {
    std::unordered_map<std::uint64_t, FaturaDoLivro> emitidas;
    if (Erro e = le_emitidas(l, contas, emitidas); !e.ok()) return e;
    // How many calls each bill of a month holds, its keys' range counted once a month.
    std::unordered_map<std::string, std::int64_t> chamadas;
    std::vector<std::uint32_t> contados;
    Instrucao por_fatura(l,
                         "SELECT fatura, count(*) FROM chamadas_cobradas WHERE chave >= ? AND "
                         "chave < ? GROUP BY fatura");
    Instrucao da_chave(l, "SELECT fatura FROM chamadas_cobradas WHERE chave = ?");
    const auto outra = [&](const ContaMensal& c, const FaturaDoLivro& f, std::string_view agora) {
        return Erro::dados(l.caminho(), 0,
                           fmt::format("a fatura {} (cliente {}, {}) nao e a dos registros: {}; "
                                       "a segunda via seria outra conta",
                                       f.numero, c.cod_cli, mes_ano(c), agora));
    };
    for (const ContaMensal& c : contas.contas) {
        const auto it = emitidas.find(chave_conta(c));
        if (it == emitidas.end())
            return Erro::dados(l.caminho(), 0,
                               fmt::format("a conta de {} do cliente {} nao foi emitida; emita-a "
                                           "sem --segunda-via",
                                           mes_ano(c), c.cod_cli));
        const FaturaDoLivro& f = it->second;
        if (f.valor_centavos != c.valor_total.centavos)
            return outra(c, f,
                         fmt::format("foi de R$ {}, os registros dao R$ {}",
                                     dinheiro({true, f.valor_centavos, 0.0F}, ','),
                                     dinheiro(c.valor_total, ',')));
        if (const std::uint32_t m = chave_mes({1, c.mes, c.ano});
            std::ranges::find(contados, m) == contados.end()) {
            contados.push_back(m);
            const auto [de, ate] = chaves_do_mes(c.ano, c.mes);
            por_fatura.texto(de).texto(ate);
            while (por_fatura.linha())
                chamadas[por_fatura.coluna(0)] = por_fatura.numero(1);
            if (Erro e = por_fatura.executa(); !e.ok()) return e;
        }
        bool mesmas = chamadas[f.numero] == c.chamadas;
        for (const ChamadaCobrada& ch : contas.chamadas_de(c)) {
            if (!mesmas) break;
            da_chave.texto(contas.chaves.at(ch.ordem));
            mesmas = da_chave.linha() && da_chave.coluna(0) == f.numero;
            if (Erro e = da_chave.executa(); !e.ok()) return e;
        }
        if (!mesmas)
            return outra(c, f,
                         fmt::format("teve {} chamadas, os registros dao {} outras",
                                     chamadas[f.numero], c.chamadas));
        contas.emitidas[chave_conta(c)] = {f.numero, f.emitida_em, f.vencimento};
    }
    return {};
}

Erro abre_para_cobrar(const std::string& caminho, const Tarifa& tarifa,
                      std::unique_ptr<Livro>& livro, Clientes& clientes, TabelaLinhas& linhas) {
    if (Erro e = Livro::abre(caminho, false, livro); !e.ok()) return e;
    std::vector<std::uint32_t> codigos;
    if (Erro e = livro->codigos(codigos); !e.ok()) return e;
    clientes.conhece(std::move(codigos));
    std::int64_t n = 0;
    if (Erro e = conta_linhas(*livro, "SELECT count(*) FROM linhas", n); !e.ok()) return e;
    linhas.reserva(static_cast<std::size_t>(n));
    if (Erro e = livro->linhas(
            [&](std::string_view numero, std::uint32_t cliente, std::string_view plano) {
                linhas.acrescenta(numero, cliente, plano);
            });
        !e.ok())
        return e;
    linhas.indexa();
    return acha_planos(linhas, tarifa, caminho);
}

Erro prepara_contas(Livro& l, Contas& contas, UsoDasContas uso) {
    const Erro e = uso == UsoDasContas::lista         ? tira_emitidas(l, contas)
                   : uso == UsoDasContas::segunda_via ? confere_segunda_via(l, contas)
                                                      : numera_faturas(l, contas);
    if (!e.ok()) return e;
    // Only the customers billed, of however many the book holds.
    std::vector<std::uint32_t> cobrados;
    for (const ContaMensal& conta : contas.contas)
        cobrados.push_back(conta.cod_cli);
    std::ranges::sort(cobrados);
    cobrados.erase(std::unique(cobrados.begin(), cobrados.end()), cobrados.end());
    auto detalhes = std::make_shared<Clientes>();
    if (Erro ed = l.clientes(cobrados, *detalhes); !ed.ok()) return ed;
    contas.clientes = std::move(detalhes);
    return {};
}
