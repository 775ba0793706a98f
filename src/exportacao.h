#pragma once
// Bills as CSV rows: their calls, or their totals.

#include <cstdio>

#include "cobranca.h"
#include "dialeto_csv.h"
#include "erro.h"

// Whether every customer's name and address can be written in UTF-8: the converter may be
// missing, and a bill is never written with a blank name instead.
Erro textos_em_utf8(const TLisCli& lis_cli);
// The header of the calls' CSV, then one row per call, bill after bill: the customer, the
// called customer, the called number, start, end, seconds, charge and, with `linhas` when any
// call's calling line is known (as records name it), that line: bills made again from the CSV
// show it. A simulated run's calls keep the CSV they always had.
void exporta_chamadas(const Contas& c, std::FILE* saida, DialetoCsv d = csv_padrao,
                      bool linhas = false);
// The header of the bills' CSV, then one row per bill: the customer, the month, the totals, the
// due date and, with a book, the number it was issued with (empty: none).
void exporta_contas(const Contas& c, std::FILE* saida, DialetoCsv d = csv_padrao);
