#include "data.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "impressao.h"

namespace cr = std::chrono;

std::int32_t e_bissexto(std::int32_t ano) {
    return cr::year{ano}.is_leap() ? 1 : 0;
}

std::int32_t dias_no_mes(std::int32_t mes, std::int32_t ano) {
    if (mes < 1 || mes > 12) return 0;
    const cr::year_month_day_last ultimo{cr::year{ano},
                                         cr::month_day_last{cr::month{static_cast<unsigned>(mes)}}};
    return static_cast<std::int32_t>(static_cast<unsigned>(ultimo.day()));
}

TData gere_data() {
    TData d{};
    d.ano = 2017;
    d.mes = static_cast<std::int8_t>(11 + std::rand() % 2);
    d.dia = static_cast<std::int8_t>(1 + std::rand() % dias_no_mes(d.mes, d.ano));
    return d;
}

void mostre_data(TData a) {
    imprime(FMT_COMPILE("{}"), a);
}

void mostre_data_ext(TData d) {
    const Campo mes = (d.mes >= 0 && d.mes <= 12) ? campo(nm[d.mes]) : Campo{};
    imprime(FMT_COMPILE("{} de {} de {}"), DoisDigitos{d.dia}, mes, d.ano);
}

void passa_um_dia_ref(TData* d) {
    const int dia = d->dia + 1;
    if (dia <= dias_no_mes(d->mes, d->ano)) {
        d->dia = static_cast<std::int8_t>(dia);
        return;
    }
    d->dia = 1;
    const int mes = d->mes + 1;
    if (mes <= 12) {
        d->mes = static_cast<std::int8_t>(mes);
        return;
    }
    d->mes = 1;
    d->ano = static_cast<std::int16_t>(d->ano + 1);
}

TData passa_um_dia(TData d) {
    passa_um_dia_ref(&d);
    return d;
}

int cmp_data(const void* a, const void* b) {
    const auto* da = static_cast<const TData*>(a);
    const auto* db = static_cast<const TData*>(b);
    if (da->ano != db->ano) return da->ano - db->ano;
    if (da->mes != db->mes) return da->mes - db->mes;
    return da->dia - db->dia;
}

TData le_data() {
    int d = 0;
    int m = 0;
    int a = 0;
    if (std::scanf("%d/%d/%d", &d, &m, &a) < 3) {
        // The values that were not read keep their zero.
    }
    return TData{static_cast<std::int8_t>(d), static_cast<std::int8_t>(m),
                 static_cast<std::int16_t>(a)};
}

TData dat_sis() {
    const std::time_t agora = std::time(nullptr);
    std::tm tm{};
    if (agora == static_cast<std::time_t>(-1) || localtime_r(&agora, &tm) == nullptr) return {};
    return TData{static_cast<std::int8_t>(tm.tm_mday), static_cast<std::int8_t>(tm.tm_mon + 1),
                 static_cast<std::int16_t>(tm.tm_year + 1900)};
}

std::uint32_t dias_desde_1900(TData dat) {
    std::uint32_t n = 0;
    for (std::int32_t ano = 1900; ano < dat.ano; ++ano)
        n += e_bissexto(ano) != 0 ? 366U : 365U;
    for (std::int32_t mes = 1; mes < dat.mes; ++mes)
        n += static_cast<std::uint32_t>(dias_no_mes(mes, dat.ano));
    return n + static_cast<std::uint32_t>(static_cast<std::int32_t>(dat.dia));
}

std::uint32_t desde_1_1_1990(TData dat) {
    return dias_desde_1900(dat);
}

std::int32_t dia_semana(TData dat) {
    return static_cast<std::int32_t>(dias_desde_1900(dat) % 7U);
}

void dia_sem_ext(TData dat) {
    imprime(FMT_COMPILE("{}"), campo(dse[dia_semana(dat)]));
}

TData vencimento_de(TData dat) {
    TData v = dat;
    v.dia = 10;
    if (dat.mes + 1 > 12) {
        v.mes = 1;
        v.ano = static_cast<std::int16_t>(dat.ano + 1);
    } else {
        v.mes = static_cast<std::int8_t>(dat.mes + 1);
    }
    return v;
}
