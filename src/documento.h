#pragma once
// Brazilian taxpayer numbers and e-mail addresses as people write them: a CPF (11 digits), a
// CNPJ (14: twelve digits or, from July 2026, capital letters and digits, then two check digits),
// each with its check digits right.

#include <string>
#include <string_view>

#include "erro.h"

// Whether `s` is a CPF or a CNPJ as kept (digits, and capitals in a CNPJ's first twelve): both
// check digits right, and not one character repeated (those pass the arithmetic but are void).
bool cpf_valido(std::string_view s);
bool cnpj_valido(std::string_view s);
// Takes a CPF or CNPJ as written ("123.456.789-09", "12.ABC.345/01DE-35", lower case too) to the
// form kept; a text that is neither, or whose check digits are wrong, is TipoErro::dados.
Erro prepara_documento(std::string& documento);
// "123.456.789-09", "11.222.333/0001-81"; any other text as it is.
std::string documento_formatado(std::string_view s);
std::string cnpj_formatado(std::string_view s);
// An address as mail systems take it: a local part of at most 64 letters, digits and ._%+-,
// neither starting nor ending with a dot nor holding two in a row; a domain of two or more
// labels of letters, digits and hyphens, none starting or ending with a hyphen.
bool e_email(std::string_view s);
