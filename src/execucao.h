#pragma once
// A billing run after the random generator has been seeded.

#include "cliente.h"

// Loads the customers from `arquivo`, builds the five lines, generates and sorts 200 calls,
// prints them, waits for one key on standard input and prints the bills.
// When the register cannot serve a run it prints nothing and returns why. When standard output
// has already failed by the wait, it neither waits nor bills; the caller finds the failure on
// the stream.
StatusCli executa(const char* arquivo);
