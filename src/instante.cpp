#include "instante.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

#include <fmt/format.h>

namespace {

using Campos = std::array<int, 6>;  // year, month, day, hour, minute, second

// The digits of `s` at [inicio, inicio + n) as a number, or -1 if one is not a digit.
int digitos(std::string_view s, std::size_t inicio, std::size_t n) {
    int v = 0;
    for (std::size_t i = inicio; i < inicio + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

bool bissexto(int a) {
    return (a % 4 == 0 && a % 100 != 0) || a % 400 == 0;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t dias_desde_1970(int ano, int mes, int dia) {
    const std::int64_t a = ano - (mes <= 2 ? 1 : 0);
    const std::int64_t era = (a >= 0 ? a : a - 399) / 400;
    const std::int64_t ano_da_era = a - era * 400;
    const std::int64_t dia_do_ano = (153 * (mes + (mes > 2 ? -3 : 9)) + 2) / 5 + dia - 1;
    const std::int64_t dia_da_era =
        ano_da_era * 365 + ano_da_era / 4 - ano_da_era / 100 + dia_do_ano;
    return era * 146097 + dia_da_era - 719468;
}

bool cabe_em_time_t(std::int64_t s) {
    return s >= std::numeric_limits<std::time_t>::min() &&
           s <= std::numeric_limits<std::time_t>::max();
}

// The local time of the zone at second t: its offset east of UTC and its abbreviation.
struct Local {
    bool ok;
    long deslocamento;
    std::string abreviacao;
};

Local local_em(std::int64_t t) {
    if (!cabe_em_time_t(t)) return {false, 0, {}};
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (localtime_r(&tt, &tm) == nullptr) return {false, 0, {}};
    return {true, tm.tm_gmtoff, tm.tm_zone != nullptr ? tm.tm_zone : ""};
}

std::string deslocamento_texto(long d) {
    const long a = d < 0 ? -d : d;
    return fmt::format("{}{:02}:{:02}", d < 0 ? '-' : '+', a / 3600, a / 60 % 60);
}

}  // namespace

ResultadoInstante le_instante(std::string_view texto) {
    ResultadoInstante r{ErroInstante::formato, 0, 0, {0, 0}, {}, {}, std::string(texto)};
    if (const char* tz = std::getenv("TZ"); tz != nullptr) r.zona = tz[0] == ':' ? tz + 1 : tz;

    constexpr std::string_view modelo = "0000-00-00 00:00:00";
    if (texto.size() < modelo.size()) return r;
    for (std::size_t i = 0; i < modelo.size(); ++i)
        if (modelo[i] != '0' && texto[i] != modelo[i]) return r;
    const Campos c = {digitos(texto, 0, 4),  digitos(texto, 5, 2),  digitos(texto, 8, 2),
                      digitos(texto, 11, 2), digitos(texto, 14, 2), digitos(texto, 17, 2)};
    for (const int v : c)
        if (v < 0) return r;

    // The offset, if any.
    std::optional<long> deslocamento;
    const std::string_view resto = texto.substr(modelo.size());
    if (resto == "Z") {
        deslocamento = 0;
    } else if (!resto.empty()) {
        const bool dois_pontos = resto.size() == 6 && resto[3] == ':';
        if ((resto[0] != '+' && resto[0] != '-') || (resto.size() != 5 && !dois_pontos)) return r;
        const int h = digitos(resto, 1, 2);
        const int m = digitos(resto, dois_pontos ? 4 : 3, 2);
        if (h < 0 || m < 0) return r;
        if (h > 23 || m > 59) {
            r.erro = ErroInstante::inexistente;
            return r;
        }
        deslocamento = (resto[0] == '-' ? -1L : 1L) * (h * 3600L + m * 60L);
    }

    const auto [ano, mes, dia, hora, minuto, seg] = c;
    static constexpr int dias_no_mes[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mes < 1 || mes > 12 || dia < 1 ||
        dia > dias_no_mes[mes - 1] + (mes == 2 && bissexto(ano) ? 1 : 0) || hora > 23 ||
        minuto > 59 || seg > 59) {
        r.erro = ErroInstante::inexistente;
        return r;
    }
    // The fields read as a time in UTC.
    const std::int64_t utc =
        dias_desde_1970(ano, mes, dia) * 86400 + hora * 3600L + minuto * 60L + seg;

    if (deslocamento) {
        const std::int64_t t = utc - *deslocamento;
        if (!cabe_em_time_t(t)) {
            r.erro = ErroInstante::fora_do_time;
            return r;
        }
        r.erro = ErroInstante::nenhum;
        r.segundo = static_cast<std::time_t>(t);
        return r;
    }

    // Local time: the zone's offsets two days either side cover any one change of the clock.
    // Each gives a candidate second, which is the time asked for only if the zone keeps that
    // same offset there. None: the clock skipped the time; two: it passed the time twice.
    tzset();
    const Local antes = local_em(utc - 2 * 86400);
    const Local depois = local_em(utc + 2 * 86400);
    if (!antes.ok || !depois.ok) {
        r.erro = ErroInstante::fora_do_time;
        return r;
    }
    r.deslocamento[0] = antes.deslocamento;
    r.deslocamento[1] = depois.deslocamento;
    r.abreviacao[0] = antes.abreviacao;
    r.abreviacao[1] = depois.abreviacao;
    std::array<std::int64_t, 2> achados{};
    std::size_t n = 0;
    for (const long d : {antes.deslocamento, depois.deslocamento}) {
        const std::int64_t t = utc - d;
        const Local l = local_em(t);
        if (l.ok && l.deslocamento == d && (n == 0 || achados[0] != t)) achados[n++] = t;
    }
    if (n == 0) {
        r.erro = ErroInstante::pulado;
        return r;
    }
    if (achados[0] > achados[n - 1]) std::swap(achados[0], achados[1]);
    r.segundo = static_cast<std::time_t>(achados[0]);
    r.segundo2 = static_cast<std::time_t>(achados[n - 1]);
    r.erro = n == 1 ? ErroInstante::nenhum : ErroInstante::repetido;
    return r;
}

std::string descreve_erro_instante(const ResultadoInstante& r) {
    // What was given, and the zone, are echoed within one line of plain ASCII.
    const auto ascii = [](std::string t) {
        for (char& ch : t)
            if (ch < ' ' || ch > '~') ch = '?';
        return t;
    };
    const std::string texto = ascii(r.texto);
    const std::string zona = r.zona.empty() ? "local" : ascii(r.zona);
    const std::string antes =
        fmt::format("{} ({})", r.abreviacao[0], deslocamento_texto(r.deslocamento[0]));
    const std::string depois =
        fmt::format("{} ({})", r.abreviacao[1], deslocamento_texto(r.deslocamento[1]));
    switch (r.erro) {
        case ErroInstante::nenhum:
            return {};
        case ErroInstante::formato:
            return fmt::format(
                "instante \"{}\" invalido: use \"AAAA-MM-DD hh:mm:ss\", com ou sem "
                "deslocamento (Z, +hh:mm, -hh:mm, +hhmm, -hhmm)",
                texto);
        case ErroInstante::inexistente:
            return fmt::format("instante \"{}\" invalido: data, hora ou deslocamento inexistente",
                               texto);
        case ErroInstante::fora_do_time:
            return fmt::format("instante \"{}\" fora do alcance do relogio do sistema", texto);
        case ErroInstante::pulado:
            return fmt::format(
                "instante \"{}\" nao existe no fuso {}: o relogio pulou de {} para "
                "{}; acrescente o deslocamento (ex.: \"{}{}\") ou use --semente",
                texto, zona, antes, depois, texto, deslocamento_texto(r.deslocamento[0]));
        case ErroInstante::repetido:
            return fmt::format(
                "instante \"{}\" ocorre duas vezes no fuso {}, em {} e em {}: "
                "segundos {} e {}; acrescente o deslocamento (\"{}{}\" ou \"{}{}\") "
                "ou use --semente",
                texto, zona, antes, depois, r.segundo, r.segundo2, texto,
                deslocamento_texto(r.deslocamento[0]), texto,
                deslocamento_texto(r.deslocamento[1]));
    }
    return {};
}
