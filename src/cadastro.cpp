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

#include "gravacao.h"
#include "impressao.h"

namespace {

ErroCadastro erro(ErroCad tipo, const std::string& arquivo, int sis = 0) {
    ErroCadastro e;
    e.tipo = tipo;
    e.arquivo = arquivo;
    e.sis = sis;
    return e;
}

// Reads the regular file `caminho`: at most `limite` bytes, and when `corta` the bytes beyond
// are ignored rather than refused.
ErroCadastro le_regular(const std::string& caminho, std::size_t limite, bool corta,
                        std::string& bytes) {
    bytes.clear();
    // Opened without waiting, so that a FIFO or a device is refused rather than waited on.
    const int fd = ::open(caminho.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return erro(ErroCad::leitura, caminho, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return erro(ErroCad::nao_regular, caminho);
    }
    if (!corta && static_cast<std::size_t>(info.st_size) > limite) {
        ::close(fd);
        return erro(ErroCad::grande_demais, caminho);
    }
    // One byte more than the limit tells a file that grew while it was read.
    bytes.resize(limite + 1);
    std::size_t lidos = 0;
    int falha = 0;
    while (lidos < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + lidos, bytes.size() - lidos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) falha = errno;
        if (n <= 0) break;
        lidos += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(std::min(lidos, limite));
    if (falha != 0) return erro(ErroCad::leitura, caminho, falha);
    if (!corta && lidos > limite) return erro(ErroCad::grande_demais, caminho);
    return {};
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
ErroCadastro le_registro(const std::string& real, const std::string& nome, TLisCli* lc) {
    lc->ncl = 0;
    std::string bytes;
    // Like the run, only as far as the fullest list reaches.
    ErroCadastro e = le_regular(real, tamanho_maximo_arq, true, bytes);
    e.arquivo = nome;
    if (e.tipo == ErroCad::nao_regular) {
        e.tipo = ErroCad::cadastro;
        e.cli = {ErroCli::nao_regular};
    } else if (e.tipo == ErroCad::leitura) {
        e.tipo = ErroCad::cadastro;
        e.cli = {e.sis == ENOENT   ? ErroCli::inexistente
                 : e.sis == EACCES ? ErroCli::sem_permissao
                                   : ErroCli::leitura};
    }
    if (!e.ok()) return e;
    e.cli = decodifica_lis_cli(std::as_bytes(std::span(bytes)), lc);
    if (!e.cli.ok()) {
        e.tipo = ErroCad::cadastro;
        e.parece_texto = parece_texto(bytes);
    }
    return e;
}

// May this user replace the existing file `info` stands for? Root may write anything, so for
// root a file without any write bit is one its owner keeps from being changed.
bool pode_escrever(const std::string& arquivo, const struct stat& info) {
    if (::geteuid() == 0) return (info.st_mode & 0222) != 0;
    return ::faccessat(AT_FDCWD, arquivo.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes `bytes` as the file `nome` stands for, under the lock on its folder. An existing file
// is replaced only when `forcar`, and only a regular one the user may write.
ErroCadastro grava(const std::string& nome, std::span<const std::byte> bytes, bool forcar) {
    const std::string arquivo = destino_real(nome.c_str());
    const TravaDePasta trava(arquivo);
    if (trava.erro() != 0) return erro(ErroCad::gravacao, nome, trava.erro());
    struct stat info {};
    if (::stat(arquivo.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return erro(ErroCad::nao_regular, nome);
        if (!forcar) return erro(ErroCad::ja_existe, nome);
        if (!pode_escrever(arquivo, info)) return erro(ErroCad::sem_escrita, nome);
    }
    const int e =
        grava_arquivo(arquivo, bytes, forcar ? ModoGravacao::substitui : ModoGravacao::novo);
    if (e == EEXIST) return erro(ErroCad::ja_existe, nome);
    return e == 0 ? ErroCadastro{} : erro(ErroCad::gravacao, nome, e);
}

std::span<const std::byte> bytes_de(const TLisCli* lc,
                                    std::array<std::byte, tamanho_maximo_arq>& buf) {
    return std::span(buf).first(codifica_lis_cli(lc, buf));
}

// Reads the register, changes it with `muda` and writes it back, all under the lock. A register
// that does not exist is an empty one when `cria`.
template <typename F>
ErroCadastro transacao(const std::string& nome, bool cria, F&& muda) {
    const std::string arquivo = destino_real(nome.c_str());
    const TravaDePasta trava(arquivo);
    if (trava.erro() != 0) return erro(ErroCad::gravacao, nome, trava.erro());
    TLisCli lc{};
    if (ErroCadastro e = le_registro(arquivo, nome, &lc); !e.ok()) {
        if (!(cria && e.tipo == ErroCad::cadastro && e.cli.erro == ErroCli::inexistente)) return e;
    } else {
        struct stat info {};
        if (::stat(arquivo.c_str(), &info) != 0 || !pode_escrever(arquivo, info))
            return erro(ErroCad::sem_escrita, nome);
    }
    if (ErroCadastro e = muda(lc); !e.ok()) {
        e.arquivo = nome;
        return e;
    }
    std::array<std::byte, tamanho_maximo_arq> buf{};
    const int e = grava_arquivo(arquivo, bytes_de(&lc, buf), ModoGravacao::substitui);
    return e == 0 ? ErroCadastro{} : erro(ErroCad::gravacao, nome, e);
}

ErroCadastro de_regra(StatusRegra st) {
    ErroCadastro e;
    if (!st.ok()) {
        e.tipo = ErroCad::regra;
        e.regra = st;
    }
    return e;
}

ErroCadastro ausente(std::uint32_t cod) {
    ErroCadastro e;
    e.tipo = ErroCad::ausente;
    e.codigo = cod;
    return e;
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
ErroCadastro escreve_em(int fd, const std::string& nome, std::span<const std::byte> bytes) {
    const int e = escreve_tudo(fd, bytes);
    return e == 0 ? ErroCadastro{} : erro(ErroCad::gravacao, nome, e);
}

}  // namespace

std::string descreve_erro_cadastro(const ErroCadastro& e) {
    std::string s = e.arquivo;
    if (e.tipo == ErroCad::csv && e.csv.linha != 0) s += ":" + std::to_string(e.csv.linha);
    s += ": ";
    switch (e.tipo) {
        case ErroCad::nenhum:
            return s + "sem erro";
        case ErroCad::cadastro: {
            // The run's own words for the register, without its "programa: arquivo: ".
            char* texto = nullptr;
            std::size_t tamanho = 0;
            std::FILE* f = ::open_memstream(&texto, &tamanho);
            if (f == nullptr) return s + "cadastro invalido";
            relata_erro_cli(f, "", "", e.cli);
            std::fclose(f);
            std::string motivo(texto, tamanho);
            std::free(texto);
            motivo = motivo.substr(std::min<std::size_t>(4, motivo.size()));
            if (motivo.ends_with('\n')) motivo.pop_back();
            if (e.parece_texto)
                motivo += " (parece um arquivo de texto; um CSV entra com importar)";
            return s + motivo;
        }
        case ErroCad::csv:
            return s + descreve_erro_csv(e.csv);
        case ErroCad::regra:
            return s + descreve_regra(e.regra);
        case ErroCad::infracao:
            return s + "cliente " + std::to_string(e.posicao + 1) + " (codigo " +
                   std::to_string(e.codigo) + "): " + descreve_regra(e.regra) +
                   "; importar o recusaria";
        case ErroCad::ausente:
            return s + "nao ha cliente com o codigo " + std::to_string(e.codigo);
        case ErroCad::leitura:
            return s + "nao foi possivel ler: " + std::strerror(e.sis);
        case ErroCad::nao_regular:
            return s + "nao e um arquivo regular";
        case ErroCad::grande_demais:
            return s + "arquivo com mais de 1 MiB";
        case ErroCad::ja_existe:
            return s + "o arquivo ja existe (use --forcar para substitui-lo)";
        case ErroCad::sem_escrita:
            return s + "sem permissao de escrita";
        case ErroCad::gravacao:
            // A file whose owner cannot be kept: only that user or root may replace it.
            if (e.sis == EPERM)
                return s +
                       "erro ao gravar: o arquivo e de outro usuario, que e quem pode muda-lo (ou "
                       "root)";
            return s + "erro ao gravar: " + std::strerror(e.sis);
        case ErroCad::o_proprio_cadastro:
            return s + "e o proprio cadastro; o CSV vai para outro arquivo";
        case ErroCad::conversao:
            return s + descreve_erro_texto(ErroTexto::conversao, "");
    }
    return s;
}

ErroCadastro le_arquivo_regular(const std::string& caminho, std::string& bytes) {
    return le_regular(caminho, limite_de_leitura, false, bytes);
}

ErroCadastro le_cadastro(const std::string& caminho, TLisCli* lc) {
    return le_registro(caminho, caminho, lc);
}

std::vector<ErroCadastro> infracoes(const std::string& arquivo, const TLisCli* lc) {
    std::vector<ErroCadastro> lista;
    for (std::uint32_t i = 0; i < std::min(lc->ncl, capacidade_lis_cli); ++i) {
        const StatusRegra st = confere_cliente(lc, i);
        if (st.ok()) continue;
        ErroCadastro e = erro(ErroCad::infracao, arquivo);
        e.regra = st;
        e.posicao = i;
        e.codigo = lc->clientes[i].cod_cli;
        lista.push_back(e);
    }
    return lista;
}

ErroCadastro verifica_cadastro(const std::string& caminho, TLisCli* lc,
                               std::vector<ErroCadastro>& avisos) {
    avisos.clear();
    if (ErroCadastro e = le_cadastro(caminho, lc); !e.ok()) return e;
    avisos = infracoes(caminho, lc);
    // Without a converter no text can be judged: that is the one thing to say.
    if (std::ranges::any_of(
            avisos, [](const ErroCadastro& a) { return a.regra.texto == ErroTexto::conversao; })) {
        avisos.clear();
        return erro(ErroCad::conversao, caminho);
    }
    ErroCadastro e;
    e.cli = confere_cadastro(lc);
    if (!e.cli.ok()) {
        e.tipo = ErroCad::cadastro;
        e.arquivo = caminho;
    }
    return e;
}

ErroCadastro lista_cadastro(const std::string& caminho, bool utf8, std::string& saida) {
    saida.clear();
    TLisCli lc{};
    if (ErroCadastro e = le_cadastro(caminho, &lc); !e.ok()) return e;
    for (std::uint32_t i = 0; i < lc.ncl; ++i) {
        // The same columns, padded in code page 850 bytes, then converted.
        const std::string linha = fmt::format(FMT_COMPILE("{}\n"), lc.clientes[i]);
        if (!utf8) {
            saida += linha;
            continue;
        }
        std::string convertida;
        if (em_utf8(linha, convertida) != ErroTexto::nenhum) {
            saida.clear();
            return erro(ErroCad::conversao, caminho);
        }
        saida += convertida;
    }
    return {};
}

ErroCadastro grava_cadastro(const std::string& caminho, const TLisCli* lc, bool forcar) {
    std::array<std::byte, tamanho_maximo_arq> buf{};
    return grava(caminho, bytes_de(lc, buf), forcar);
}

ErroCadastro importa_csv(const std::string& csv, const std::string& caminho, bool forcar,
                         TLisCli* lc, Codificacao codificacao) {
    lc->ncl = 0;
    std::string bytes;
    if (ErroCadastro e = le_arquivo_regular(csv, bytes); !e.ok()) return e;
    if (const StatusCsv st =
            decodifica_csv_clientes(std::as_bytes(std::span(bytes)), lc, codificacao);
        !st.ok()) {
        ErroCadastro e = erro(ErroCad::csv, csv);
        e.csv = st;
        return e;
    }
    return grava_cadastro(caminho, lc, forcar);
}

ErroCadastro exporta_csv(const std::string& caminho, const std::string& csv, bool forcar,
                         std::vector<ErroCadastro>& avisos, DialetoCsv dialeto) {
    avisos.clear();
    TLisCli lc{};
    if (ErroCadastro e = le_cadastro(caminho, &lc); !e.ok()) return e;
    avisos = infracoes(caminho, &lc);
    for (const ErroCadastro& a : avisos) {
        if (a.regra.texto == ErroTexto::conversao) {
            avisos.clear();
            return erro(ErroCad::conversao, caminho);
        }
    }
    const std::string texto = codifica_csv_clientes(&lc, dialeto);
    const auto bytes = std::as_bytes(std::span(texto));

    struct stat cadastro {};
    if (::stat(caminho.c_str(), &cadastro) != 0) return erro(ErroCad::leitura, caminho, errno);
    const std::string nome = csv.empty() ? "-" : csv;
    struct stat alvo {};
    if (const std::optional<int> fd = descritor(nome)) {
        if (::fstat(*fd, &alvo) != 0) return erro(ErroCad::gravacao, nome, errno);
        if (mesmo_arquivo(alvo, cadastro)) return erro(ErroCad::o_proprio_cadastro, nome);
        return escreve_em(*fd, nome, bytes);
    }
    if (::stat(nome.c_str(), &alvo) == 0) {
        if (mesmo_arquivo(alvo, cadastro)) return erro(ErroCad::o_proprio_cadastro, nome);
        if (!S_ISREG(alvo.st_mode)) {
            const int fd = ::open(nome.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0) return erro(ErroCad::gravacao, nome, errno);
            ErroCadastro e = escreve_em(fd, nome, bytes);
            if (::close(fd) != 0 && e.ok()) e = erro(ErroCad::gravacao, nome, errno);
            return e;
        }
    }
    return grava(nome, bytes, forcar);
}

ErroCadastro inclui_cliente(const std::string& caminho, std::uint32_t cod, std::string_view nome,
                            std::string_view endereco) {
    return transacao(caminho, true, [&](TLisCli& lc) {
        return de_regra(insere_validado(&lc, cod, nome, endereco));
    });
}

ErroCadastro altera_cliente(const std::string& caminho, std::uint32_t cod,
                            std::optional<std::string_view> nome,
                            std::optional<std::string_view> endereco) {
    return transacao(caminho, false, [&](TLisCli& lc) {
        const int i = busca_cliente(&lc, static_cast<int>(cod));
        if (i < 0) return ausente(cod);
        return de_regra(altera_validado(&lc, static_cast<std::uint32_t>(i), nome, endereco));
    });
}

ErroCadastro exclui_cliente(const std::string& caminho, std::uint32_t cod) {
    return transacao(caminho, false, [&](TLisCli& lc) {
        const int i = busca_cliente(&lc, static_cast<int>(cod));
        if (i < 0) return ausente(cod);
        std::copy(lc.clientes + i + 1, lc.clientes + lc.ncl, lc.clientes + i);
        --lc.ncl;
        return ErroCadastro{};
    });
}
