#include "instante.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "caracteres.h"

namespace {

using Campos = std::array<int, 6>;  // year, month, day, hour, minute, second

// The digits of `s` at [inicio, inicio + n) as a number, or -1 if one is not a digit.
int digitos(std::string_view s, std::size_t inicio, std::size_t n) {
    int v = 0;
    for (std::size_t i = inicio; i < inicio + n; ++i) {
        if (!e_digito(s[i])) return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
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

Erro le_instante(std::string_view texto, std::time_t& segundo) {
    // What was given, and the zone, are echoed within one line of plain ASCII.
    const auto ascii = [](std::string_view t) {
        std::string s(t);
        for (char& ch : s)
            if (ch < ' ' || ch > '~') ch = '?';
        return s;
    };
    const std::string dado = ascii(texto);
    const Erro formato = Erro::uso(fmt::format(
        "instante \"{}\" invalido: use \"AAAA-MM-DD hh:mm:ss\", com ou sem deslocamento (Z, "
        "+hh:mm, -hh:mm, +hhmm, -hhmm)",
        dado));
    const Erro inexistente = Erro::uso(
        fmt::format("instante \"{}\" invalido: data, hora ou deslocamento inexistente", dado));
    const Erro fora_do_time =
        Erro::uso(fmt::format("instante \"{}\" fora do alcance do relogio do sistema", dado));

    constexpr std::string_view modelo = "0000-00-00 00:00:00";
    if (texto.size() < modelo.size()) return formato;
    for (std::size_t i = 0; i < modelo.size(); ++i)
        if (modelo[i] != '0' && texto[i] != modelo[i]) return formato;
    const Campos c = {digitos(texto, 0, 4),  digitos(texto, 5, 2),  digitos(texto, 8, 2),
                      digitos(texto, 11, 2), digitos(texto, 14, 2), digitos(texto, 17, 2)};
    for (const int v : c)
        if (v < 0) return formato;

    // The offset, if any.
    std::optional<long> deslocamento;
    const std::string_view resto = texto.substr(modelo.size());
    if (resto == "Z") {
        deslocamento = 0;
    } else if (!resto.empty()) {
        const bool dois_pontos = resto.size() == 6 && resto[3] == ':';
        if ((resto[0] != '+' && resto[0] != '-') || (resto.size() != 5 && !dois_pontos))
            return formato;
        const int h = digitos(resto, 1, 2);
        const int m = digitos(resto, dois_pontos ? 4 : 3, 2);
        if (h < 0 || m < 0) return formato;
        if (h > 23 || m > 59) return inexistente;
        deslocamento = (resto[0] == '-' ? -1L : 1L) * (h * 3600L + m * 60L);
    }

    const auto [ano, mes, dia, hora, minuto, seg] = c;
    namespace cr = std::chrono;
    const cr::year_month_day data{cr::year{ano}, cr::month{static_cast<unsigned>(mes)},
                                  cr::day{static_cast<unsigned>(dia)}};
    if (!data.ok() || hora > 23 || minuto > 59 || seg > 59) return inexistente;
    // The fields read as a time in UTC.
    const std::int64_t utc = std::int64_t{cr::sys_days{data}.time_since_epoch().count()} * 86400 +
                             hora * 3600L + minuto * 60L + seg;

    if (deslocamento) {
        const std::int64_t t = utc - *deslocamento;
        if (!cabe_em_time_t(t)) return fora_do_time;
        segundo = static_cast<std::time_t>(t);
        return {};
    }

    // Local time: the zone's offsets two days either side cover any one change of the clock.
    // Each gives a candidate second, which is the time asked for only if the zone keeps that
    // same offset there. None: the clock skipped the time; two: it passed the time twice.
    tzset();
    const Local antes = local_em(utc - 2 * 86400);
    const Local depois = local_em(utc + 2 * 86400);
    if (!antes.ok || !depois.ok) return fora_do_time;
    std::array<std::int64_t, 2> achados{};
    std::size_t n = 0;
    for (const long d : {antes.deslocamento, depois.deslocamento}) {
        const std::int64_t t = utc - d;
        const Local l = local_em(t);
        if (l.ok && l.deslocamento == d && (n == 0 || achados[0] != t)) achados[n++] = t;
    }
    if (n == 1) {
        segundo = static_cast<std::time_t>(achados[0]);
        return {};
    }
    const char* tz = std::getenv("TZ");
    const std::string zona =
        tz == nullptr || *tz == '\0' ? "local" : ascii(tz[0] == ':' ? tz + 1 : tz);
    const std::string de = deslocamento_texto(antes.deslocamento);
    const std::string para = deslocamento_texto(depois.deslocamento);
    const std::string fusos = fmt::format("{} ({})", antes.abreviacao, de);
    const std::string fusos2 = fmt::format("{} ({})", depois.abreviacao, para);
    if (n == 0)
        return Erro::uso(fmt::format(
            "instante \"{0}\" nao existe no fuso {1}: o relogio pulou de {2} para {3}; acrescente "
            "o deslocamento (ex.: \"{0}{4}\") ou use --semente",
            dado, zona, fusos, fusos2, de));
    if (achados[0] > achados[1]) std::swap(achados[0], achados[1]);
    return Erro::uso(fmt::format(
        "instante \"{0}\" ocorre duas vezes no fuso {1}, em {2} e em {3}: segundos {4} e {5}; "
        "acrescente o deslocamento (\"{0}{6}\" ou \"{0}{7}\") ou use --semente",
        dado, zona, fusos, fusos2, achados[0], achados[1], de, para));
}
