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
    std::time_t segundo;
    const char* diz;  // in the error; empty: none
};

TEST(LeInstante, TabelaDeFusos) {
    const char* formato = "invalido: use \"AAAA-MM-DD hh:mm:ss\"";
    const char* inexistente = "invalido: data, hora ou deslocamento inexistente";
    const char* pulado = "nao existe no fuso America/Sao_Paulo";
    const Caso casos[] = {
        {"UTC", "2017-12-01 10:00:00", 1512122400, ""},
        {"UTC", "1969-12-31 23:59:59", -1, ""},
        {"UTC", "2040-01-01 00:00:00", 2208988800, ""},
        {"UTC", "1900-03-01 00:00:00", -2203891200, ""},
        {"UTC", "2016-02-29 00:00:00", 1456704000, ""},
        {"UTC", "2017-02-29 00:00:00", 0, inexistente},
        {"UTC", "2017-12-01 24:00:00", 0, inexistente},
        {"UTC", "2017-13-01 10:00:00", 0, inexistente},
        {"UTC", "2017-12-01 10:00:60", 0, inexistente},
        {"UTC", "2017-12-01 10:00:00+24:00", 0, inexistente},
        {"UTC", "2017-12-01 10:00", 0, formato},
        {"UTC", "2017-12-01T10:00:00", 0, formato},
        {"UTC", "2017-12-01 10:00:0x", 0, formato},
        {"UTC", "2017-12-01 10:00:00 ", 0, formato},
        {"UTC", "2017-12-01 10:00:00+3", 0, formato},
        {"UTC", "2017-12-01 10:00:00+03:0", 0, formato},
        {"UTC", "2017-12-01 10:00:00z", 0, formato},
        {"UTC", "+2017-12-01 10:00:00", 0, formato},
        // An offset makes the zone irrelevant.
        {"Asia/Tokyo", "2017-12-01 10:00:00Z", 1512122400, ""},
        {"Asia/Tokyo", "2017-12-01 10:00:00+03:00", 1512111600, ""},
        {"Asia/Tokyo", "2017-12-01 10:00:00-0300", 1512133200, ""},
        {"America/Sao_Paulo", "2017-12-01 10:00:00+0530", 1512102600, ""},
        {"America/Sao_Paulo", "2017-10-15 00:00:00-03:00", 1508036400, ""},
        {"America/Sao_Paulo", "2018-02-17 23:30:00-02:00", 1518917400, ""},
        {"America/Sao_Paulo", "2018-02-17 23:30:00-03:00", 1518921000, ""},
        // Local times.
        {"Asia/Tokyo", "2017-12-01 19:00:00", 1512122400, ""},
        {"Asia/Tokyo", "1970-01-01 08:59:59", -1, ""},
        {"America/Sao_Paulo", "2017-12-01 08:00:00", 1512122400, ""},
        {"America/Sao_Paulo", "2017-10-14 23:59:59", 1508036399, ""},
        {"America/Sao_Paulo", "2017-10-15 00:00:00", 0, pulado},
        {"America/Sao_Paulo", "2017-10-15 00:59:59", 0, pulado},
        {"America/Sao_Paulo", "2017-10-15 01:00:00", 1508036400, ""},
        {"America/Sao_Paulo", "2018-02-17 22:59:59", 1518915599, ""},
        {"America/Sao_Paulo", "2018-02-17 23:00:00", 0, "segundos 1518915600 e 1518919200"},
        {"America/Sao_Paulo", "2018-02-17 23:30:00", 0, "segundos 1518917400 e 1518921000"},
        {"America/Sao_Paulo", "2018-02-17 23:59:59", 0, "segundos 1518919199 e 1518922799"},
        {"America/Sao_Paulo", "2018-02-18 00:00:00", 1518922800, ""},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::string(c.fuso) + " " + c.texto);
        const ComFuso fuso(c.fuso);
        std::time_t t = 0;
        const Erro e = le_instante(c.texto, t);
        EXPECT_EQ(e.ok(), *c.diz == '\0') << e.detalhe;
        EXPECT_NE(e.detalhe.find(c.diz), std::string::npos) << e.detalhe;
        EXPECT_EQ(status_de_saida(e), e.ok() ? 0 : 2);
        if (e.ok()) {
            EXPECT_EQ(t, c.segundo);
        }
    }
}

std::string detalhe_de(const char* texto) {
    std::time_t t = 0;
    return le_instante(texto, t).detalhe;
}

TEST(LeInstante, MensagemNomeiaOFusoOsSegundosEOQueFazer) {
    const ComFuso fuso("America/Sao_Paulo");
    EXPECT_EQ(detalhe_de("2018-02-17 23:30:00"),
              "instante \"2018-02-17 23:30:00\" ocorre duas vezes no fuso America/Sao_Paulo, em "
              "-02 (-02:00) e em -03 (-03:00): segundos 1518917400 e 1518921000; acrescente o "
              "deslocamento (\"2018-02-17 23:30:00-02:00\" ou \"2018-02-17 23:30:00-03:00\") ou "
              "use --semente");
    EXPECT_EQ(detalhe_de("2017-10-15 00:30:00"),
              "instante \"2017-10-15 00:30:00\" nao existe no fuso America/Sao_Paulo: o relogio "
              "pulou de -03 (-03:00) para -02 (-02:00); acrescente o deslocamento (ex.: "
              "\"2017-10-15 00:30:00-03:00\") ou use --semente");
    // What was given stays within one line of plain ASCII.
    EXPECT_EQ(detalhe_de("2017-12-01\n10:00:00\xc3\xa7"),
              "instante \"2017-12-01?10:00:00??\" invalido: use \"AAAA-MM-DD hh:mm:ss\", com ou "
              "sem deslocamento (Z, +hh:mm, -hh:mm, +hhmm, -hhmm)");
}

}  // namespace
