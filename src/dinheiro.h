#pragma once
// Amounts of money as the programs' outputs write them, beside the console bill's own.

#include <string>
#include <string_view>

// Two decimals, and `decimal` between reais and centavos: 63.84 or 63,84.
std::string dinheiro(double valor, char decimal);
// An amount as written on paper in Brazil, the reais grouped by thousands with dots:
// "177510,48" as "177.510,48"; a minus sign kept before them.
std::string no_papel(std::string_view valor);
