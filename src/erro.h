#pragma once
// One error value for every operation that can fail: ok, or a kind of failure with the file it
// is about, the line or row where it applies, the errno of the system call that failed and a
// detail in the program's words. One function phrases it as the one line a program prints after
// its own name, and one says which exit status it is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

enum class TipoErro : std::uint8_t {
    nenhum,     // all went well
    uso,        // the command line asks for something that cannot be: exit status 2
    dados,      // the contents are wrong (a register, a CSV row, a record): `detalhe` says how
    leitura,    // a file could not be opened or read
    gravacao,   // a file could not be written
    ja_existe,  // an existing file that only --forcar replaces
    ausente,    // what was asked for is not there: `detalhe` says what
    recusado,   // a file that must not be used so: the register itself, a folder, a link cycle...
    sistema,    // the system cannot do it (no converter, no memory, a library failing)
};

// Built by kind, as Erro::dados(arquivo, linha, "...") or Erro::gravacao(arquivo, errno); `Erro{}`
// is ok. A file or line learnt later is filled in on the value.
struct Erro {
    TipoErro tipo = TipoErro::nenhum;
    std::string arquivo{};  // the file it is about; empty: none
    std::size_t linha = 0;  // the line (or row) of that file, from 1; 0: the whole file
    int sis = 0;            // errno of the failing call; 0: none
    std::string detalhe{};  // what is wrong, in the program's words
    [[nodiscard]] bool ok() const { return tipo == TipoErro::nenhum; }

    static Erro uso(std::string detalhe);
    static Erro dados(std::string detalhe);
    static Erro dados(std::string arquivo, std::size_t linha, std::string detalhe);
    // Reading or writing `arquivo` failed with errno `sis`; a loop of links is said as such.
    static Erro leitura(std::string arquivo, int sis, std::string detalhe = {});
    static Erro gravacao(std::string arquivo = {}, int sis = 0);
    static Erro ja_existe(std::string arquivo);
    static Erro ausente(std::string detalhe);
    static Erro recusado(std::string arquivo, std::string detalhe, int sis = 0);
    static Erro sistema(std::string detalhe, int sis = 0);
    // The same failure, said of the file `nome`.
    [[nodiscard]] Erro no_arquivo(std::string nome) && {
        arquivo = std::move(nome);
        return std::move(*this);
    }
};

// "ARQUIVO[:LINHA]: what happened[: detail][: the system's words for SIS]", where only reading,
// writing and an existing file say what happened by their kind ("nao foi possivel ler", "erro
// ao gravar"); every other kind is said by its detail. The one line a program prints after
// "programa: ".
std::string descreve_erro(const Erro& e);

// The exit status for `e`: 0 when ok, 2 for a usage error, 1 for every other failure.
int status_de_saida(const Erro& e);

// Says `e` on standard error as "programa: " and its one line, unless it is ok, and for a usage
// error a second line pointing at "programa --ajuda"; returns its exit status.
int relata_erro(const char* programa, const Erro& e);
