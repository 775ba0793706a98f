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

Erro erro(TipoErro tipo, const std::string& arquivo, int sis = 0, std::string detalhe = {}) {
    return {.tipo = tipo, .arquivo = arquivo, .sis = sis, .detalhe = std::move(detalhe)};
}

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

// May this user replace the existing file `info` stands for? Root may write anything, so for
// root a file without any write bit is one its owner keeps from being changed.
bool pode_escrever(const std::string& arquivo, const struct stat& info) {
    if (::geteuid() == 0) return (info.st_mode & 0222) != 0;
    return ::faccessat(AT_FDCWD, arquivo.c_str(), W_OK, AT_EACCESS) == 0;
}

constexpr const char* nao_regular = "nao e um arquivo regular";

Erro sem_escrita(const std::string& nome) {
    return erro(TipoErro::recusado, nome, 0, "sem permissao de escrita");
}

// The error of a write that gave the errno `e`, or none.
Erro de_gravacao(const std::string& nome, int e) {
    if (e == 0) return {};
    if (e == EEXIST) return erro(TipoErro::ja_existe, nome);
    // A file whose owner cannot be kept: only that user or root may replace it.
    if (e == EPERM)
        return erro(TipoErro::gravacao, nome, 0,
                    "o arquivo e de outro usuario, que e quem pode muda-lo (ou root)");
    return erro(TipoErro::gravacao, nome, e);
}

// Writes `bytes` as the file `nome` stands for, under the lock on its folder. An existing file
// is replaced only when `forcar`, and only a regular one the user may write.
Erro grava(const std::string& nome, std::span<const std::byte> bytes, bool forcar) {
    const std::string arquivo = destino_real(nome.c_str());
    const TravaDePasta trava(arquivo);
    if (trava.erro() != 0) return de_gravacao(nome, trava.erro());
    struct stat info {};
    if (::stat(arquivo.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return erro(TipoErro::recusado, nome, 0, nao_regular);
        if (!forcar) return erro(TipoErro::ja_existe, nome);
        if (!pode_escrever(arquivo, info)) return sem_escrita(nome);
    }
    return de_gravacao(
        nome, grava_arquivo(arquivo, bytes, forcar ? ModoGravacao::substitui : ModoGravacao::novo));
}

std::span<const std::byte> bytes_de(const TLisCli* lc,
                                    std::array<std::byte, tamanho_maximo_arq>& buf) {
    return std::span(buf).first(codifica_lis_cli(lc, buf));
}

// Reads the register, changes it with `muda` and writes it back, all under the lock. A register
// that does not exist is an empty one when `cria`.
template <typename F>
Erro transacao(const std::string& nome, bool cria, F&& muda) {
    const std::string arquivo = destino_real(nome.c_str());
    const TravaDePasta trava(arquivo);
    if (trava.erro() != 0) return de_gravacao(nome, trava.erro());
    TLisCli lc{};
    if (Erro e = le_registro(arquivo, nome, &lc); !e.ok()) {
        if (!(cria && e.tipo == TipoErro::ausente)) return e;
    } else {
        struct stat info {};
        if (::stat(arquivo.c_str(), &info) != 0 || !pode_escrever(arquivo, info))
            return sem_escrita(nome);
    }
    if (Erro e = muda(lc); !e.ok()) {
        e.arquivo = nome;
        return e;
    }
    std::array<std::byte, tamanho_maximo_arq> buf{};
    return de_gravacao(nome, grava_arquivo(arquivo, bytes_de(&lc, buf), ModoGravacao::substitui));
}

Erro ausente(std::uint32_t cod) {
    return {.tipo = TipoErro::ausente,
            .detalhe = "nao ha cliente com o codigo " + std::to_string(cod)};
}

// The descriptor a name stands for when it, or a link on the way to a file, names one of the
// process's own: /dev/stdout, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N.
std::optional<int> descritor(const std::string& nome) {
    const std::string proprio = "/proc/" + std::to_string(::getpid()) + "/fd/";
    std::string atual = nome;
    for (int i = 0; i < 40; ++i) {
        if (atual == "-" || atual == "/dev/stdout") return 1;
        if (atual == "/dev/stderr") return 2;
        for (const std::string& pasta : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                         std::string("/proc/thread-self/fd/"), proprio}) {
            if (!atual.starts_with(pasta)) continue;
            int fd = -1;
            const char* fim = atual.data() + atual.size();
            const auto [p, ec] = std::from_chars(atual.data() + pasta.size(), fim, fd);
            if (ec == std::errc{} && p == fim) return fd;
        }
        struct stat info {};
        if (::lstat(atual.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return std::nullopt;
        std::array<char, PATH_MAX + 1> alvo{};
        const ssize_t n = ::readlink(atual.c_str(), alvo.data(), alvo.size() - 1);
        if (n <= 0) return std::nullopt;
        const std::string proximo(alvo.data(), static_cast<std::size_t>(n));
        const std::size_t barra = atual.rfind('/');
        atual = proximo.starts_with('/') || barra == std::string::npos
                    ? proximo
                    : atual.substr(0, barra + 1) + proximo;
    }
    return std::nullopt;
}

bool mesmo_arquivo(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Writes `bytes` in place into what `fd` is open on.
Erro escreve_em(int fd, const std::string& nome, std::span<const std::byte> bytes) {
    return de_gravacao(nome, escreve_tudo(fd, bytes));
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
    for (std::uint32_t i = 0; i < std::min(lc->ncl, capacidade_lis_cli); ++i) {
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

Erro importa_csv(const std::string& csv, const std::string& caminho, bool forcar, TLisCli* lc,
                 Codificacao codificacao) {
    lc->ncl = 0;
    std::string bytes(limite_de_leitura, '\0');
    std::size_t lidos = 0;
    if (Erro e = le_arquivo_regular(csv.c_str(), std::as_writable_bytes(std::span(bytes)), lidos,
                                    Excesso::recusa);
        !e.ok())
        return e;
    bytes.resize(lidos);
    if (Erro e = decodifica_csv_clientes(std::as_bytes(std::span(bytes)), lc, codificacao);
        !e.ok()) {
        e.arquivo = csv;
        return e;
    }
    return grava_cadastro(caminho, lc, forcar);
}

Erro exporta_csv(const std::string& caminho, const std::string& csv, bool forcar,
                 std::vector<Erro>& avisos, DialetoCsv dialeto) {
    avisos.clear();
    TLisCli lc{};
    if (Erro e = le_cadastro(caminho, &lc); !e.ok()) return e;
    avisos = infracoes(caminho, &lc);
    if (sem_conversao(avisos)) return ultimo(avisos);
    const std::string texto = codifica_csv_clientes(&lc, dialeto);
    const auto bytes = std::as_bytes(std::span(texto));

    struct stat cadastro {};
    if (::stat(caminho.c_str(), &cadastro) != 0) return erro(TipoErro::leitura, caminho, errno);
    const std::string nome = csv.empty() ? "-" : csv;
    const auto o_proprio = [&] {
        return erro(TipoErro::recusado, nome, 0,
                    "e o proprio cadastro; o CSV vai para outro arquivo");
    };
    struct stat alvo {};
    if (const std::optional<int> fd = descritor(nome)) {
        if (::fstat(*fd, &alvo) != 0) return erro(TipoErro::gravacao, nome, errno);
        if (mesmo_arquivo(alvo, cadastro)) return o_proprio();
        return escreve_em(*fd, nome, bytes);
    }
    if (::stat(nome.c_str(), &alvo) == 0) {
        if (mesmo_arquivo(alvo, cadastro)) return o_proprio();
        if (!S_ISREG(alvo.st_mode)) {
            const int fd = ::open(nome.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0) return erro(TipoErro::gravacao, nome, errno);
            Erro e = escreve_em(fd, nome, bytes);
            if (::close(fd) != 0 && e.ok()) e = erro(TipoErro::gravacao, nome, errno);
            return e;
        }
    }
    return grava(nome, bytes, forcar);
}

Erro inclui_cliente(const std::string& caminho, std::uint32_t cod, std::string_view nome,
                    std::string_view endereco) {
    return transacao(caminho, true,
                     [&](TLisCli& lc) { return insere_validado(&lc, cod, nome, endereco); });
}

Erro altera_cliente(const std::string& caminho, std::uint32_t cod,
                    std::optional<std::string_view> nome,
                    std::optional<std::string_view> endereco) {
    return transacao(caminho, false, [&](TLisCli& lc) {
        const int i = posicao_do_codigo(&lc, cod);
        if (i < 0) return ausente(cod);
        return altera_validado(&lc, static_cast<std::uint32_t>(i), nome, endereco);
    });
}

Erro exclui_cliente(const std::string& caminho, std::uint32_t cod) {
    return transacao(caminho, false, [&](TLisCli& lc) {
        const int i = posicao_do_codigo(&lc, cod);
        if (i < 0) return ausente(cod);
        std::copy(lc.clientes + i + 1, lc.clientes + lc.ncl, lc.clientes + i);
        --lc.ncl;
        return Erro{};
    });
}
