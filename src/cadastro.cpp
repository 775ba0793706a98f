#include "cadastro.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "codigo850.h"
#include "gravacao.h"
#include "impressao.h"
#include "leitura.h"
#include "regra_cliente.h"

namespace {

// A file whose first bytes are all text: a CSV given where the register goes.
bool parece_texto(std::string_view bytes) {
    const std::string_view inicio = bytes.substr(0, 64);
    return !inicio.empty() && std::ranges::all_of(inicio, [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 || b == '\t' || b == '\r' || b == '\n';
    });
}

// The register at `real`, reported as `nome`.
Erro le_registro(const std::string& real, const std::string& nome, TLisCli* lc) {
    Erro e = le_lis_cli_de(real.c_str(), lc);
    if (e.ok()) return e;
    e.arquivo = nome;
    if (e.tipo == TipoErro::dados) {
        // A CSV given where the register goes: the file is read again to say so.
        std::array<std::byte, 64> inicio{};
        std::size_t lidos = 0;
        if (le_arquivo_regular(real.c_str(), inicio, lidos, Excesso::ignora).ok() &&
            parece_texto({reinterpret_cast<const char*>(inicio.data()), lidos}))
            e.detalhe += " (parece um arquivo de texto; um CSV entra com importar)";
    }
    return e;
}

constexpr const char* nao_regular = "nao e um arquivo regular";

// `e` told by the name the user gave rather than by the end of its links.
Erro pelo_nome(Erro e, const Destino& d, const std::string& nome) {
    if (e.arquivo == d.caminho) e.arquivo = nome;
    return e;
}

// The file `nome` stands for at the end of its links, which must be a file, not a descriptor.
Erro arquivo_de(const std::string& nome, Destino& d) {
    if (Erro e = segue_links(nome, d); !e.ok()) return e;
    return d.descritor < 0 ? Erro{} : Erro::recusado(nome, nao_regular);
}

// Writes `bytes` as the file `nome` stands for. An existing file is replaced only when
// `forcar`, and never when it is `protegido`.
Erro grava(const std::string& nome, std::span<const std::byte> bytes, bool forcar,
           Identidade protegido = {}) {
    Destino d;
    if (Erro e = arquivo_de(nome, d); !e.ok()) return e;
    OpcoesGravacao op;
    op.substitui = forcar;
    op.divide = forcar;
    op.protegido = protegido;
    return pelo_nome(grava_arquivo(d.caminho, bytes, op), d, nome);
}

std::span<const std::byte> bytes_de(const TLisCli* lc,
                                    std::array<std::byte, tamanho_maximo_arq>& buf) {
    return std::span(buf).first(codifica_lis_cli(lc, buf));
}

// Reads the register, changes it with `muda` and writes it back, all under its lock. A register
// that does not exist is an empty one when `cria`; one with more names (hard links) is split
// from them only when `divide`.
template <typename F>
Erro transacao(const std::string& nome, bool cria, bool divide, F&& muda) {
    Destino d;
    if (Erro e = arquivo_de(nome, d); !e.ok()) return e;
    OpcoesGravacao op;
    op.substitui = true;
    op.divide = divide;
    Gravacao g(d.caminho, op);
    if (Erro e = g.trava(); !e.ok()) return pelo_nome(e, d, nome);
    TLisCli lc{};
    if (Erro e = le_registro(d.caminho, nome, &lc);
        !e.ok() && !(cria && e.tipo == TipoErro::ausente))
        return e;
    if (Erro e = muda(lc); !e.ok()) {
        e.arquivo = nome;
        return e;
    }
    std::array<std::byte, tamanho_maximo_arq> buf{};
    Erro e = g.escreve(bytes_de(&lc, buf));
    if (e.ok()) e = g.confirma();
    return pelo_nome(e, d, nome);
}

Erro ausente(std::uint32_t cod) {
    return Erro::ausente("nao ha cliente com o codigo " + std::to_string(cod));
}

// Whether the infractions say that no text can be judged.
bool sem_conversao(const std::vector<Erro>& avisos) {
    return avisos.size() == 1 && avisos[0].tipo == TipoErro::sistema;
}

Erro ultimo(std::vector<Erro>& avisos) {
    Erro e = std::move(avisos.back());
    avisos.clear();
    return e;
}

}  // namespace

Erro le_cadastro(const std::string& caminho, TLisCli* lc) {
    return le_registro(caminho, caminho, lc);
}

std::vector<Erro> infracoes(const std::string& arquivo, const TLisCli* lc) {
    std::vector<Erro> lista;
    for (std::uint32_t i = 0; i < lc->ncl; ++i) {
        Erro e = confere_cliente(lc, i);
        e.arquivo = arquivo;
        // Without a converter no text can be judged: that is the one thing to say.
        if (e.tipo == TipoErro::sistema) return {e};
        if (e.ok()) continue;
        e.detalhe = "cliente " + std::to_string(i + 1) + " (codigo " +
                    std::to_string(lc->clientes[i].cod_cli) + "): " + e.detalhe +
                    "; importar o recusaria";
        lista.push_back(std::move(e));
    }
    return lista;
}

Erro verifica_cadastro(const std::string& caminho, TLisCli* lc, std::vector<Erro>& avisos) {
    avisos.clear();
    if (Erro e = le_cadastro(caminho, lc); !e.ok()) return e;
    avisos = infracoes(caminho, lc);
    if (sem_conversao(avisos)) return ultimo(avisos);
    // Texts a spreadsheet would run as formulas, were the CSV opened in one.
    for (std::uint32_t i = 0; i < lc->ncl; ++i) {
        const TCliente& c = lc->clientes[i];
        for (const auto& [campo, texto] : {std::pair{"nome", c.nome}, {"endereco", c.endereco}})
            if (parece_formula({texto, ::strnlen(texto, sizeof c.nome)}))
                avisos.push_back(Erro::dados(caminho, 0,
                                             "cliente " + std::to_string(i + 1) + " (codigo " +
                                                 std::to_string(c.cod_cli) + "): " + campo +
                                                 " que uma planilha tomaria por formula; exportar "
                                                 "--planilha o marca com um apostrofo"));
    }
    Erro e = confere_cadastro(lc);
    if (!e.ok()) e.arquivo = caminho;
    return e;
}

Erro lista_cadastro(const std::string& caminho, bool utf8, std::string& saida) {
    saida.clear();
    TLisCli lc{};
    if (Erro e = le_cadastro(caminho, &lc); !e.ok()) return e;
    for (std::uint32_t i = 0; i < lc.ncl; ++i) {
        // The same columns, padded in code page 850 bytes, then converted.
        const std::string linha = fmt::format(FMT_COMPILE("{}\n"), lc.clientes[i]);
        if (!utf8) {
            saida += linha;
            continue;
        }
        std::string convertida;
        if (Erro e = em_utf8(linha, convertida); !e.ok()) {
            saida.clear();
            e.arquivo = caminho;
            return e;
        }
        saida += convertida;
    }
    return {};
}

Erro grava_cadastro(const std::string& caminho, const TLisCli* lc, bool forcar) {
    std::array<std::byte, tamanho_maximo_arq> buf{};
    return grava(caminho, bytes_de(lc, buf), forcar);
}

Erro gera_cadastro(const std::string& caminho, int n, unsigned semente, bool forcar) {
    std::srand(semente);
    TLisCli lc{};
    gere_lis_cli(n, &lc);
    return grava_cadastro(caminho, &lc, forcar);
}

Erro le_csv_clientes(const std::string& csv, Guarda guarda, Codificacao codificacao,
                     Clientes& clientes) {
    clientes = {};
    // A register's CSV is small; a book's may list an operator's every customer.
    std::string bytes;
    if (Erro e = le_arquivo_inteiro(csv.c_str(), bytes,
                                    guarda == Guarda::livro ? limite_do_livro : limite_de_leitura);
        !e.ok())
        return e;
    Erro e =
        decodifica_csv_clientes(std::as_bytes(std::span(bytes)), clientes, guarda, codificacao);
    if (!e.ok()) e.arquivo = csv;
    return e;
}

Erro importa_csv(const std::string& caminho, const std::string& csv, bool forcar,
                 Clientes& clientes, Codificacao codificacao) {
    if (Erro e = le_csv_clientes(csv, Guarda::cadastro, codificacao, clientes); !e.ok()) return e;
    TLisCli lc{};
    if (Erro e = cadastro_dos_clientes(clientes, lc); !e.ok()) return e;
    return grava_cadastro(caminho, &lc, forcar);
}

Erro escreve_csv(const std::string& csv, std::string_view texto, bool forcar,
                 const std::string& lido) {
    const auto bytes = std::as_bytes(std::span(texto));
    const Identidade cadastro = identidade_de(lido);
    const std::string nome = csv.empty() ? "-" : csv;
    const auto o_proprio = [&] {
        return Erro::recusado(nome, "e o proprio cadastro; o CSV vai para outro arquivo");
    };
    Destino d;
    if (Erro e = segue_links(nome, d); !e.ok()) return e;
    if (d.descritor >= 0) {
        if (e_do_lido(identidade_do_descritor(d.descritor), lido)) return o_proprio();
        return escreve_tudo(d.descritor, bytes, nome);
    }
    // Opened first, then looked at: a device or a FIFO is written in place, a FIFO nobody reads
    // is said at once rather than waited on, and a regular file is replaced below.
    const int fd = ::open(d.caminho.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (struct stat info{}; fd < 0 && errno == ENXIO && ::stat(d.caminho.c_str(), &info) == 0)
        return Erro::recusado(nome, S_ISFIFO(info.st_mode)
                                        ? "FIFO sem leitor: ninguem esta lendo dele"
                                        : nao_regular);
    if (fd >= 0) {
        const Identidade alvo = identidade_do_descritor(fd);
        struct stat info {};
        Erro e;
        if (e_do_lido(alvo, lido)) {
            e = o_proprio();
        } else if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
            // Written in place, now waiting as a reader takes it.
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            e = escreve_tudo(fd, bytes, nome);
            if (::close(fd) != 0 && e.ok()) e = Erro::gravacao(nome, errno);
            return e;
        }
        ::close(fd);
        if (!e.ok()) return e;
    }
    return grava(nome, bytes, forcar, cadastro);
}

Erro exporta_csv(const std::string& caminho, const std::string& csv, bool forcar,
                 std::vector<Erro>& avisos, DialetoCsv dialeto) {
    avisos.clear();
    TLisCli lc{};
    if (Erro e = le_cadastro(caminho, &lc); !e.ok()) return e;
    avisos = infracoes(caminho, &lc);
    if (sem_conversao(avisos)) return ultimo(avisos);
    return escreve_csv(csv,
                       codifica_csv_clientes(clientes_do_cadastro(lc), Guarda::cadastro, dialeto),
                       forcar, caminho);
}

Erro inclui_cliente(const std::string& caminho, std::uint32_t cod, std::string_view nome,
                    std::string_view endereco, bool divide) {
    return transacao(caminho, true, divide,
                     [&](TLisCli& lc) { return insere_validado(&lc, cod, nome, endereco); });
}

Erro altera_cliente(const std::string& caminho, std::uint32_t cod,
                    std::optional<std::string_view> nome, std::optional<std::string_view> endereco,
                    bool divide) {
    return transacao(caminho, false, divide, [&](TLisCli& lc) {
        const int i = posicao_do_codigo(&lc, cod);
        if (i < 0) return ausente(cod);
        return altera_validado(&lc, static_cast<std::uint32_t>(i), nome, endereco);
    });
}

Erro exclui_cliente(const std::string& caminho, std::uint32_t cod, bool divide) {
    return transacao(caminho, false, divide, [&](TLisCli& lc) {
        const int i = posicao_do_codigo(&lc, cod);
        if (i < 0) return ausente(cod);
        std::copy(lc.clientes + i + 1, lc.clientes + lc.ncl, lc.clientes + i);
        --lc.ncl;
        return Erro{};
    });
}
