#pragma once
// Changing a file so that nothing is ever half-written, the way git changes its files: NAME.lock,
// created only when no such file exists, is at once the lock on NAME and its new contents; it
// gets the old file's owner, group, mode, extended attributes and ACL, is written whole, flushed
// to the disk, and renamed over NAME. A second writer waits a moment for the lock; a lock left by
// a process that was killed is reported with its age, never waited on forever nor removed behind
// the user's back. Every lock file this process holds goes away whatever stops it: an error, a
// full disk, the file-size limit, or any signal whose default ends the process (one the process
// was started with ignored stays ignored).

#include <sys/types.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "erro.h"

// What a name stands for at the end of its chain of symbolic links (the file there, whether it
// exists or not, so that a link stays a link), or one of the process's own descriptors:
// "-", /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N or a link to one of them. A chain
// that comes back on itself is refused as "ciclo de links simbolicos".
struct Destino {
    std::string caminho;
    int descritor = -1;  // >= 0: write through this descriptor
};
Erro segue_links(const std::string& nome, Destino& destino);

// A file by device and inode, whatever name or link reaches it.
struct Identidade {
    dev_t dispositivo = 0;
    ino_t inode = 0;
    bool existe = false;
    [[nodiscard]] bool e(const Identidade& o) const {
        return existe && o.existe && dispositivo == o.dispositivo && inode == o.inode;
    }
};
Identidade identidade_de(const std::string& caminho);
Identidade identidade_do_descritor(int fd);

// Refuses, before anything is written, a descriptor (standard output) that is the register
// `cadastro` itself.
Erro saida_nao_e_o_cadastro(int fd, const std::string& cadastro);

struct OpcoesGravacao {
    bool substitui = false;  // an existing file is replaced; without it, it is "ja existe"
    bool divide = false;     // a file with more names (hard links) is replaced all the same
    Identidade protegido{};  // the register the command reads: never written over
    std::string_view programa = "contacel-clientes";  // told to check for a left lock
};

// A lock file this process holds, listed for the signal handler.
struct TravaListada;

// One change of the file `destino` (a name that is no link: see segue_links).
class Gravacao {
  public:
    Gravacao(std::string destino, const OpcoesGravacao& op);
    ~Gravacao();  // a change not confirmed leaves nothing behind
    Gravacao(const Gravacao&) = delete;
    Gravacao& operator=(const Gravacao&) = delete;

    // Takes the lock and looks at the file it is to replace: it must be regular, replaceable as
    // asked, not the protected register, and its owner, group, mode, attributes and ACL are
    // given to the new contents now, before a byte is written.
    Erro trava();
    // Writes the whole new contents and flushes them to the disk.
    Erro escreve(std::span<const std::byte> bytes);
    // Gives the new contents the name: after this the change is made.
    Erro confirma();
    // Undoes a confirmed change that created the file (of a set that failed later).
    void desfaz_criacao();

    [[nodiscard]] const std::string& destino() const { return destino_; }

  private:
    Erro solta_descritor();

    std::string destino_;
    std::string trava_;
    OpcoesGravacao op_;
    int fd_ = -1;
    mode_t modo_ = 0;  // the mode the file gets once written
    bool existia_ = false;
    bool confirmada_ = false;
    TravaListada* listada_ = nullptr;
};

// trava, escreve and confirma, for one file.
Erro grava_arquivo(const std::string& destino, std::span<const std::byte> bytes,
                   const OpcoesGravacao& op);

// Writes all of `bytes` to the open descriptor `fd`; a failure names `nome`.
Erro escreve_tudo(int fd, std::span<const std::byte> bytes, const std::string& nome);
