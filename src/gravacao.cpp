#include "gravacao.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

std::string pasta_de(const std::string& arquivo) {
    const std::size_t barra = arquivo.rfind('/');
    if (barra == std::string::npos) return ".";
    return barra == 0 ? "/" : arquivo.substr(0, barra);
}

// The temporary file being written, for the signal handler to remove, and the dispositions the
// handler gives back. A signal handler can reach nothing but static storage, so this one piece
// of state lives here.
std::array<char, PATH_MAX + 1> temporario_em_curso{};
volatile std::sig_atomic_t ha_temporario = 0;

// Every signal whose default ends the process and that a user or a job system sends.
constexpr std::array<int, 8> sinais_de_fim{SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                                           SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU};
std::array<struct sigaction, sinais_de_fim.size()> disposicoes_anteriores{};

extern "C" void remove_e_termina(int sinal) {
    if (ha_temporario != 0) ::unlink(temporario_em_curso.data());
    for (std::size_t i = 0; i < sinais_de_fim.size(); ++i)
        if (sinais_de_fim[i] == sinal) sigaction(sinal, &disposicoes_anteriores[i], nullptr);
    std::raise(sinal);
}

// Holds the temporary file's name for the handler while it exists; signals that end the
// process remove it first. Every disposition changed here is given back at the end.
class Temporario {
  public:
    explicit Temporario(const std::string& modelo) {
        sigset_t todos;
        sigfillset(&todos);
        sigprocmask(SIG_BLOCK, &todos, &antes_);
        // Beyond the limit a write fails with EFBIG instead of killing the process.
        struct sigaction ignora {};
        ignora.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignora, &xfsz_);
        modelo.copy(temporario_em_curso.data(), temporario_em_curso.size() - 1);
        temporario_em_curso[std::min(modelo.size(), temporario_em_curso.size() - 1)] = '\0';
        fd_ = ::mkstemp(temporario_em_curso.data());
        erro_ = fd_ < 0 ? errno : 0;
        ha_temporario = fd_ >= 0 ? 1 : 0;
        struct sigaction sa {};
        sa.sa_handler = remove_e_termina;
        for (std::size_t i = 0; i < sinais_de_fim.size(); ++i) {
            sigaction(sinais_de_fim[i], nullptr, &disposicoes_anteriores[i]);
            // What the parent chose to ignore stays ignored.
            mudado_[i] = disposicoes_anteriores[i].sa_handler != SIG_IGN;
            if (mudado_[i]) sigaction(sinais_de_fim[i], &sa, nullptr);
        }
        sigprocmask(SIG_SETMASK, &antes_, nullptr);
    }
    ~Temporario() {
        sigset_t todos;
        sigfillset(&todos);
        sigprocmask(SIG_BLOCK, &todos, nullptr);
        if (fd_ >= 0) ::close(fd_);
        if (ha_temporario != 0) ::unlink(temporario_em_curso.data());
        ha_temporario = 0;
        for (std::size_t i = 0; i < sinais_de_fim.size(); ++i)
            if (mudado_[i]) sigaction(sinais_de_fim[i], &disposicoes_anteriores[i], nullptr);
        sigaction(SIGXFSZ, &xfsz_, nullptr);
        sigprocmask(SIG_SETMASK, &antes_, nullptr);
    }
    Temporario(const Temporario&) = delete;
    Temporario& operator=(const Temporario&) = delete;

    int fd() const { return fd_; }
    int erro() const { return erro_; }
    const char* nome() const { return temporario_em_curso.data(); }
    // Closes the file, reporting a failure to write it back.
    int fecha() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0 ? 0 : errno;
    }
    // The file now has its final name: nothing to remove.
    void entregue() { ha_temporario = 0; }

  private:
    int fd_ = -1;
    int erro_ = 0;
    sigset_t antes_{};
    struct sigaction xfsz_ {};
    std::array<bool, sinais_de_fim.size()> mudado_{};
};

}  // namespace

int escreve_tudo(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return 0;
}

namespace {

mode_t permissoes_novas() {
    const mode_t mascara = ::umask(0);
    ::umask(mascara);
    return 0666 & ~mascara;
}

}  // namespace

std::string destino_real(const char* caminho) {
    std::string atual = caminho;
    // As many links as the system itself follows; a longer chain is left for open() to refuse.
    for (int i = 0; i < 40; ++i) {
        struct stat info {};
        if (::lstat(atual.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return atual;
        std::array<char, PATH_MAX + 1> alvo{};
        const ssize_t n = ::readlink(atual.c_str(), alvo.data(), alvo.size() - 1);
        if (n <= 0) return atual;
        const std::string proximo(alvo.data(), static_cast<std::size_t>(n));
        atual = proximo.starts_with('/') ? proximo : pasta_de(atual) + "/" + proximo;
    }
    return atual;
}

TravaDePasta::TravaDePasta(const std::string& arquivo) {
    fd_ = ::open(pasta_de(arquivo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        erro_ = errno;
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            erro_ = errno;
            return;
        }
    }
}

TravaDePasta::~TravaDePasta() {
    if (fd_ >= 0) ::close(fd_);
}

int grava_arquivo(const std::string& destino, std::span<const std::byte> bytes, ModoGravacao modo) {
    // A short name in the same folder: any name the system takes for the file itself will do.
    const std::string pasta = pasta_de(destino);
    Temporario temp((pasta == "/" ? "" : pasta) + "/.contacel-XXXXXX");
    if (temp.fd() < 0) return temp.erro();

    struct stat atual {};
    const bool existe = ::stat(destino.c_str(), &atual) == 0;
    const mode_t modo_final =
        existe && modo == ModoGravacao::substitui ? atual.st_mode & 07777 : permissoes_novas();
    if (existe && modo == ModoGravacao::substitui &&
        ::fchown(temp.fd(), atual.st_uid, atual.st_gid) != 0)
        return errno;
    if (::fchmod(temp.fd(), modo_final) != 0) return errno;
    if (const int e = escreve_tudo(temp.fd(), bytes); e != 0) return e;
    if (::fsync(temp.fd()) != 0) return errno;
    if (const int e = temp.fecha(); e != 0) return e;

    if (modo == ModoGravacao::novo) {
        // link() refuses an existing name atomically; the temporary name then goes. A file
        // system without hard links (FAT on a memory stick) gets a rename of a name seen to be
        // free, under the folder's lock that every writer takes.
        if (::link(temp.nome(), destino.c_str()) != 0) {
            const int e = errno;
            struct stat ja {};
            if (e != EPERM && e != ENOTSUP && e != ENOSYS) return e;
            if (::lstat(destino.c_str(), &ja) == 0) return EEXIST;
            if (::rename(temp.nome(), destino.c_str()) != 0) return errno;
            temp.entregue();
        }
    } else {
        if (::rename(temp.nome(), destino.c_str()) != 0) return errno;
        temp.entregue();
    }
    // The new name on the disk too.
    const int fd_pasta = ::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_pasta >= 0) {
        ::fsync(fd_pasta);
        ::close(fd_pasta);
    }
    return 0;
}
