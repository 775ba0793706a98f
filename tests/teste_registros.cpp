#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linhas.h"
#include "registros.h"

namespace {

// What a reading hands over, one string per row.
struct Coleta final : DestinoRegistros {
    std::vector<std::string> linhas;
    void registro(const RegistroChamada& r) override { linhas.emplace_back(r.texto); }
    bool rejeitado(const RegistroRejeitado& r) override {
        linhas.push_back("rejeitado: " + std::string(r.motivo));
        return true;
    }
};

TEST(Registros, ArquivoVazioNaoTemRegistros) {
    AnalisadorRegistros a;
    Coleta c;
    EXPECT_TRUE(a.consome({}, c));
    EXPECT_TRUE(a.termina(c));
    EXPECT_TRUE(c.linhas.empty());
}

}  // namespace
