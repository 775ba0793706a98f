#pragma once
// Amounts of money as the programs' outputs write them, beside the console bill's own.

#include <string>

// Two decimals, and `decimal` between reais and centavos: 63.84 or 63,84.
std::string dinheiro(double valor, char decimal);
