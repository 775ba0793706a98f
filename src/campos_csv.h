#pragma once
// One CSV row split into fields without copying them: each field is a view into the row. A
// quoted field's view holds what is between its quotes, with quotes still doubled inside; only
// a field that is used has them undone. The readers of records and of the lines file share it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct CamposCsv {
    static constexpr std::size_t capacidade = 24;
    std::array<std::string_view, capacidade> campos{};
    std::size_t n = 0;         // fields split, at most the number asked for
    bool mais = false;         // the row has more fields than were asked for
    bool valido = true;        // false: a quote without its closing quote, or text after it
    std::uint32_t duplas = 0;  // bit i: field i has doubled quotes inside
};

// Splits `linha` (no line end) at `separador` into its first `maximo` fields (at most
// CamposCsv::capacidade); the rest of the row is not looked at.
void separa_campos(std::string_view linha, char separador, std::size_t maximo, CamposCsv& c);
// Appends `campo` to `destino` with its doubled quotes made single, and returns a view of what
// was appended; `destino` must already have room for it, so that earlier views stay valid.
std::string_view desfaz_aspas(std::string_view campo, std::string& destino);
