#pragma once
// The command lines of the companion programs, read with the C library's getopt_long: options
// before or after the operands, "--opcao valor" and "--opcao=valor", unique abbreviations of
// long names, "--" ending the options. A repeated option is an error, as is an unknown one.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "erro.h"
#include "inteiro.h"

inline constexpr int saida_uso = 2;

struct Opcao {
    const char* nome;                // the long name, without "--"
    const char* sinonimo = nullptr;  // another long name for it ("help" for "ajuda")
    char curta = 0;                  // its letter, or 0
    bool com_valor = false;
    bool repete = false;  // may be given more than once, each time with a value
};

struct LinhaDeComando {
    std::vector<std::string_view> operandos;
    // The value of each option given, by its place in the table; "" for one without a value.
    std::vector<std::optional<std::string_view>> valores;
    // Every value of each option, in the order given: more than one only for one that repeats.
    std::vector<std::vector<std::string_view>> todos;
    // What is wrong with the line: a usage error, or ok.
    Erro erro;
    [[nodiscard]] bool tem(std::size_t opcao) const { return valores[opcao].has_value(); }
};

// Reads argv[1] to argv[argc - 1]; argv[0] only names the command.
LinhaDeComando le_linha_de_comando(int argc, char** argv, std::span<const Opcao> opcoes);

// A program as --ajuda and --versao show it: its name, its usage, and which first operands are
// its commands ("importar --ajuda" is help too).
struct Programa {
    const char* nome;
    std::string_view uso;
    bool (*e_comando)(std::string_view palavra);
};

// The usage error on standard error, as GNU tools say it: "programa: motivo", then one line
// pointing at --ajuda; returns saida_uso.
int erro_de_uso(const char* programa, std::string_view motivo);
// Answers --ajuda and --versao, options 0 and 1 of every program's table, given alone or after
// one command: the usage or "programa VERSAO" on standard output (for termina_saida to check),
// and the exit status. Nothing when the line asks for neither.
std::optional<int> ajuda_ou_versao(const Programa& p, const LinhaDeComando& lc);
// What every program does first: the system's words (strerror) in the user's language and its
// character set, numbers in the C locale's form; a write beyond the file-size limit fails and
// is told rather than kill the program.
void prepara_programa();
// The exit status of a program whose output is all written: `status`, unless standard output
// failed at any point (a full disk, a closed pipe), which is said in one line and is status 1.
int termina_saida(const char* programa, int status);
