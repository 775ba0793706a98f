#pragma once
// A moment given on a command line as "AAAA-MM-DD hh:mm:ss", optionally followed by its offset
// from UTC (Z, +hh:mm, -hh:mm, +hhmm or -hhmm). Without an offset it is the local time of the
// zone TZ names, as the run's clock reads it; a local time that the clock skipped, or passed
// twice, names no single second and is refused.

#include <ctime>
#include <string>
#include <string_view>

enum class ErroInstante {
    nenhum,
    formato,       // not "AAAA-MM-DD hh:mm:ss[OFFSET]"
    inexistente,   // no such date or time of day (2017-02-29, 24:00:00, an offset of +25:00)
    fora_do_time,  // a second time_t cannot hold
    pulado,        // a local time the clock skipped
    repetido,      // a local time the clock passed twice
};

struct ResultadoInstante {
    ErroInstante erro;
    std::time_t segundo;        // the Unix second; for `repetido` the earlier of the two
    std::time_t segundo2;       // for `repetido`, the later one
    long deslocamento[2];       // pulado/repetido: the offsets east of UTC before and after
    std::string abreviacao[2];  // pulado/repetido: the zone's abbreviations before and after
    std::string zona;           // the value of TZ, empty when it is not set
    std::string texto;          // what was given
};

// Reads `texto`; the result holds the second, or what is wrong with it.
ResultadoInstante le_instante(std::string_view texto);

// One line, in Portuguese and plain ASCII, saying what is wrong with the result (empty when
// nothing is): for a skipped or repeated local time it names the zone, gives both seconds of
// a repeated one and says to add the offset or to use --semente.
std::string descreve_erro_instante(const ResultadoInstante& r);
