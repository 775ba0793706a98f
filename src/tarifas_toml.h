#pragma once
// An operator's price list, a TOML file (read with toml++):
//
//   ddd = 85                  the operator's area code
//   [regras]                  gratis, minimo, incremento (seconds), bloco_parcial ("gratis" or
//                             "cobrado"), sucessivas (seconds; 0: off)
//   [reduzido]                segunda_a_sexta, sabado, domingo, feriado: bands "HH:MM-HH:MM";
//                             feriados: the operator's own dates, "AAAA-MM-DD"
//   [[destino]]               nome, and tipo (a kind of tarifas.h) or prefixos (digits of the
//                             international form)
//   [[plano]]                 nome, mensalidade (reais), franquia (minutes), franquia_destinos,
//                             precos and reduzido (reais a minute by destination, 4 decimals)
//
// Anything else, or a value out of its range, is refused naming the file and line.

#include <string>
#include <string_view>

#include "erro.h"
#include "tarifas.h"

// Fills `t` from the text of a price list read from `arquivo`.
Erro le_tarifas_de(std::string_view texto, const std::string& arquivo, Tarifa& t);
// Fills `t` from the price list file `arquivo`.
Erro le_tarifas(const std::string& arquivo, Tarifa& t);
