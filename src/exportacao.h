#pragma once
// A prepared run's calls and bills as CSV rows, with the figures contacel prints in that run.

#include <cstdio>

#include "dialeto_csv.h"
#include "erro.h"
#include "execucao.h"

// Whether every customer's name and address can be written in UTF-8: the converter may be
// missing, and a bill is never written with a blank name instead.
Erro textos_em_utf8(const TLisCli& lis_cli);
// One row per call, in list order: both codes, the called line, start, end, seconds, charge.
void exporta_chamadas(const Execucao& e, std::FILE* saida, DialetoCsv d = csv_padrao);
// One row per bill, in the run's order: the customer, the month, the totals, the due date.
void exporta_contas(const Execucao& e, std::FILE* saida, DialetoCsv d = csv_padrao);
