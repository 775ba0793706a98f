#include "leitura.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace {

constexpr std::size_t mib = std::size_t{1} << 20;

Erro grande_demais(const char* caminho, std::size_t n) {
    return Erro::recusado(caminho, n % mib == 0
                                       ? "arquivo com mais de " + std::to_string(n / mib) + " MiB"
                                       : "arquivo com mais de " + std::to_string(n) + " bytes");
}

// With `recusa`, whether one byte more is there: a file that grew while it was read.
Erro confere_fim(const char* caminho, int fd, std::size_t n) {
    std::byte mais[1];
    std::size_t lidos = 0;
    if (le_ate_encher(fd, mais, lidos) != 0 || lidos != 0) return grande_demais(caminho, n);
    return {};
}

}  // namespace

Identidade identidade_de(const std::string& caminho) {
    struct stat info {};
    if (::stat(caminho.c_str(), &info) != 0) return {};
    return {info.st_dev, info.st_ino, true};
}

Identidade identidade_do_nome(const std::string& caminho) {
    struct stat info {};
    if (::lstat(caminho.c_str(), &info) != 0) return {};
    return {info.st_dev, info.st_ino, true};
}

Identidade identidade_do_descritor(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return {};
    return {info.st_dev, info.st_ino, true};
}

bool e_do_lido(const Identidade& alvo, const std::string& lido) {
    if (alvo.e(identidade_lida(lido))) return true;
    for (const char* diario : {"-wal", "-shm", "-journal"})
        if (alvo.e(identidade_de(lido + diario))) return true;
    return false;
}

Identidade identidade_lida(const std::string& caminho) {
    return caminho == "-" ? identidade_do_descritor(STDIN_FILENO) : identidade_de(caminho);
}

ArquivoAberto::~ArquivoAberto() {
    if (fd_ >= 0) ::close(fd_);
}

int ArquivoAberto::solta() {
    return std::exchange(fd_, -1);
}

Erro abre_arquivo_regular(const char* caminho, ArquivoAberto& a) {
    // Opened without waiting, so that a FIFO or a device is refused rather than waited on.
    const int fd = ::open(caminho, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    // A socket, which cannot be opened at all, is named as what it is.
    if (fd < 0 && errno == ENXIO) return Erro::recusado(caminho, "nao e um arquivo regular");
    if (fd < 0) return Erro::leitura(caminho, errno);
    ArquivoAberto aberto;
    aberto.fd_ = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return Erro::leitura(caminho, errno);
    if (!S_ISREG(info.st_mode)) return Erro::recusado(caminho, "nao e um arquivo regular");
    std::swap(a.fd_, aberto.fd_);
    a.tamanho_ = static_cast<std::uint64_t>(info.st_size);
    return {};
}

Erro abre_entrada_padrao(ArquivoAberto& a) {
    const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return Erro::leitura({}, errno);
    ArquivoAberto aberto;
    aberto.fd_ = fd;
    std::swap(a.fd_, aberto.fd_);
    a.tamanho_ = 0;
    return {};
}

int le_ate_encher(int fd, std::span<std::byte> b, std::size_t& lidos,
                  std::optional<std::uint64_t> posicao) {
    lidos = 0;
    while (lidos < b.size()) {
        const ssize_t n = posicao ? ::pread(fd, b.data() + lidos, b.size() - lidos,
                                            static_cast<off_t>(*posicao + lidos))
                                  : ::read(fd, b.data() + lidos, b.size() - lidos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        lidos += static_cast<std::size_t>(n);
    }
    return 0;
}

Erro le_arquivo_regular(const char* caminho, std::span<std::byte> destino, std::size_t& lidos,
                        Excesso excesso) {
    lidos = 0;
    ArquivoAberto a;
    if (Erro e = abre_arquivo_regular(caminho, a); !e.ok()) return e;
    if (excesso == Excesso::recusa && a.tamanho() > destino.size())
        return grande_demais(caminho, destino.size());
    if (const int falha = le_ate_encher(a.fd(), destino, lidos); falha != 0) {
        lidos = 0;
        return Erro::leitura(caminho, falha);
    }
    if (excesso == Excesso::recusa && lidos == destino.size())
        if (Erro e = confere_fim(caminho, a.fd(), destino.size()); !e.ok()) {
            lidos = 0;
            return e;
        }
    return {};
}

Erro le_arquivo_inteiro(const char* caminho, std::string& bytes, std::size_t maximo) {
    bytes.clear();
    ArquivoAberto a;
    if (Erro e = abre_arquivo_regular(caminho, a); !e.ok()) return e;
    if (a.tamanho() > maximo) return grande_demais(caminho, maximo);
    bytes.resize(static_cast<std::size_t>(a.tamanho()));
    std::size_t lidos = 0;
    const int falha = le_ate_encher(a.fd(), std::as_writable_bytes(std::span(bytes)), lidos);
    bytes.resize(lidos);
    if (falha != 0) return Erro::leitura(caminho, falha);
    return {};
}
