#include "gravacao.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <thread>
#include <utility>
#include <vector>

struct TravaListada {
    const char* caminho;  // the lock file; its string lives as long as the listing
    TravaListada* proxima;
    dev_t dispositivo = 0;  // the lock file itself, to know it again by any name
    ino_t inode = 0;
};

namespace {

// The lock files held, for the signal handler, which can reach nothing but static storage: the
// head of the list, and the dispositions the handler gives back. Changed only with every
// signal blocked.
std::atomic<TravaListada*> travas_listadas{nullptr};
int travas_contadas = 0;
std::array<struct sigaction, NSIG> disposicoes_anteriores{};
std::array<bool, NSIG> sinal_mudado{};

// Every signal whose default ends the process and that can be caught; SIGXFSZ is ignored
// instead, so that a write beyond the size limit fails with EFBIG.
constexpr std::array sinais_fixos{SIGHUP,    SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                  SIGFPE,    SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                                  SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS};

template <typename F>
void para_cada_sinal(F&& f) {
    for (const int s : sinais_fixos)
        f(s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        f(s);
}

extern "C" void remove_travas_e_termina(int sinal) {
    const int salvo = errno;
    for (const TravaListada* t = travas_listadas.load(); t != nullptr; t = t->proxima)
        ::unlink(t->caminho);
    // The death the caller would have seen: the disposition before ours, the same signal.
    ::sigaction(sinal, &disposicoes_anteriores[static_cast<std::size_t>(sinal)], nullptr);
    ::raise(sinal);
    errno = salvo;
}

// Every signal blocked for the life of the object.
class SinaisBloqueados {
  public:
    SinaisBloqueados() {
        sigset_t todos;
        sigfillset(&todos);
        ::sigprocmask(SIG_BLOCK, &todos, &antes_);
    }
    ~SinaisBloqueados() { ::sigprocmask(SIG_SETMASK, &antes_, nullptr); }
    SinaisBloqueados(const SinaisBloqueados&) = delete;
    SinaisBloqueados& operator=(const SinaisBloqueados&) = delete;

  private:
    sigset_t antes_{};
};

// With signals blocked: the first lock installs the handler (where the parent did not ignore
// the signal), the last gives every disposition back.
void lista(TravaListada* t) {
    if (travas_contadas++ == 0) {
        struct sigaction sa {};
        sa.sa_handler = remove_travas_e_termina;
        sigfillset(&sa.sa_mask);
        para_cada_sinal([&](int s) {
            const auto i = static_cast<std::size_t>(s);
            ::sigaction(s, nullptr, &disposicoes_anteriores[i]);
            sinal_mudado[i] = disposicoes_anteriores[i].sa_handler != SIG_IGN;
            if (sinal_mudado[i]) ::sigaction(s, &sa, nullptr);
        });
        struct sigaction ignora {};
        ignora.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignora, &disposicoes_anteriores[SIGXFSZ]);
    }
    t->proxima = travas_listadas.load();
    travas_listadas.store(t);
}

// Is the lock file seen in `info` one this process holds (under this name or another)?
bool e_nossa(const struct stat& info) {
    for (const TravaListada* t = travas_listadas.load(); t != nullptr; t = t->proxima)
        if (t->dispositivo == info.st_dev && t->inode == info.st_ino) return true;
    return false;
}

void tira_da_lista(TravaListada* t) {
    TravaListada* anterior = nullptr;
    for (TravaListada* p = travas_listadas.load(); p != nullptr; anterior = p, p = p->proxima) {
        if (p != t) continue;
        if (anterior == nullptr)
            travas_listadas.store(p->proxima);
        else
            anterior->proxima = p->proxima;
        break;
    }
    if (--travas_contadas == 0) {
        para_cada_sinal([](int s) {
            const auto i = static_cast<std::size_t>(s);
            if (sinal_mudado[i]) ::sigaction(s, &disposicoes_anteriores[i], nullptr);
        });
        ::sigaction(SIGXFSZ, &disposicoes_anteriores[SIGXFSZ], nullptr);
    }
}

std::string pasta_de(const std::string& arquivo) {
    const std::size_t barra = arquivo.rfind('/');
    if (barra == std::string::npos) return ".";
    return barra == 0 ? "/" : arquivo.substr(0, barra);
}

// The descriptor a name is, when it names one of the process's own.
int descritor_de(const std::string& nome) {
    if (nome == "/dev/stdout") return 1;
    if (nome == "/dev/stderr") return 2;
    const std::string proprio = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view pasta :
         {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
          std::string_view("/proc/thread-self/fd/"), std::string_view(proprio)}) {
        if (!nome.starts_with(pasta)) continue;
        int fd = -1;
        const char* fim = nome.data() + nome.size();
        const auto [p, ec] = std::from_chars(nome.data() + pasta.size(), fim, fd);
        if (ec == std::errc{} && p == fim) return fd;
    }
    return -1;
}

// "12 s", "5 min", "3 h", "2 dias".
std::string idade(std::time_t s) {
    s = std::max<std::time_t>(s, 0);
    if (s < 120) return std::to_string(s) + " s";
    if (s < 120 * 60) return std::to_string(s / 60) + " min";
    if (s < 48 * 3600) return std::to_string(s / 3600) + " h";
    return std::to_string(s / 86400) + " dias";
}

// How long a writer waits for another one's lock, and the age from which a lock is taken to be
// left by a process that is gone. A change holds its lock for a few milliseconds.
constexpr std::chrono::seconds espera_maxima{5};

// May this user replace the existing file? Root may write anything, so for root a file without
// any write bit is one its owner keeps from being changed.
bool pode_escrever(const std::string& arquivo, const struct stat& info) {
    if (::geteuid() == 0) return (info.st_mode & 0222) != 0;
    return ::faccessat(AT_FDCWD, arquivo.c_str(), W_OK, AT_EACCESS) == 0;
}

// The extended attributes of `de` (the POSIX ACL among them, as system.posix_acl_access) on
// `para`; refused, naming the attribute, when one cannot be kept.
Erro copia_atributos(int de, int para, const std::string& arquivo) {
    std::vector<char> nomes;
    for (;;) {
        const ssize_t n = ::flistxattr(de, nullptr, 0);
        if (n < 0 && (errno == ENOTSUP || errno == ENOSYS)) return {};
        if (n < 0) return Erro::gravacao(arquivo, errno);
        nomes.resize(static_cast<std::size_t>(n));
        const ssize_t m = ::flistxattr(de, nomes.data(), nomes.size());
        if (m >= 0) {
            nomes.resize(static_cast<std::size_t>(m));
            break;
        }
        if (errno != ERANGE) return Erro::gravacao(arquivo, errno);
    }
    std::vector<char> valor;
    for (std::size_t i = 0; i < nomes.size(); i += std::strlen(nomes.data() + i) + 1) {
        const char* nome = nomes.data() + i;
        ssize_t n = ::fgetxattr(de, nome, nullptr, 0);
        if (n >= 0) {
            valor.resize(static_cast<std::size_t>(n));
            n = ::fgetxattr(de, nome, valor.data(), valor.size());
        }
        if (n < 0 || ::fsetxattr(para, nome, valor.data(), static_cast<std::size_t>(n), 0) != 0)
            return Erro::recusado(arquivo,
                                  std::string("o atributo estendido ") + nome +
                                      " nao pode ser mantido; o arquivo nao foi substituido",
                                  errno);
    }
    return {};
}

}  // namespace

Erro segue_links(const std::string& nome, Destino& destino) {
    destino = {};
    if (nome.empty() || nome == "-") {
        destino = {"-", 1};
        return {};
    }
    std::string atual = nome;
    std::vector<std::pair<dev_t, ino_t>> vistos;
    for (;;) {
        if (const int fd = descritor_de(atual); fd >= 0) {
            destino = {atual, fd};
            return {};
        }
        struct stat info {};
        if (::lstat(atual.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            destino.caminho = atual;
            return {};
        }
        const std::pair<dev_t, ino_t> este{info.st_dev, info.st_ino};
        if (std::ranges::find(vistos, este) != vistos.end())
            return Erro::recusado(nome, "ciclo de links simbolicos");
        // As many links as the system itself follows.
        if (vistos.size() >= 40) return Erro::recusado(nome, {}, ELOOP);
        vistos.push_back(este);
        std::string alvo(static_cast<std::size_t>(info.st_size) + 1, '\0');
        const ssize_t n = ::readlink(atual.c_str(), alvo.data(), alvo.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= alvo.size()) {
            if (n < 0) return Erro::leitura(nome, errno);
            continue;  // changed meanwhile: looked at again
        }
        alvo.resize(static_cast<std::size_t>(n));
        atual = alvo.starts_with('/') ? alvo : pasta_de(atual) + "/" + alvo;
    }
}

Identidade identidade_de(const std::string& caminho) {
    struct stat info {};
    if (::stat(caminho.c_str(), &info) != 0) return {};
    return {info.st_dev, info.st_ino, true};
}

Identidade identidade_do_descritor(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return {};
    return {info.st_dev, info.st_ino, true};
}

Erro saida_nao_e_o_cadastro(int fd, const std::string& cadastro) {
    if (identidade_do_descritor(fd).e(identidade_de(cadastro)))
        return Erro::recusado(cadastro, "a saida padrao e o proprio cadastro; nada foi escrito");
    return {};
}

Erro escreve_tudo(int fd, std::span<const std::byte> bytes, const std::string& nome) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Erro::gravacao(nome, n < 0 ? errno : EIO);
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return {};
}

Gravacao::Gravacao(std::string destino, const OpcoesGravacao& op)
    : destino_(std::move(destino)), trava_(destino_ + ".lock"), op_(op) {}

Gravacao::~Gravacao() {
    if (fd_ >= 0) ::close(fd_);
    if (listada_ == nullptr) return;
    const SinaisBloqueados bloqueio;
    ::unlink(trava_.c_str());
    tira_da_lista(listada_);
    delete listada_;
}

Erro Gravacao::trava() {
    const auto inicio = std::chrono::steady_clock::now();
    for (auto pausa = std::chrono::milliseconds(1);;
         pausa = std::min(pausa * 2, decltype(pausa)(100))) {
        int e = 0;
        {
            // Made and listed at once: no signal finds it unlisted. A new file's mode is what
            // the umask allows.
            const SinaisBloqueados bloqueio;
            fd_ = ::open(trava_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            e = errno;
            if (fd_ >= 0) {
                struct stat info {};
                ::fstat(fd_, &info);
                listada_ = new TravaListada{trava_.c_str(), nullptr, info.st_dev, info.st_ino};
                lista(listada_);
                modo_ = info.st_mode & 07777;
            }
        }
        // The lock is opened again to be written: its owner may write it until then, whatever
        // the umask says the file's mode is (it gets that mode once written).
        if (fd_ >= 0 && (modo_ & S_IWUSR) == 0 && ::fchmod(fd_, modo_ | S_IWUSR) != 0)
            return Erro::gravacao(destino_, errno);
        if (fd_ >= 0) break;
        if (e == EINTR) continue;
        // The lock's name is the file's and five bytes more.
        if (e == ENAMETOOLONG)
            return Erro::recusado(destino_, "nome longo demais para ter ao lado a trava .lock", e);
        if (e != EEXIST) return Erro::gravacao(destino_, e);
        struct stat info {};
        if (::lstat(trava_.c_str(), &info) != 0) continue;  // just removed
        if (e_nossa(info))
            return Erro::recusado(destino_,
                                  "este arquivo ja esta sendo gravado por outro nome (link)");
        const std::time_t anos = std::time(nullptr) - info.st_mtime;
        if (anos >= espera_maxima.count() ||
            std::chrono::steady_clock::now() - inicio >= espera_maxima)
            return Erro::recusado(
                trava_, "travado ha " + idade(anos) + " por outra gravacao; remova " + trava_ +
                            " se nenhum outro " + std::string(op_.programa) + " estiver rodando");
        std::this_thread::sleep_for(pausa);
    }

    // The file to replace, opened first and then looked at, so that what is checked is what is
    // replaced.
    const int alvo =
        ::open(destino_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (alvo < 0 && errno == ENOENT) return solta_descritor();
    if (alvo < 0 && errno == ELOOP)
        return op_.substitui ? Erro::recusado(destino_, "e um link simbolico")
                             : Erro::ja_existe(destino_);
    if (alvo < 0 && errno == ENXIO) return Erro::recusado(destino_, "nao e um arquivo regular");
    if (alvo < 0) return Erro::gravacao(destino_, errno);
    existia_ = true;
    struct stat info {};
    Erro e;
    if (::fstat(alvo, &info) != 0)
        e = Erro::gravacao(destino_, errno);
    else if (op_.protegido.e({info.st_dev, info.st_ino, true}))
        e = Erro::recusado(destino_, "e o proprio cadastro; nada foi escrito");
    else if (!S_ISREG(info.st_mode))
        e = Erro::recusado(destino_, "nao e um arquivo regular");
    else if (!op_.substitui)
        e = Erro::ja_existe(destino_);
    else if (info.st_nlink > 1 && !op_.divide)
        e = Erro::recusado(destino_,
                           "o arquivo tem " + std::to_string(info.st_nlink) +
                               " nomes (links fisicos); --forcar o separa dos outros, que "
                               "ficam com o conteudo antigo");
    else if (!pode_escrever(destino_, info))
        e = Erro::recusado(destino_, "sem permissao de escrita");
    if (!e.ok()) {
        ::close(alvo);
        return e;
    }
    // Owner and group as they were: a user may keep a group of theirs, only root another's.
    struct stat novo {};
    if (::fstat(fd_, &novo) != 0)
        e = Erro::gravacao(destino_, errno);
    else if ((novo.st_uid != info.st_uid || novo.st_gid != info.st_gid) &&
             ::fchown(fd_, info.st_uid, info.st_gid) != 0)
        e = info.st_uid != ::geteuid()
                ? Erro::recusado(destino_, "o arquivo e de outro usuario (uid " +
                                               std::to_string(info.st_uid) +
                                               "), que e quem pode substitui-lo (ou root)")
                : Erro::recusado(destino_, "o grupo do arquivo (gid " +
                                               std::to_string(info.st_gid) +
                                               ") nao e um dos seus; so root pode mante-lo");
    // The attributes, the ACL among them, and then (once written) the mode, which an ACL's
    // mask matches.
    if (e.ok()) e = copia_atributos(alvo, fd_, destino_);
    modo_ = info.st_mode & 07777;
    ::close(alvo);
    return e.ok() ? solta_descritor() : e;
}

// A set of files (the bills of a folder) is locked whole before it is written: the lock is
// opened again to be written, so that no descriptor stays open per file meanwhile.
Erro Gravacao::solta_descritor() {
    ::close(fd_);
    fd_ = -1;
    return {};
}

Erro Gravacao::escreve(std::span<const std::byte> bytes) {
    if (fd_ < 0 && listada_ != nullptr) {
        fd_ = ::open(trava_.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        struct stat info {};
        if (fd_ < 0 || ::fstat(fd_, &info) != 0) return Erro::gravacao(destino_, errno);
        if (info.st_dev != listada_->dispositivo || info.st_ino != listada_->inode)
            return Erro::recusado(trava_,
                                  "a trava foi trocada por outro processo; nada foi escrito");
    }
    if (Erro e = escreve_tudo(fd_, bytes, destino_); !e.ok()) return e;
    if (::fchmod(fd_, modo_) != 0 || ::fsync(fd_) != 0) return Erro::gravacao(destino_, errno);
    const int r = ::close(fd_);
    fd_ = -1;
    return r == 0 ? Erro{} : Erro::gravacao(destino_, errno);
}

Erro Gravacao::confirma() {
    // The folder is opened before the new name is given, so that a failure changes nothing. In
    // a folder the user may write in but not read (a drop box) it cannot be flushed, and the
    // change is made all the same.
    const int pasta = ::open(pasta_de(destino_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (pasta < 0 && errno != EACCES) return Erro::gravacao(destino_, errno);
    const auto fecha_pasta = [pasta] {
        if (pasta >= 0) ::close(pasta);
    };
    {
        const SinaisBloqueados bloqueio;
        int e = 0;
        if (!op_.substitui) {
            // link() refuses an existing name atomically. A file system without hard links
            // (FAT on a memory stick) gets a rename of a name seen to be free, under the lock.
            if (::link(trava_.c_str(), destino_.c_str()) == 0) {
                ::unlink(trava_.c_str());
            } else if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) {
                e = errno;
            } else if (struct stat ja{}; ::lstat(destino_.c_str(), &ja) == 0) {
                e = EEXIST;
            } else if (::rename(trava_.c_str(), destino_.c_str()) != 0) {
                e = errno;
            }
        } else if (::rename(trava_.c_str(), destino_.c_str()) != 0) {
            e = errno;
        }
        if (e != 0) fecha_pasta();
        if (e == EEXIST) return Erro::ja_existe(destino_);
        if (e != 0) return Erro::gravacao(destino_, e);
        tira_da_lista(listada_);
        delete listada_;
        listada_ = nullptr;
        confirmada_ = true;
    }
    // The new name on the disk too. A file system that cannot flush a folder says EINVAL:
    // nothing more to do there.
    const int r = pasta < 0 || ::fsync(pasta) == 0 || errno == EINVAL ? 0 : errno;
    fecha_pasta();
    if (r != 0)
        return Erro::recusado(destino_,
                              "a pasta nao pode ser gravada no disco; o arquivo pode nao "
                              "sobreviver a uma queda de energia",
                              r);
    return {};
}

void Gravacao::desfaz_criacao() {
    if (confirmada_ && !existia_) ::unlink(destino_.c_str());
}

Erro grava_arquivo(const std::string& destino, std::span<const std::byte> bytes,
                   const OpcoesGravacao& op) {
    Gravacao g(destino, op);
    Erro e = g.trava();
    if (e.ok()) e = g.escreve(bytes);
    if (e.ok()) e = g.confirma();
    return e;
}
