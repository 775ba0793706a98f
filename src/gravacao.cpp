#include "gravacao.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>
#include <utility>
#include <vector>

namespace {

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

// The folder of a file, opened before names change in it and flushed after. In a folder the
// user may write in but not read (a drop box) it cannot be, and the change is made all the same.
class PastaAberta {
  public:
    PastaAberta() = default;
    ~PastaAberta() {
        if (fd_ >= 0) ::close(fd_);
    }
    PastaAberta(const PastaAberta&) = delete;
    PastaAberta& operator=(const PastaAberta&) = delete;

    Erro abre(const std::string& arquivo) {
        arquivo_ = arquivo;
        fd_ = ::open(pasta_de(arquivo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return fd_ < 0 && errno != EACCES ? Erro::gravacao(arquivo, errno) : Erro{};
    }
    // The new names on the disk too. A file system that cannot flush a folder says EINVAL:
    // nothing more to do there.
    Erro sincroniza() {
        const int r = fd_ < 0 || ::fsync(fd_) == 0 || errno == EINVAL ? 0 : errno;
        if (r == 0) return {};
        return Erro::recusado(arquivo_,
                              "a pasta nao pode ser gravada no disco; o arquivo pode nao "
                              "sobreviver a uma queda de energia",
                              r);
    }

  private:
    std::string arquivo_;
    int fd_ = -1;
};

// Descriptors of the files a set replaces, as many as the process may open, closed when this
// goes.
class AntigosAbertos {
  public:
    explicit AntigosAbertos(const std::list<Gravacao>& arquivos) {
        ::getrlimit(RLIMIT_NOFILE, &limite_);
        rlimit mais = limite_;
        mais.rlim_cur = mais.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &mais);
        for (const Gravacao& g : arquivos)
            if (const int fd = ::open(g.destino().c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
                fd >= 0)
                fds_.push_back(fd);
    }
    ~AntigosAbertos() {
        for (const int fd : fds_)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &limite_);
    }
    AntigosAbertos(const AntigosAbertos&) = delete;
    AntigosAbertos& operator=(const AntigosAbertos&) = delete;

  private:
    std::vector<int> fds_;
    rlimit limite_{};
};

// "1.200": a count with its thousands marked as Portuguese marks them.
std::string milhares(std::size_t n) {
    std::string s = std::to_string(n);
    for (std::size_t i = s.size(); i > 3; i -= 3)
        s.insert(i - 3, 1, '.');
    return s;
}

// Locks of another process in the way of a set. More than one is said once for the whole set,
// after waiting a moment, as trava() does, for those recent enough to be a running writer's;
// one is left to trava() to say.
Erro confere_travas_deixadas(std::span<const std::string> caminhos) {
    const auto inicio = std::chrono::steady_clock::now();
    for (;;) {
        std::size_t n = 0;
        bool recente = false;
        std::string primeira;
        for (const std::string& c : caminhos) {
            const std::string trava = c + ".lock";
            struct stat info {};
            if (::lstat(trava.c_str(), &info) != 0 || Temporario::deste_processo(info)) continue;
            if (n++ == 0) primeira = trava;
            recente = recente || std::time(nullptr) - info.st_mtime < espera_maxima.count();
        }
        if (n <= 1) return {};
        if (!recente || std::chrono::steady_clock::now() - inicio >= espera_maxima) {
            const std::string pasta = pasta_de(primeira);
            return Erro::recusado({}, milhares(n) + " travas de uma gravacao interrompida em " +
                                          pasta + "; remova " + pasta + "/*.lock");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
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
    : destino_(std::move(destino)), nome_trava_(destino_ + ".lock"), op_(op) {}

Erro Gravacao::trava() {
    const auto inicio = std::chrono::steady_clock::now();
    for (auto pausa = std::chrono::milliseconds(1);;
         pausa = std::min(pausa * 2, decltype(pausa)(100))) {
        const int e = trava_.cria(nome_trava_);
        if (e == 0) break;
        if (e == EINTR) continue;
        // The lock's name is the file's and five bytes more.
        if (e == ENAMETOOLONG)
            return Erro::recusado(destino_, "nome longo demais para ter ao lado a trava .lock", e);
        if (e != EEXIST) return Erro::gravacao(destino_, e);
        struct stat info {};
        if (::lstat(nome_trava_.c_str(), &info) != 0) continue;  // just removed
        if (Temporario::deste_processo(info))
            return Erro::recusado(destino_,
                                  "este arquivo ja esta sendo gravado por outro nome (link)");
        const std::time_t anos = std::time(nullptr) - info.st_mtime;
        if (anos >= espera_maxima.count() ||
            std::chrono::steady_clock::now() - inicio >= espera_maxima)
            return Erro::recusado(nome_trava_, "travado ha " + idade(anos) +
                                                   " por outra gravacao; remova " + nome_trava_ +
                                                   " se nenhum outro " + std::string(op_.programa) +
                                                   " estiver rodando");
        std::this_thread::sleep_for(pausa);
    }
    // The lock is opened again to be written: its owner may write it until then, whatever the
    // umask says the file's mode is (it gets that mode once written).
    modo_ = trava_.info().st_mode & 07777;
    if ((modo_ & S_IWUSR) == 0 && ::fchmod(trava_.fd(), modo_ | S_IWUSR) != 0)
        return Erro::gravacao(destino_, errno);

    // The file to replace, opened first and then looked at, so that what is checked is what is
    // replaced.
    const int alvo =
        ::open(destino_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const auto solta = [&] {
        // A set of files (the bills of a folder) is locked whole before it is written: no
        // descriptor stays open per file meanwhile.
        const int r = trava_.fecha();
        return r == 0 ? Erro{} : Erro::gravacao(destino_, r);
    };
    if (alvo < 0 && errno == ENOENT) return solta();
    if (alvo < 0 && errno == ELOOP) {
        if (!op_.substitui) return Erro::ja_existe(destino_);
        if (!op_.troca_link) return Erro::recusado(destino_, "e um link simbolico");
        existia_ = true;
        return solta();
    }
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
    const struct stat& novo = trava_.info();
    if ((novo.st_uid != info.st_uid || novo.st_gid != info.st_gid) &&
        ::fchown(trava_.fd(), info.st_uid, info.st_gid) != 0)
        e = info.st_uid != ::geteuid()
                ? Erro::recusado(destino_, "o arquivo e de outro usuario (uid " +
                                               std::to_string(info.st_uid) +
                                               "), que e quem pode substitui-lo (ou root)")
                : Erro::recusado(destino_, "o grupo do arquivo (gid " +
                                               std::to_string(info.st_gid) +
                                               ") nao e um dos seus; so root pode mante-lo");
    // The attributes, the ACL among them, and then (once written) the mode, which an ACL's
    // mask matches.
    if (e.ok()) e = copia_atributos(alvo, trava_.fd(), destino_);
    modo_ = info.st_mode & 07777;
    ::close(alvo);
    return e.ok() ? solta() : e;
}

Erro Gravacao::escreve(std::span<const std::byte> bytes) {
    if (const int r = trava_.reabre(); r == ESTALE)
        return Erro::recusado(nome_trava_,
                              "a trava foi trocada por outro processo; nada foi escrito");
    else if (r != 0)
        return Erro::gravacao(destino_, r);
    if (Erro e = escreve_tudo(trava_.fd(), bytes, destino_); !e.ok()) return e;
    if (::fchmod(trava_.fd(), modo_) != 0 || ::fsync(trava_.fd()) != 0)
        return Erro::gravacao(destino_, errno);
    const int r = trava_.fecha();
    return r == 0 ? Erro{} : Erro::gravacao(destino_, r);
}

Erro Gravacao::da_nome() {
    const int e = trava_.da_nome(destino_, op_.substitui);
    if (e == EEXIST) return Erro::ja_existe(destino_);
    if (e != 0) return Erro::gravacao(destino_, e);
    confirmada_ = true;
    return {};
}

Erro Gravacao::confirma() {
    // The folder is opened before the new name is given, so that a failure changes nothing.
    PastaAberta pasta;
    if (Erro e = pasta.abre(destino_); !e.ok()) return e;
    if (Erro e = da_nome(); !e.ok()) return e;
    return pasta.sincroniza();
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

Erro GravacaoEmLote::trava(std::span<const std::string> caminhos) {
    if (Erro e = confere_travas_deixadas(caminhos); !e.ok()) return e;
    for (const std::string& c : caminhos)
        if (Erro e = arquivos_.emplace_back(c, op_).trava(); !e.ok()) return e;
    proximo_ = arquivos_.begin();
    return {};
}

Erro GravacaoEmLote::escreve(std::span<const std::byte> bytes) {
    return (proximo_++)->escreve(bytes);
}

Erro GravacaoEmLote::confirma(const std::function<Erro()>& junto) {
    std::list<PastaAberta> pastas;
    std::vector<std::string> abertas;
    for (const Gravacao& g : arquivos_) {
        std::string p = pasta_de(g.destino());
        if (std::ranges::find(abertas, p) != abertas.end()) continue;
        abertas.push_back(std::move(p));
        if (Erro e = pastas.emplace_back().abre(g.destino()); !e.ok()) return e;
    }
    // The files replaced are held open until the signals are let go: the names change at once,
    // and the file system frees the old contents (slow, where it discards freed blocks) after.
    const AntigosAbertos antigos(arquivos_);
    const SinaisRetidos retidos;
    for (auto g = arquivos_.begin(); g != arquivos_.end(); ++g) {
        if (Erro e = g->da_nome(); !e.ok()) {
            // What this set made goes again; what it replaced cannot come back.
            for (auto feito = arquivos_.begin(); feito != g; ++feito)
                feito->desfaz_criacao();
            return e;
        }
    }
    for (PastaAberta& p : pastas)
        if (Erro e = p.sincroniza(); !e.ok()) return e;
    if (Erro e = junto ? junto() : Erro{}; !e.ok()) {
        for (Gravacao& g : arquivos_)
            g.desfaz_criacao();
        return e;
    }
    return {};
}
