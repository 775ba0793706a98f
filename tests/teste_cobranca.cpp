// Bills of any calls: numbers as shown, one bill per customer and year-month, and exact money
// that agrees with the simulated run's float.

#include <cstdio>
#include <memory>

#include "apoio.h"
#include "cobranca.h"
#include "execucao.h"
#include "exportacao.h"

namespace {

TEST(Cobranca, NumeroExibido) {
    const std::pair<std::string_view, std::string_view> casos[] = {
        {"11963391451", "(11) 9 6339-1451"},
        {"(85) 9 8877-4123", "(85) 9 8877-4123"},
        {"+5585988774123", "(85) 9 8877-4123"},
        {"085988774123", "(85) 9 8877-4123"},
        {"8532345678", "(85) 3234-5678"},
        {"+55 (85) 3234-5678", "(85) 3234-5678"},
        {"55988774123", "(55) 9 8877-4123"},  // area code 55 itself
        {"+14155552671", "+14155552671"},
        {"211553", "211553"},
        {"client1", "client1"},
        {"0800123456", "0800123456"},
        {"*97", "*97"},
        {"", ""},
    };
    for (const auto& [numero, exibido] : casos)
        EXPECT_EQ(numero_exibido(numero), exibido) << numero;
}

TEST(Cobranca, TarifaEmCentavosEDinheiro) {
    for (std::int64_t ns = 0; ns <= 5000; ++ns)
        ASSERT_EQ(dinheiro(valor_chamada(ns, true), '.'), dinheiro(valor_chamada(ns, false), '.'))
            << ns;
    EXPECT_EQ(dinheiro(Valor{true, 123456789012, 0.0F}, ','), "1234567890,12");
    EXPECT_EQ(dinheiro(Valor{true, 5, 0.0F}, '.'), "0.05");
}

ChamadaCobrada cobrada(Contas& c, std::uint32_t cod, TDataHora ini, std::uint32_t seg,
                       std::string_view numero) {
    return {ini,
            ini,
            cod,
            seg,
            c.textos.guarda(numero),
            0,
            0,
            static_cast<std::uint32_t>(c.chamadas.size())};
}

// December 2023 and December 2024 are two bills; calls by start, one second's in the order read.
TEST(Cobranca, UmaContaPorClienteAnoEMes) {
    TLisCli cli{};
    insere_cliente(&cli, cliente_de(7, "Sete", "Rua 7"));
    Contas c;
    c.clientes = &cli;
    for (const auto& [cod, ini, seg, numero] :
         std::initializer_list<std::tuple<std::uint32_t, TDataHora, std::uint32_t, const char*>>{
             {7, dh(5, 12, 2024, 10, 0, 0), 36, "a"},
             {7, dh(5, 12, 2023, 10, 0, 0), 4, "b"},
             {3, dh(1, 1, 2024, 0, 0, 0), 600, "c"},
             {7, dh(1, 12, 2024, 10, 0, 0), 3, "d"},
             {7, dh(5, 12, 2024, 10, 0, 0), 31, "e"},
         })
        c.chamadas.push_back(cobrada(c, cod, ini, seg, numero));
    agrupa_em_contas(c);
    std::string s;
    for (const ContaMensal& conta : c.contas) {
        s += fmt::format("{} {}-{} {} {} {} {}:", conta.cod_cli, conta.ano, conta.mes,
                         conta.chamadas, conta.tempo_total, dinheiro(conta.valor_total, '.'),
                         fmt::format("{}", vencimento_da_conta(conta)));
        for (const ChamadaCobrada& ch : c.chamadas_de(conta))
            s += fmt::format(" {}", c.textos[ch.numero]);
        s += "\n";
    }
    EXPECT_EQ(s,
              "3 2024-1 1 600 6.00 10/02/2024: c\n"
              "7 2023-12 1 4 0.30 10/01/2024: b\n"
              "7 2024-12 3 70 0.66 10/01/2025: d a e\n");
}

// The run's float totals and the same calls billed in centavos print alike: every bill of
// many runs, as CSV.
TEST(Cobranca, CentavosConcordamComOFloatDaExecucao) {
    PastaTemp pasta;
    grava(pasta / "c.arq", arquivo_valido(6).bytes());
    const auto e = std::make_unique<Execucao>();
    const auto csv = [](const Contas& c) {
        char* b = nullptr;
        std::size_t n = 0;
        std::FILE* m = ::open_memstream(&b, &n);
        exporta_contas(c, m);
        exporta_chamadas(c, m);
        std::fclose(m);
        std::string s(b, n);
        std::free(b);
        return s;
    };
    for (unsigned semente = 0; semente < 200; ++semente) {
        std::srand(semente);
        ASSERT_TRUE(prepara_execucao((pasta / "c.arq").c_str(), e.get()).ok());
        const Contas execucao = contas_da_execucao(*e);
        Contas exatas = contas_da_execucao(*e);
        exatas.exatas = true;
        agrupa_em_contas(exatas);
        ASSERT_EQ(csv(exatas), csv(execucao)) << semente;
    }
    std::srand(1);
}

}  // namespace
