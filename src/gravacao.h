#pragma once
// Changing a file so that nothing is ever half-written, the way git changes its files: NAME.lock,
// created only when no such file exists, is at once the lock on NAME and its new contents; it
// gets the old file's owner, group, mode, extended attributes and ACL, is written whole, flushed
// to the disk, and renamed over NAME, and then the folder is flushed. A second writer waits a
// moment for the lock; a lock left by a process that was killed is reported with its age, never
// waited on forever nor removed behind the user's back. A set of files is changed all or none.
// The lock file is a Temporario (temporario.h): whatever stops the process removes it.

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <list>
#include <span>
#include <string>
#include <string_view>

#include "erro.h"
#include "leitura.h"
#include "temporario.h"

// What a name stands for at the end of its chain of symbolic links (the file there, whether it
// exists or not, so that a link stays a link), or one of the process's own descriptors:
// "-", /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N or a link to one of them. A chain
// that comes back on itself is refused as "ciclo de links simbolicos".
struct Destino {
    std::string caminho;
    int descritor = -1;  // >= 0: write through this descriptor
};
Erro segue_links(const std::string& nome, Destino& destino);

// Refuses, before anything is written, a descriptor (standard output) that is the register
// `cadastro` itself.
Erro saida_nao_e_o_cadastro(int fd, const std::string& cadastro);

struct OpcoesGravacao {
    bool substitui = false;  // an existing file is replaced; without it, it is "ja existe"
    bool divide = false;     // a file with more names (hard links) is replaced all the same
    // With `substitui`, a symbolic link at the name is replaced itself, its target untouched;
    // without it such a link is refused.
    bool troca_link = false;
    Identidade protegido{};  // the register the command reads: never written over
    std::string_view programa = "contacel-clientes";  // told to check for a left lock
};

// One change of the file `destino` (a name that is no link: see segue_links).
class Gravacao {
  public:
    Gravacao(std::string destino, const OpcoesGravacao& op);
    ~Gravacao() = default;  // a change not confirmed leaves nothing behind
    Gravacao(const Gravacao&) = delete;
    Gravacao& operator=(const Gravacao&) = delete;

    // Takes the lock and looks at the file it is to replace: it must be regular, replaceable as
    // asked, not the protected register, and its owner, group, mode, attributes and ACL are
    // given to the new contents now, before a byte is written.
    Erro trava();
    // Writes the whole new contents and flushes them to the disk.
    Erro escreve(std::span<const std::byte> bytes);
    // Gives the new contents the name and flushes the folder: after this the change is made.
    Erro confirma();
    // Gives the new contents the name, leaving the folder to be flushed by the caller.
    Erro da_nome();
    // Undoes a confirmed change that created the file (of a set that failed later).
    void desfaz_criacao();

    [[nodiscard]] const std::string& destino() const { return destino_; }

  private:
    std::string destino_;
    std::string nome_trava_;
    OpcoesGravacao op_;
    Temporario trava_;
    mode_t modo_ = 0;  // the mode the file gets once written
    bool existia_ = false;
    bool confirmada_ = false;
};

// trava, escreve and confirma, for one file.
Erro grava_arquivo(const std::string& destino, std::span<const std::byte> bytes,
                   const OpcoesGravacao& op);

// A set of files (a folder of bills) changed all or none: every file locked and looked at
// before the first is written, each written beside its name, and all given their names at
// once, with the signals that end the process held, and one flush per folder after the last.
// A signal lands before anything is replaced (and then every lock goes) or after all is.
class GravacaoEmLote {
  public:
    explicit GravacaoEmLote(const OpcoesGravacao& op) : op_(op) {}

    // Locks the files `caminhos` (names that are no links, see segue_links, unless
    // op.troca_link). Locks left by a run that was killed are looked for first, in one pass:
    // more than one is one failure for the whole set ("1.200 travas de uma gravacao
    // interrompida em DIR; remova DIR/*.lock"), rather than one a run.
    Erro trava(std::span<const std::string> caminhos);
    // Writes the next file, in the order of `caminhos`.
    Erro escreve(std::span<const std::byte> bytes);
    // Gives every file its name. A failure midway undoes the files this set created; those it
    // replaced cannot come back. `junto`, when given, is what goes with the files (a book's
    // record of them): done once they all have their names, before a signal held meanwhile
    // lands; its failure undoes the files this set created too.
    Erro confirma(const std::function<Erro()>& junto = {});

  private:
    OpcoesGravacao op_;
    std::list<Gravacao> arquivos_;
    std::list<Gravacao>::iterator proximo_ = arquivos_.end();
};

// Writes all of `bytes` to the open descriptor `fd`; a failure names `nome`.
Erro escreve_tudo(int fd, std::span<const std::byte> bytes, const std::string& nome);
