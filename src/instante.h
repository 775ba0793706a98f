#pragma once
// A moment given on a command line as "AAAA-MM-DD hh:mm:ss", optionally followed by its offset
// from UTC (Z, +hh:mm, -hh:mm, +hhmm or -hhmm). Without an offset it is the local time of the
// zone TZ names, as the run's clock reads it; a local time that the clock skipped, or passed
// twice, names no single second and is refused.

#include <ctime>
#include <string_view>

#include "erro.h"

// Reads `texto` into `segundo`, the Unix second it names. A text that names none is a usage
// error (TipoErro::uso) whose one line, in plain ASCII, says what is wrong: for a skipped or
// repeated local time it names the zone, gives both seconds of a repeated one and says to add
// the offset or to use --semente.
Erro le_instante(std::string_view texto, std::time_t& segundo);
