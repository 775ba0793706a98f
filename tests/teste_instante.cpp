// Reading a moment from the command line, with and without its offset, in zones with and
// without clock changes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "instante.h"

namespace {

// Sets TZ for the life of the object and puts the old value back.
class ComFuso {
  public:
    explicit ComFuso(const char* tz) {
        if (const char* v = std::getenv("TZ")) antigo_ = v;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ComFuso() {
        if (antigo_)
            setenv("TZ", antigo_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ComFuso(const ComFuso&) = delete;
    ComFuso& operator=(const ComFuso&) = delete;

  private:
    std::optional<std::string> antigo_;
};

struct Caso {
    const char* fuso;
    const char* texto;
    ErroInstante erro;
    std::time_t segundo;
    std::time_t segundo2;
};

TEST(LeInstante, TabelaDeFusos) {
    using enum ErroInstante;
    const Caso casos[] = {
        {"UTC", "2017-12-01 10:00:00", nenhum, 1512122400, 0},
        {"UTC", "1969-12-31 23:59:59", nenhum, -1, 0},
        {"UTC", "2040-01-01 00:00:00", nenhum, 2208988800, 0},
        {"UTC", "1900-03-01 00:00:00", nenhum, -2203891200, 0},
        {"UTC", "2016-02-29 00:00:00", nenhum, 1456704000, 0},
        {"UTC", "2017-02-29 00:00:00", inexistente, 0, 0},
        {"UTC", "2017-12-01 24:00:00", inexistente, 0, 0},
        {"UTC", "2017-13-01 10:00:00", inexistente, 0, 0},
        {"UTC", "2017-12-01 10:00:60", inexistente, 0, 0},
        {"UTC", "2017-12-01 10:00:00+24:00", inexistente, 0, 0},
        {"UTC", "2017-12-01 10:00", formato, 0, 0},
        {"UTC", "2017-12-01T10:00:00", formato, 0, 0},
        {"UTC", "2017-12-01 10:00:0x", formato, 0, 0},
        {"UTC", "2017-12-01 10:00:00 ", formato, 0, 0},
        {"UTC", "2017-12-01 10:00:00+3", formato, 0, 0},
        {"UTC", "2017-12-01 10:00:00+03:0", formato, 0, 0},
        {"UTC", "2017-12-01 10:00:00z", formato, 0, 0},
        {"UTC", "+2017-12-01 10:00:00", formato, 0, 0},
        // An offset makes the zone irrelevant.
        {"Asia/Tokyo", "2017-12-01 10:00:00Z", nenhum, 1512122400, 0},
        {"Asia/Tokyo", "2017-12-01 10:00:00+03:00", nenhum, 1512111600, 0},
        {"Asia/Tokyo", "2017-12-01 10:00:00-0300", nenhum, 1512133200, 0},
        {"America/Sao_Paulo", "2017-12-01 10:00:00+0530", nenhum, 1512102600, 0},
        {"America/Sao_Paulo", "2017-10-15 00:00:00-03:00", nenhum, 1508036400, 0},
        {"America/Sao_Paulo", "2018-02-17 23:30:00-02:00", nenhum, 1518917400, 0},
        {"America/Sao_Paulo", "2018-02-17 23:30:00-03:00", nenhum, 1518921000, 0},
        // Local times.
        {"Asia/Tokyo", "2017-12-01 19:00:00", nenhum, 1512122400, 0},
        {"Asia/Tokyo", "1970-01-01 08:59:59", nenhum, -1, 0},
        {"America/Sao_Paulo", "2017-12-01 08:00:00", nenhum, 1512122400, 0},
        {"America/Sao_Paulo", "2017-10-14 23:59:59", nenhum, 1508036399, 0},
        {"America/Sao_Paulo", "2017-10-15 00:00:00", pulado, 0, 0},
        {"America/Sao_Paulo", "2017-10-15 00:59:59", pulado, 0, 0},
        {"America/Sao_Paulo", "2017-10-15 01:00:00", nenhum, 1508036400, 0},
        {"America/Sao_Paulo", "2018-02-17 22:59:59", nenhum, 1518915599, 0},
        {"America/Sao_Paulo", "2018-02-17 23:00:00", repetido, 1518915600, 1518919200},
        {"America/Sao_Paulo", "2018-02-17 23:30:00", repetido, 1518917400, 1518921000},
        {"America/Sao_Paulo", "2018-02-17 23:59:59", repetido, 1518919199, 1518922799},
        {"America/Sao_Paulo", "2018-02-18 00:00:00", nenhum, 1518922800, 0},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::string(c.fuso) + " " + c.texto);
        const ComFuso fuso(c.fuso);
        const ResultadoInstante r = le_instante(c.texto);
        EXPECT_EQ(r.erro, c.erro);
        if (c.erro == ErroInstante::nenhum || c.erro == ErroInstante::repetido) {
            EXPECT_EQ(r.segundo, c.segundo);
        }
        if (c.erro == ErroInstante::repetido) {
            EXPECT_EQ(r.segundo2, c.segundo2);
        }
        EXPECT_EQ(descreve_erro_instante(r).empty(), c.erro == ErroInstante::nenhum);
    }
}

TEST(LeInstante, MensagemNomeiaOFusoOsSegundosEOQueFazer) {
    const ComFuso fuso("America/Sao_Paulo");
    EXPECT_EQ(descreve_erro_instante(le_instante("2018-02-17 23:30:00")),
              "instante \"2018-02-17 23:30:00\" ocorre duas vezes no fuso America/Sao_Paulo, em "
              "-02 (-02:00) e em -03 (-03:00): segundos 1518917400 e 1518921000; acrescente o "
              "deslocamento (\"2018-02-17 23:30:00-02:00\" ou \"2018-02-17 23:30:00-03:00\") ou "
              "use --semente");
    EXPECT_EQ(descreve_erro_instante(le_instante("2017-10-15 00:30:00")),
              "instante \"2017-10-15 00:30:00\" nao existe no fuso America/Sao_Paulo: o relogio "
              "pulou de -03 (-03:00) para -02 (-02:00); acrescente o deslocamento (ex.: "
              "\"2017-10-15 00:30:00-03:00\") ou use --semente");
    // What was given stays within one line of plain ASCII.
    EXPECT_EQ(descreve_erro_instante(le_instante("2017-12-01\n10:00:00\xc3\xa7")),
              "instante \"2017-12-01?10:00:00??\" invalido: use \"AAAA-MM-DD hh:mm:ss\", com ou "
              "sem deslocamento (Z, +hh:mm, -hh:mm, +hhmm, -hhmm)");
}

}  // namespace
