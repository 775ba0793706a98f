#pragma once
// One error value for every operation that can fail: ok, or a kind of failure with the file it
// is about, the line or row where it applies, the errno of the system call that failed and a
// detail in the program's words. One function phrases it as the one line a program prints after
// its own name, and one says which exit status it is.

#include <cstddef>
#include <cstdint>
#include <string>

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

// Built with designated initializers: Erro{.tipo = TipoErro::dados, .detalhe = "..."}.
struct Erro {
    TipoErro tipo = TipoErro::nenhum;
    std::string arquivo{};  // the file it is about; empty: none
    std::size_t linha = 0;  // the line (or row) of that file, from 1; 0: the whole file
    int sis = 0;            // errno of the failing call; 0: none
    std::string detalhe{};  // what is wrong, in the program's words
    [[nodiscard]] bool ok() const { return tipo == TipoErro::nenhum; }
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
