#pragma once
// Calendar dates and the calendar utilities.

#include <array>
#include <cstdint>

#include "impressao.h"

struct data {
    std::int8_t dia;   // 1 to the length of the month
    std::int8_t mes;   // 1 to 12
    std::int16_t ano;  // in full: 2017
};
using TData = data;

// Days of each month, indexed by month number; entry 0 is never a month.
inline constexpr std::array<std::int32_t, 13> ndm{0,  31, 28, 31, 30, 31, 30,
                                                  31, 31, 30, 31, 30, 31};

// Month names in lower case, code page 850 (0x87 is "c" with cedilla).
inline constexpr char nm[13][10] = {"",        "janeiro",  "fevereiro", "mar\x87o", "abril",
                                    "maio",    "junho",    "julho",     "agosto",   "setembro",
                                    "outubro", "novembro", "dezembro"};

// Weekday names, 0 = Sunday. Tuesday and Saturday keep a blank and a backspace after their
// accented letter, as the console they were written for expects.
inline constexpr char dse[7][16] = {"domingo",
                                    "segunda-feira",
                                    "ter\x87 \x08"
                                    "a-feira",
                                    "quarta-feira",
                                    "quinta-feira",
                                    "sexta-feira",
                                    "s\xA0 \x08"
                                    "bado"};

// 1 when `ano` is a Gregorian leap year, else 0.
std::int32_t e_bissexto(std::int32_t ano);
// Length of month `mes` in year `ano`; 0 for a month outside 1..12.
std::int32_t dias_no_mes(std::int32_t mes, std::int32_t ano);

// A month as one number that orders like the months: bills are grouped by it.
constexpr std::uint32_t chave_mes(TData d) {
    return static_cast<std::uint32_t>(static_cast<std::uint16_t>(d.ano)) << 8U |
           static_cast<std::uint8_t>(d.mes);
}
// The 10th of the month after the one `dat` falls in: a bill's due date.
TData vencimento_de(TData dat);

// A random date in November or December 2017: month, then day.
TData gere_data();
// dd/mm/yyyy, no line break.
void mostre_data(TData a);

// "25 de dezembro de 2017", no line break; a month outside 0..12 prints an empty name.
void mostre_data_ext(TData d);
// The day after `d`.
TData passa_um_dia(TData d);
void passa_um_dia_ref(TData* d);
// qsort comparator: the difference of the first differing field (year, month, day).
int cmp_data(const void* a, const void* b);
// A date typed as day/month/year on standard input; whatever could not be read is 0.
TData le_data();
// Today by the local clock; all zero when the clock cannot be read.
TData dat_sis();
// Day number counted from 1 January 1900 (day 1); for a year before 1900, the day of the year.
std::uint32_t dias_desde_1900(TData dat);
// The same under its historic name, which says 1990 and always meant 1900.
std::uint32_t desde_1_1_1990(TData dat);
// 0 = Sunday to 6 = Saturday.
std::int32_t dia_semana(TData dat);
// The weekday's name, no line break.
void dia_sem_ext(TData dat);

// dd/mm/yyyy.
template <>
struct fmt::formatter<TData> : SemEspecificacao {
    template <typename Contexto>
    auto format(TData d, Contexto& ctx) const {
        return fmt::format_to(ctx.out(), FMT_COMPILE("{}/{}/{}"), DoisDigitos{d.dia},
                              DoisDigitos{d.mes}, d.ano);
    }
};
