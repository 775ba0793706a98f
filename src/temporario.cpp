#include "temporario.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

struct TemporarioListado {
    std::string caminho;  // never changed while listed: the handler reads its characters
    TemporarioListado* proximo = nullptr;
    dev_t dispositivo = 0;  // the file itself, to know it again by any name
    ino_t inode = 0;
};

namespace {

// The files listed, for the signal handler, which can reach nothing but static storage: the
// head of the list, and the dispositions the handler gives back. Changed only with every
// signal held.
std::atomic<TemporarioListado*> listados{nullptr};
int contados = 0;
std::array<struct sigaction, NSIG> disposicoes_anteriores{};
std::array<bool, NSIG> sinal_mudado{};

// The memory mapped from files being read, for the handler too: a slot is free while its start is
// 0. One per thread that reads at once is enough.
struct Vigiado {
    std::atomic<std::uintptr_t> inicio{0}, fim{0};
    std::atomic<const std::string*> aviso{nullptr};
};
std::array<Vigiado, 256> vigiados{};

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

// What to say of a fault in watched memory; none for one elsewhere or a signal sent.
const std::string* aviso_de(const siginfo_t& info) {
    const auto e = reinterpret_cast<std::uintptr_t>(info.si_addr);
    if (info.si_code <= 0) return nullptr;
    for (const Vigiado& v : vigiados)
        if (e >= v.inicio.load() && e < v.fim.load()) return v.aviso.load();
    return nullptr;
}

extern "C" void remove_listados_e_termina(int sinal, siginfo_t* info, void*) {
    const int salvo = errno;
    for (const TemporarioListado* t = listados.load(); t != nullptr; t = t->proximo)
        ::unlink(t->caminho.c_str());
    // A mapped file that shrank under the reading: said, and an end as that of an error.
    if (const std::string* a = sinal == SIGBUS ? aviso_de(*info) : nullptr; a != nullptr) {
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, a->data(), a->size());
        ::_exit(1);
    }
    // The death the caller would have seen: the disposition before ours, the same signal.
    ::sigaction(sinal, &disposicoes_anteriores[static_cast<std::size_t>(sinal)], nullptr);
    ::raise(sinal);
    errno = salvo;
}

// With signals held: the first file listed or watch made installs the handler (where the parent
// did not ignore the signal), the last one gone gives every disposition back.
void instala() {
    if (contados++ == 0) {
        struct sigaction sa {};
        sa.sa_sigaction = remove_listados_e_termina;
        sa.sa_flags = SA_SIGINFO;
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
}

void desinstala() {
    if (--contados == 0) {
        para_cada_sinal([](int s) {
            const auto i = static_cast<std::size_t>(s);
            if (sinal_mudado[i]) ::sigaction(s, &disposicoes_anteriores[i], nullptr);
        });
        ::sigaction(SIGXFSZ, &disposicoes_anteriores[SIGXFSZ], nullptr);
    }
}

void lista(TemporarioListado* t) {
    instala();
    t->proximo = listados.load();
    listados.store(t);
}

void tira_da_lista(TemporarioListado* t) {
    TemporarioListado* anterior = nullptr;
    for (TemporarioListado* p = listados.load(); p != nullptr; anterior = p, p = p->proximo) {
        if (p != t) continue;
        if (anterior == nullptr)
            listados.store(p->proximo);
        else
            anterior->proximo = p->proximo;
        break;
    }
    desinstala();
}

// The misuse guard: a call the state does not allow.
void exige(bool certo, const char* operacao) {
    if (certo) return;
    std::fprintf(stderr, "Temporario::%s fora do estado que a permite\n", operacao);
    std::abort();
}

}  // namespace

SinaisRetidos::SinaisRetidos() {
    sigset_t todos;
    sigfillset(&todos);
    ::sigprocmask(SIG_BLOCK, &todos, &antes_);
}

SinaisRetidos::~SinaisRetidos() {
    ::sigprocmask(SIG_SETMASK, &antes_, nullptr);
}

Temporario::~Temporario() {
    if (ativo()) remove();
}

int Temporario::cria(std::string caminho) {
    exige(!ativo(), "cria");
    const SinaisRetidos retidos;
    fd_ = ::open(caminho.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0) return errno;
    ::fstat(fd_, &info_);
    listado_ = new TemporarioListado{std::move(caminho), nullptr, info_.st_dev, info_.st_ino};
    lista(listado_);
    return 0;
}

int Temporario::fd() const {
    exige(ativo() && fd_ >= 0, "fd");
    return fd_;
}

const struct stat& Temporario::info() const {
    exige(ativo(), "info");
    return info_;
}

int Temporario::fecha() {
    exige(ativo() && fd_ >= 0, "fecha");
    const int r = ::close(std::exchange(fd_, -1));
    return r == 0 ? 0 : errno;
}

int Temporario::reabre() {
    exige(ativo() && fd_ < 0, "reabre");
    const int fd = ::open(listado_->caminho.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        const int e = errno;
        if (fd >= 0) ::close(fd);
        return e;
    }
    if (info.st_dev != info_.st_dev || info.st_ino != info_.st_ino) {
        ::close(fd);
        return ESTALE;
    }
    fd_ = fd;
    return 0;
}

int Temporario::da_nome(const std::string& destino, bool substitui) {
    exige(ativo(), "da_nome");
    const SinaisRetidos retidos;
    const char* de = listado_->caminho.c_str();
    int e = 0;
    if (substitui) {
        if (::rename(de, destino.c_str()) != 0) e = errno;
    } else if (::link(de, destino.c_str()) == 0) {
        // link() refuses an existing name atomically.
        ::unlink(de);
    } else if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) {
        e = errno;
    } else if (struct stat ja{}; ::lstat(destino.c_str(), &ja) == 0) {
        // A file system without hard links (FAT on a memory stick) gets a rename of a name seen
        // to be free; the caller's lock keeps it free.
        e = EEXIST;
    } else if (::rename(de, destino.c_str()) != 0) {
        e = errno;
    }
    if (e != 0) return e;
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    tira_da_lista(listado_);
    delete std::exchange(listado_, nullptr);
    return 0;
}

void Temporario::remove() {
    exige(ativo(), "remove");
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    const SinaisRetidos retidos;
    ::unlink(listado_->caminho.c_str());
    tira_da_lista(listado_);
    delete std::exchange(listado_, nullptr);
}

bool Temporario::deste_processo(const struct stat& info) {
    for (const TemporarioListado* t = listados.load(); t != nullptr; t = t->proximo)
        if (t->dispositivo == info.st_dev && t->inode == info.st_ino) return true;
    return false;
}

VigiaMapeamentos::VigiaMapeamentos(std::string aviso) : aviso_(std::move(aviso)) {
    const SinaisRetidos retidos;
    instala();
}

VigiaMapeamentos::~VigiaMapeamentos() {
    const SinaisRetidos retidos;
    desinstala();
}

std::size_t VigiaMapeamentos::vigia(const void* inicio, std::size_t n) const {
    const auto i = reinterpret_cast<std::uintptr_t>(inicio);
    for (std::size_t k = 0; k < vigiados.size(); ++k) {
        Vigiado& v = vigiados[k];
        if (std::uintptr_t livre = 0; !v.inicio.compare_exchange_strong(livre, i)) continue;
        v.aviso.store(&aviso_);
        v.fim.store(i + n);
        return k;
    }
    return sem_vaga;
}

void VigiaMapeamentos::esquece(std::size_t vaga) {
    vigiados[vaga].fim.store(0);
    vigiados[vaga].inicio.store(0);
}
