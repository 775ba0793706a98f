#pragma once
// A billing run after the random generator has been seeded.

#include "celular.h"
#include "cliente.h"
#include "lista_chamadas.h"

// Every list of a run, for the whole run.
struct Execucao {
    TLisCli lis_cli;
    TLisCel lis_cel;
    TLisCha li_ch;
};

// The run up to its printing: loads the customers from `arquivo` and checks them, builds the
// five lines, generates 200 calls and sorts them by caller and start. The errors name `arquivo`.
// What it draws from the generator, and in what order, is the run's.
Erro prepara_execucao(const char* arquivo, Execucao* e);

// The whole run: prepara_execucao, then the call list, a wait for one key on standard input and
// the bills. When the register cannot serve a run it prints nothing and returns why. When
// standard output has already failed by the wait, it neither waits nor bills; the caller finds
// the failure on the stream.
Erro executa(const char* arquivo);
