#pragma once
// A temporary file that becomes another by its name: made only where no file of its name
// exists, and removed whatever stops the process: an error, a full disk, the file-size limit,
// or any signal whose default ends the process (one the process was started with ignored stays
// ignored). Only the cleanup is kept here; what the file is for, and when it may replace
// another, is the caller's (see gravacao.h).
//
// The states of a Temporario:
//
//               cria()                fecha()
//     livre ------------> aberto ---------------> fechado
//       ^                   |  ^                    |
//       |                   |  +------ reabre() ----+
//       |                   v                       v
//       +------ da_nome(), remove(), destructor ----+
//
// - livre: no file; only cria() may be called.
// - aberto: the file exists, is listed for the signal handler, and fd() writes it.
// - fechado: the file exists and is listed, with no descriptor held, so that a set of thousands
//   of files stays within the descriptor limit.
// da_nome() gives the file its final name and unlists it; remove() and the destructor remove it.
// An operation called in a state that does not allow it is a bug: the program says so on
// standard error and aborts, rather than write or remove a file it does not hold.

#include <sys/stat.h>
#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>

struct TemporarioListado;

class Temporario {
  public:
    Temporario() = default;
    ~Temporario();
    Temporario(const Temporario&) = delete;
    Temporario& operator=(const Temporario&) = delete;

    // livre -> aberto: creates `caminho` for writing, with the mode the umask allows; listed
    // before any signal can find it unlisted. 0, or the errno of the failure (EEXIST: the name
    // is taken), and then still livre.
    int cria(std::string caminho);
    // aberto -> fechado. 0, or the errno of close().
    int fecha();
    // fechado -> aberto: the same file opened again. 0, or an errno, ESTALE when another file
    // has taken its name meanwhile; on failure it stays fechado.
    int reabre();
    // aberto or fechado -> livre: the file takes the name `destino`. With `substitui` a file of
    // that name is replaced; without it the name must be free (EEXIST). 0, or the errno of the
    // failure, and then nothing changed.
    int da_nome(const std::string& destino, bool substitui);
    // aberto or fechado -> livre, the file removed.
    void remove();

    [[nodiscard]] bool ativo() const { return listado_ != nullptr; }
    // aberto only.
    [[nodiscard]] int fd() const;
    // The file as created (owner, group, mode, device and inode); aberto or fechado only.
    [[nodiscard]] const struct stat& info() const;

    // Whether the file seen in `info` is a temporary file this process holds, under any name.
    static bool deste_processo(const struct stat& info);

  private:
    TemporarioListado* listado_ = nullptr;
    int fd_ = -1;
    struct stat info_ {};
};

// Every signal held for the life of the object: one that comes meanwhile takes effect when the
// object ends, once what it guards is done.
class SinaisRetidos {
  public:
    SinaisRetidos();
    ~SinaisRetidos();
    SinaisRetidos(const SinaisRetidos&) = delete;
    SinaisRetidos& operator=(const SinaisRetidos&) = delete;

  private:
    sigset_t antes_{};
};

// Memory mapped from a file being read, watched: a fault in it (the file shrank under the
// mapping) removes the temporary files, says `aviso` on standard error and ends the process with
// status 1, rather than let it die of SIGBUS without a word.
class VigiaMapeamentos {
  public:
    // Catches the faults while this lives; made and ended on one thread, as temporary files are.
    explicit VigiaMapeamentos(std::string aviso);
    ~VigiaMapeamentos();
    VigiaMapeamentos(const VigiaMapeamentos&) = delete;
    VigiaMapeamentos& operator=(const VigiaMapeamentos&) = delete;

    static constexpr std::size_t sem_vaga = SIZE_MAX;
    // Watches the `n` bytes from `inicio`, from any thread, until esquece(): the place they have,
    // or sem_vaga when there is no room (one place per thread reading at once), and then they
    // are not watched.
    [[nodiscard]] std::size_t vigia(const void* inicio, std::size_t n) const;
    static void esquece(std::size_t vaga);

  private:
    std::string aviso_;
};
