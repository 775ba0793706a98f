// The monthly bills: the worked example, the tariff, grouping, and a whole seeded run.

#include <fmt/compile.h>
#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "apoio.h"
#include "conta.h"
#include "execucao.h"
#include "impressao.h"
#include "tarifas.h"

namespace {

// Customers 1 to 5, each owning table line k - 1.
struct Cadastro {
    TLisCli cli{};
    TLisCel cel{};
    Cadastro() {
        insere_cliente(&cli, cliente_de(1, "Zevoz Avode Zudu", "Rua Iracema, 45"));
        for (std::uint32_t k = 2; k <= 5; ++k)
            insere_cliente(&cli,
                           cliente_de(k, "Cliente " + std::to_string(k), "Rua Pedro I, 1234"));
        gere_lis_cel(&cli, &cel);
    }
};

std::string contas_de(const Cadastro& c, std::initializer_list<TChamada> chamadas) {
    auto lis = std::make_unique<TLisCha>();
    for (const TChamada& ch : chamadas)
        insere_chamada(lis.get(), ch);
    return saida_de([&] { mostre_contas(&c.cli, &c.cel, lis.get()); });
}

std::string f62(float v) {
    std::array<char, 32> b{};
    std::snprintf(b.data(), b.size(), "%6.2f", static_cast<double>(v));
    return b.data();
}

TEST(Contas, ExemploDeUmaContaComDuasChamadas) {
    const Cadastro c;
    const std::string s = contas_de(c, {chamada_de(1, 2, dh(14, 12, 2017, 13, 45, 10), 123),
                                        chamada_de(1, 3, dh(21, 12, 2017, 8, 2, 44), 2)});
    EXPECT_EQ(s,
              "\n"
              "-------------------------------------------------\n"
              "CONTA DE TELEFONIA CELULAR       Dezembro de 2017\n"
              "-------------------------------------------------\n"
              "Cliente:  Zevoz Avode Zudu\n"
              "Endere\x87o: Rua Iracema, 45\n"
              "-------------------------------------------------\n"
              "(85) 9 8888-4321 14/12/2017 13:45:10   123   1.20\n"
              "(85) 9 8877-4123 21/12/2017 08:02:44     2   0.00\n"
              "                                      ---- ------\n"
              "                                       125   1.20\n"
              "-------------------------------------------------\n"
              "Vencimento:10/01/2018     Valor a pagar: R$  1.20\n"
              "-------------------------------------------------\n"
              "\n");
}

TEST(Contas, Tarifa) {
    const std::pair<int, const char*> casos[] = {
        {1, "0.00"},  {3, "0.00"},  {4, "0.30"},  {30, "0.30"},  {35, "0.30"},
        {36, "0.36"}, {41, "0.36"}, {42, "0.42"}, {123, "1.20"}, {600, "6.00"},
    };
    for (const auto& [ns, texto] : casos) {
        std::array<char, 16> b{};
        std::snprintf(b.data(), b.size(), "%.2f",
                      static_cast<double>(tarifa_da_execucao.reais(ns)));
        EXPECT_STREQ(b.data(), texto) << ns;
    }
    // Products and sum in double, then stored as float.
    EXPECT_EQ(tarifa_da_execucao.reais(600), static_cast<float>(30 * static_cast<double>(0.01F) +
                                                                570 * static_cast<double>(0.01F)));
}

TEST(Contas, ValoresComoOPrintfDaBibliotecaC) {
    // Charges and running totals as bills reach them, and values on both sides of the ties at
    // the third decimal: the bill's format gives what printf gives for the promoted double.
    std::vector<float> valores;
    float soma = 0.0F;
    for (int i = 0; i < 100000; ++i) {
        soma += tarifa_da_execucao.reais(1 + (i * 7919) % 600);
        valores.insert(valores.end(), {tarifa_da_execucao.reais(1 + i % 600), soma});
        const float quase = static_cast<float>(i) / 200.0F;  // x.xx5 and its neighbours
        valores.insert(valores.end(),
                       {quase, std::nextafter(quase, 0.0F), std::nextafter(quase, 1e9F)});
    }
    for (const float v : valores) {
        ASSERT_EQ(fmt::format(FMT_COMPILE("{:6.2f}"), v), f62(v)) << v;
    }
}

TEST(Contas, UmaContaPorClienteEMesNovembroPrimeiro) {
    const Cadastro c;
    const std::string s = contas_de(c, {chamada_de(2, 1, dh(3, 11, 2017, 9, 0, 0), 40),
                                        chamada_de(2, 5, dh(30, 11, 2017, 23, 59, 50), 20),
                                        chamada_de(2, 1, dh(1, 12, 2017, 0, 0, 0), 4),
                                        chamada_de(4, 1, dh(31, 12, 2017, 23, 59, 30), 45)});
    std::istringstream linhas(s);
    std::vector<std::string> cabecalhos, vencimentos, chamadas;
    for (std::string l; std::getline(linhas, l);) {
        if (l.starts_with("CONTA")) cabecalhos.push_back(l);
        if (l.starts_with("Vencimento")) vencimentos.push_back(l);
        if (l.starts_with("(")) chamadas.push_back(l);
    }
    ASSERT_EQ(cabecalhos.size(), 3U);
    EXPECT_EQ(cabecalhos[0], "CONTA DE TELEFONIA CELULAR       Novembro de 2017");
    EXPECT_EQ(cabecalhos[1], "CONTA DE TELEFONIA CELULAR       Dezembro de 2017");
    EXPECT_EQ(vencimentos[0], "Vencimento:10/12/2017     Valor a pagar: R$  0.66");
    EXPECT_EQ(vencimentos[1], "Vencimento:10/01/2018     Valor a pagar: R$  0.30");
    EXPECT_EQ(vencimentos[2], "Vencimento:10/01/2018     Valor a pagar: R$  0.42");
    // The number shown is the called customer's line.
    EXPECT_EQ(chamadas[1], "(85) 9 9988-3412 30/11/2017 23:59:50    20   0.30");
    EXPECT_EQ(chamadas[3], "(85) 9 8899-1234 31/12/2017 23:59:30    45   0.42");
    // Customers 1, 3 and 5 called nobody: no bill names them.
    EXPECT_EQ(s.find("Zevoz"), std::string::npos);
    EXPECT_EQ(s.find("Cliente 3"), std::string::npos);
}

TEST(Contas, ClienteOuLinhaAusentesAparecemEmBranco) {
    const Cadastro c;
    const std::string s = contas_de(c, {chamada_de(9, 7, dh(3, 11, 2017, 9, 0, 0), 40)});
    EXPECT_NE(s.find("Cliente:  \nEndere\x87o: \n"), std::string::npos);
    EXPECT_NE(s.find("(00) 9 0000-0000 03/11/2017 09:00:00    40   0.36\n"), std::string::npos);
    const TLisCha vazia{};
    EXPECT_EQ(saida_de([&] { mostre_contas(&c.cli, &c.cel, &vazia); }), "");
    // A name and an address that fill their fields, with no NUL: printed whole, nothing past.
    Cadastro cheio;
    std::memset(cheio.cli.clientes[0].nome, 'N', sizeof cheio.cli.clientes[0].nome);
    std::memset(cheio.cli.clientes[0].endereco, 'E', sizeof cheio.cli.clientes[0].endereco);
    EXPECT_NE(contas_de(cheio, {chamada_de(1, 2, dh(3, 11, 2017, 9, 0, 0), 40)})
                  .find("Cliente:  " + std::string(51, 'N') +
                        "\nEndere\x87o: " + std::string(51, 'E') + "\n-"),
              std::string::npos);
}

// ---- A whole run, seeded ----

struct Execucao {
    std::string saida;
    Erro status;
};

Execucao executa_com(unsigned semente, const std::string& arquivo) {
    PastaTemp pasta;
    grava(pasta / "clientes.arq", arquivo);
    EntradaDe entrada("\n");
    std::srand(semente);
    Execucao e;
    e.saida = saida_de([&] { e.status = executa((pasta / "clientes.arq").c_str()); });
    return e;
}

// The tariff worked by hand, in cents: free up to 3 s, 30 up to 30 s, then 6 for every whole
// 6 s beyond.
int centavos(int ns) {
    if (ns <= 3) return 0;
    if (ns <= 30) return 30;
    return 30 + 6 * ((ns - 30) / 6);
}

std::string reais(int centavos) {
    return std::to_string(centavos / 100) + "." + (centavos % 100 < 10 ? "0" : "") +
           std::to_string(centavos % 100);
}

// Right-aligned in `largura` columns, widening for a longer text as printf does.
std::string direita(const std::string& s, std::size_t largura) {
    return std::string(largura > s.size() ? largura - s.size() : 0, ' ') + s;
}

TEST(ExecucaoInteira, CadaChamadaEmUmaContaComTotaisCorretos) {
    // Seed 5 gives a bill of more than 10,000 seconds: its totals widen the line.
    bool largo = false;
    for (const unsigned semente : {1U, 5U, 1512130800U, 4242U}) {
        const Execucao e = executa_com(semente, arquivo_valido(8).bytes());
        ASSERT_TRUE(e.status.ok());
        const std::string& s = e.saida;

        // 200 call lines of 36 bytes, sorted, then two line breaks.
        constexpr std::size_t tam_lista = 200 * 36;
        ASSERT_GT(s.size(), tam_lista + 2);
        ASSERT_EQ(s.substr(tam_lista, 3), "\n\n\n");
        std::vector<std::string> lista;
        for (std::size_t i = 0; i < 200; ++i)
            lista.push_back(s.substr(i * 36, 35));
        for (std::size_t i = 1; i < 200; ++i)
            ASSERT_LE(lista[i - 1].substr(0, 3), lista[i].substr(0, 3));

        std::istringstream linhas(s.substr(tam_lista + 2));
        std::size_t proxima = 0;
        int soma_seg = 0;
        int soma_centavos = 0;
        for (std::string l; std::getline(linhas, l);) {
            if (l.starts_with("Cliente:  ")) {
                // The bill's customer is the caller of its first call.
                const int cod = std::stoi(lista[proxima].substr(0, 3));
                EXPECT_EQ(l, "Cliente:  Cliente " + std::to_string(cod));
                soma_seg = 0;
                soma_centavos = 0;
            } else if (l.starts_with("(")) {
                ASSERT_LT(proxima, lista.size());
                const std::string& item = lista[proxima++];
                // Same start and duration as in the list; the called customer's line; the
                // charge worked by hand. A call line never widens.
                ASSERT_EQ(l.size(), 49U) << l;
                EXPECT_EQ(l.substr(17, 19), item.substr(9, 19));
                const int ns = std::stoi(l.substr(37, 5));
                EXPECT_EQ(ns, std::stoi(item.substr(30, 3)));
                const std::string linhas_tabela[] = {"(85) 9 8899-1234", "(85) 9 8888-4321",
                                                     "(85) 9 8877-4123", "(85) 9 9956-5678",
                                                     "(85) 9 9988-3412"};
                EXPECT_EQ(l.substr(0, 16), linhas_tabela[std::stoi(item.substr(4, 3)) - 1]);
                EXPECT_EQ(l.substr(43), direita(reais(centavos(ns)), 6));
                soma_seg += ns;
                soma_centavos += centavos(ns);
            } else if (l.starts_with("          ") && !l.ends_with("------")) {
                // The totals: 49 columns, wider only for 10,000 s or R$ 100.00 and more.
                EXPECT_EQ(l, std::string(38, ' ') + direita(std::to_string(soma_seg), 4) + " " +
                                 direita(reais(soma_centavos), 6));
                largo = largo || l.size() > 49;
            } else if (l.starts_with("Vencimento:")) {
                EXPECT_TRUE(
                    l.ends_with("     Valor a pagar: R$ " + direita(reais(soma_centavos), 5)))
                    << l;
            } else if (!l.empty() && !l.starts_with("Endere")) {
                EXPECT_EQ(l.size(), 49U) << l;
            }
        }
        EXPECT_EQ(proxima, 200U) << "every call is in exactly one bill";
    }
    EXPECT_TRUE(largo);
}

TEST(ExecucaoInteira, CadastroInutilNaoImprimeNada) {
    const Execucao poucos = executa_com(1, arquivo_valido(4).bytes());
    EXPECT_TRUE(poucos.status.detalhe.starts_with("o cadastro tem 4 clientes"));
    EXPECT_TRUE(poucos.status.arquivo.ends_with("/clientes.arq"));
    EXPECT_EQ(poucos.saida, "");
    const Execucao corrompido = executa_com(1, arquivo_valido(6).bytes().substr(0, 300));
    EXPECT_TRUE(corrompido.status.detalhe.starts_with("o arquivo declara 6 clientes, mas"));
    EXPECT_EQ(corrompido.saida, "");
}

TEST(ExecucaoInteira, MesmaSementeMesmaSaida) {
    const std::string arq = arquivo_valido(5).bytes();
    EXPECT_EQ(executa_com(77, arq).saida, executa_com(77, arq).saida);
    EXPECT_NE(executa_com(77, arq).saida, executa_com(78, arq).saida);
}

}  // namespace
