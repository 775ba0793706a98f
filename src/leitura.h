#pragma once
// Reading regular files: the one way every input is opened, so that a folder, a FIFO, a device
// or a socket is refused in the same words and never waited on.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <sys/types.h>

#include "erro.h"

// A file by device and inode, whatever name or link reaches it: what tells a file read from one
// about to be written.
struct Identidade {
    dev_t dispositivo = 0;
    ino_t inode = 0;
    bool existe = false;
    [[nodiscard]] bool e(const Identidade& o) const {
        return existe && o.existe && dispositivo == o.dispositivo && inode == o.inode;
    }
};
// Through symbolic links; none when the file cannot be reached.
Identidade identidade_de(const std::string& caminho);
// Of the name itself, a symbolic link not followed.
Identidade identidade_do_nome(const std::string& caminho);
Identidade identidade_do_descritor(int fd);
// Whether `alvo` is the file `lido` or the journal a database keeps beside it (`-wal`, `-shm`,
// `-journal`): writing over either loses what the database holds.
bool e_do_lido(const Identidade& alvo, const std::string& lido);
// Of a file the program reads by the name given: "-" is standard input, the file it is opened on.
Identidade identidade_lida(const std::string& caminho);

// A file opened for reading; closed when this goes, unless let go.
class ArquivoAberto {
  public:
    ArquivoAberto() = default;
    ~ArquivoAberto();
    ArquivoAberto(const ArquivoAberto&) = delete;
    ArquivoAberto& operator=(const ArquivoAberto&) = delete;
    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] std::uint64_t tamanho() const { return tamanho_; }
    // The descriptor, which the caller closes from then on.
    int solta();

  private:
    friend Erro abre_arquivo_regular(const char* caminho, ArquivoAberto& a);
    friend Erro abre_entrada_padrao(ArquivoAberto& a);
    int fd_ = -1;
    std::uint64_t tamanho_ = 0;
};

// Opens the regular file `caminho` for reading. Anything else ("nao e um arquivo regular"), a
// loop of links, a file that cannot be opened: an Erro naming `caminho`.
Erro abre_arquivo_regular(const char* caminho, ArquivoAberto& a);

// Standard input, whatever it is (a pipe, a file, a terminal), as a descriptor of its own.
Erro abre_entrada_padrao(ArquivoAberto& a);

// read(2) into `b` until it is full or the file ends, past interruptions; `lidos` gets the bytes
// read. 0, or the errno of a failed read. With `posicao`, pread(2) from there instead, the
// descriptor's own position left as it was.
int le_ate_encher(int fd, std::span<std::byte> b, std::size_t& lidos,
                  std::optional<std::uint64_t> posicao = {});

// What to do with a file longer than the buffer.
enum class Excesso : bool {
    ignora,  // read only as far as the buffer reaches
    recusa,  // refuse it, also when it grows while it is read
};

// Reads the regular file `caminho` into `destino`; `lidos` gets the bytes read. The errors name
// `caminho`.
Erro le_arquivo_regular(const char* caminho, std::span<std::byte> destino, std::size_t& lidos,
                        Excesso excesso);
// Reads the whole regular file `caminho` into `bytes`; one of more than `maximo` bytes is
// refused.
Erro le_arquivo_inteiro(const char* caminho, std::string& bytes, std::size_t maximo);
