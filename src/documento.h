#pragma once
// The taxpayer numbers on a bill: a person's CPF (11 digits) and a company's CNPJ (14 places:
// the numeric form, or the alphanumeric one issued since July 2026, whose first 12 places may
// be upper-case letters), each ending in two check digits.

#include <optional>
#include <string>
#include <string_view>

// Whether 11 digits are a CPF, and 14 places a CNPJ: check digits right, and not one character
// repeated (those pass the arithmetic but are void). A CNPJ's places count as their character's
// value minus 48, so a digit is itself and 'A' is 17; its last two are digits.
bool cpf_valido(std::string_view documento);
bool cnpj_valido(std::string_view documento);

// A CPF or CNPJ as people write it ("529.982.247-25", "12.abc.345/01de-35", blanks around it)
// as it is kept: digits and upper-case letters only. None when it is neither.
std::optional<std::string> documento_lido(std::string_view texto);

// As it is shown: "529.982.247-25", "11.222.333/0001-81"; anything else as it is.
std::string documento_formatado(std::string_view documento);

// An e-mail address as mail systems take it: a local part of at most 64 letters, digits and
// ._%+-, neither starting nor ending with a dot nor holding two in a row; a domain of two or
// more labels of letters, digits and hyphens, none starting or ending with a hyphen.
bool e_email(std::string_view s);
