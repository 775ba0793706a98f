#pragma once
// Writing a file so that nothing is ever half-written: the new contents go to a temporary file
// beside the old one, are flushed to the disk, and only then take its name. Writers of one
// folder are serialized by a lock on the folder, and a temporary file is removed whatever stops
// the write: an error, a full disk, the file-size limit, or SIGINT, SIGTERM or SIGHUP. A signal
// the process was started with ignored stays ignored.

#include <cstddef>
#include <span>
#include <string>

// The file a name stands for: the end of its chain of symbolic links, whether that file exists
// or not, so that a link stays a link. A name that is no link is returned as it is.
std::string destino_real(const char* caminho);

// An exclusive lock on the folder of `arquivo`, held until the object goes.
class TravaDePasta {
  public:
    explicit TravaDePasta(const std::string& arquivo);
    ~TravaDePasta();
    TravaDePasta(const TravaDePasta&) = delete;
    TravaDePasta& operator=(const TravaDePasta&) = delete;
    // 0 when the lock is held, else the errno of the failure.
    [[nodiscard]] int erro() const { return erro_; }

  private:
    int fd_ = -1;
    int erro_ = 0;
};

enum class ModoGravacao {
    novo,       // refuses an existing file (EEXIST)
    substitui,  // replaces it, keeping its permissions, owner and group
};

// Writes `bytes` as the file `destino`; 0, or the errno of the failure, with nothing left
// behind. A new file gets the permissions the umask allows. A file whose owner or group cannot
// be kept is not replaced (EPERM).
int grava_arquivo(const std::string& destino, std::span<const std::byte> bytes, ModoGravacao modo);

// Writes all of `bytes` to the open descriptor `fd`; 0 or the errno of the failure.
int escreve_tudo(int fd, std::span<const std::byte> bytes);
