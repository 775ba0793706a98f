// The bills as PDF documents, read back with poppler's pdftotext and compared figure by figure
// with the console bills of the same run; the Pix QR code read back with zbarimg; the documents
// checked with qpdf.

#include <sys/wait.h>

#include <fmt/format.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <regex>
#include <sstream>

#include "apoio.h"
#include "caminhos.h"
#include "codigo850.h"
#include "conta.h"
#include "data.h"
#include "execucao.h"
#include "faturas.h"
#include "tabela_pdf.h"
#include "tarifas.h"

namespace {

bool tem_programa(std::string_view nome) {
    const char* path = std::getenv("PATH");
    std::stringstream pastas(path != nullptr ? path : "");
    for (std::string p; std::getline(pastas, p, ':');)
        if (::access((std::filesystem::path(p) / nome).c_str(), X_OK) == 0) return true;
    return false;
}

// The standard output of a shell command, and whether it exited with 0.
std::pair<std::string, bool> roda(const std::string& comando) {
    std::FILE* f = ::popen(comando.c_str(), "r");
    std::string saida;
    std::array<char, 4096> b{};
    for (std::size_t n; (n = std::fread(b.data(), 1, b.size(), f)) > 0;)
        saida.append(b.data(), n);
    const int st = ::pclose(f);
    return {saida, WIFEXITED(st) && WEXITSTATUS(st) == 0};
}

// The first of `programas` that is not installed, or nothing.
std::string falta(std::initializer_list<std::string_view> programas) {
    for (const std::string_view p : programas)
        if (!tem_programa(p)) return std::string(p);
    return {};
}

std::string sem_brancos_nas_pontas(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// Seconds as the documents write them: "05:01", "1:56:01".
std::string minutos(const std::string& segundos) {
    const long s = std::stol(segundos);
    return s < 3600 ? fmt::format("{:02}:{:02}", s / 60, s % 60)
                    : fmt::format("{}:{:02}:{:02}", s / 3600, s / 60 % 60, s % 60);
}

std::string virgula(std::string s) {
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

// A bill as text, one line per figure, whatever it was read from: so that a difference shows
// as the line it is on.
struct Lida {
    std::vector<std::string> linhas;
    std::string texto() const {
        std::string t;
        for (const std::string& l : linhas)
            t += l + "\n";
        return t;
    }
};

// The console bills, in UTF-8, money with a comma.
std::vector<std::string> contas_do_console(const std::string& cp850) {
    static const std::regex chamada(
        R"(^(\(\d\d\) 9 \d{4}-\d{4}) (\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)  +(\d+) +(\d+\.\d\d)$)");
    static const std::regex totais(R"(^ +(\d+) +(\d+\.\d\d)$)");
    static const std::regex pagar(R"(^Vencimento:(\S+)     Valor a pagar: R\$ +(\S+)$)");
    std::vector<Lida> contas;
    std::istringstream in(texto_utf8(cp850));
    std::smatch m;
    for (std::string l; std::getline(in, l);) {
        if (l.starts_with("CONTA DE TELEFONIA CELULAR")) {
            contas.emplace_back();
            contas.back().linhas.push_back("mes " + sem_brancos_nas_pontas(l.substr(26)));
        } else if (l.starts_with("Cliente:  ")) {
            contas.back().linhas.push_back("nome " + sem_brancos_nas_pontas(l.substr(10)));
        } else if (l.starts_with("Endereço: ")) {
            contas.back().linhas.push_back(
                "endereco " + sem_brancos_nas_pontas(l.substr(sizeof "Endereço: " - 1)));
        } else if (std::regex_match(l, m, chamada)) {
            contas.back().linhas.push_back(m.str(1) + " | " + m.str(2) + " | " + minutos(m.str(3)) +
                                           " | " + virgula(m.str(4)));
        } else if (std::regex_match(l, m, totais)) {
            contas.back().linhas.push_back("total " + minutos(m.str(1)) + " | " +
                                           virgula(m.str(2)));
        } else if (std::regex_match(l, m, pagar)) {
            contas.back().linhas.push_back(m.str(2) == "0.00" ? "nada a pagar"
                                                              : "vencimento " + m.str(1) +
                                                                    " valor " + virgula(m.str(2)));
        }
    }
    std::vector<std::string> r;
    for (const Lida& c : contas)
        r.push_back(c.texto());
    return r;
}

// The bills of a document's text (pdftotext -layout), in the console's order of figures; the
// pages of each bill must say "página k de n" in order, with the heading (and the issuer's
// lines, when there is one) repeated.
struct Documento {
    std::vector<std::string> contas;
    std::vector<std::size_t> paginas;  // per bill
    std::vector<std::string> payloads;
    std::vector<std::string> emissor;   // each page's issuer lines
    std::vector<std::string> periodos;  // each bill's period, issue date and chart's days
};

Documento contas_do_pdf(const std::string& texto) {
    static const std::regex chamada(
        R"(^\s*(\(\d\d\) 9 \d{4}-\d{4})\s+(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)\s+(\d+:\d\d(?::\d\d)?)\s+(\d+,\d\d)\s*$)");
    static const std::regex totais(
        R"(^\s*Total: \d+ chamadas?\s+(\d+:\d\d(?::\d\d)?)\s+(\d+,\d\d)\s*$)");
    static const std::regex pagar(R"(Valor a pagar: R\$ (\S+))");
    static const std::regex vence(R"(Vencimento: (\S+))");
    static const std::regex pagina(R"(página (\d+) de (\d+))");
    static const std::regex emissor(R"(^\s*(.* · CNPJ \S+|.* · Atendimento: .*\S)\s*(página|$))");
    static const std::regex periodo(R"(^\s*(Período: .*\S|1\s+5\s+10\s+15\s+20\s+25\s+\d\d)\s*$)");
    Documento d;
    std::vector<Lida> contas;
    std::vector<std::string> cabecalho;
    std::vector<std::string> paginas;
    std::size_t inicio = 0;
    for (std::size_t ff; (ff = texto.find('\f', inicio)) != std::string::npos; inicio = ff + 1)
        paginas.push_back(texto.substr(inicio, ff - inicio));
    EXPECT_EQ(sem_brancos_nas_pontas(texto.substr(inicio)), "");
    std::size_t esperada = 1;
    for (const std::string& p : paginas) {
        std::istringstream in(p);
        std::smatch m;
        std::string mes;
        std::string nome;
        std::size_t k = 1;
        std::size_t n = 1;
        Lida conteudo;
        std::string payload;
        bool no_payload = false;
        std::string valor;
        std::string emissor_pagina;
        for (std::string l; std::getline(in, l);) {
            if (no_payload) {
                payload = sem_brancos_nas_pontas(l);
                no_payload = false;
                continue;
            }
            if (std::regex_search(l, m, emissor)) emissor_pagina += m.str(1) + "\n";
            if (std::regex_search(l, m, periodo))
                d.periodos.push_back(std::regex_replace(m.str(1), std::regex(" +"), " "));
            if (const auto c = l.find("CONTA DE TELEFONIA CELULAR"); c != std::string::npos)
                mes = "mes " + sem_brancos_nas_pontas(l.substr(c + 26));
            if (std::regex_search(l, m, pagina)) {
                k = std::stoul(m.str(1));
                n = std::stoul(m.str(2));
            }
            if (const auto c = l.find("Cliente: "); c != std::string::npos)
                nome = "nome " + sem_brancos_nas_pontas(l.substr(c + 9));
            if (const auto c = l.find("Endereço: "); c != std::string::npos)
                conteudo.linhas.push_back(
                    "endereco " + sem_brancos_nas_pontas(l.substr(c + sizeof "Endereço: " - 1)));
            if (std::regex_match(l, m, chamada))
                conteudo.linhas.push_back(m.str(1) + " | " + m.str(2) + " | " + m.str(3) + " | " +
                                          m.str(4));
            if (std::regex_match(l, m, totais))
                conteudo.linhas.push_back("total " + m.str(1) + " | " + m.str(2));
            if (std::regex_search(l, m, pagar)) valor = m.str(1);
            if (std::regex_search(l, m, vence))
                cabecalho = {"vencimento " + m.str(1) + " valor " + valor};
            if (l.find("Nada a pagar") != std::string::npos) cabecalho = {"nada a pagar"};
            if (l.find("Pix copia e cola") != std::string::npos) no_payload = true;
        }
        if (!payload.empty()) d.payloads.push_back(payload);
        d.emissor.push_back(emissor_pagina);
        EXPECT_EQ(k, esperada) << p;
        if (k == 1) {
            contas.push_back({{mes, nome}});
            d.paginas.push_back(n);
        } else {
            EXPECT_EQ(contas.back().linhas[0], mes);
            EXPECT_EQ(contas.back().linhas[1], nome);
        }
        auto& linhas = contas.back().linhas;
        linhas.insert(linhas.end(), conteudo.linhas.begin(), conteudo.linhas.end());
        esperada = k == n ? 1 : k + 1;
        if (k == n) {
            // The amount stands at the top of the first page; the console prints it last.
            linhas.insert(linhas.end(), cabecalho.begin(), cabecalho.end());
            cabecalho.clear();
        }
    }
    EXPECT_EQ(esperada, 1U) << "a ultima conta termina antes da sua ultima pagina";
    for (const Lida& c : contas)
        d.contas.push_back(c.texto());
    return d;
}

std::string pdf_de(const Contas& c, const OpcoesFaturas& op) {
    std::string pdf;
    const Erro erro = escreve_faturas(c, op, [&](std::span<const std::byte> b) {
        pdf.append(reinterpret_cast<const char*>(b.data()), b.size());
        return true;
    });
    EXPECT_TRUE(erro.ok()) << descreve_erro(erro);
    return pdf;
}

std::string pdf_de(const Execucao& e, const OpcoesFaturas& op) {
    return pdf_de(contas_da_execucao(e), op);
}

const RecebedorPix recebedor{"+5585988776655", "Contacel Telefonia", "Fortaleza"};

OpcoesFaturas opcoes(std::time_t instante, std::optional<RecebedorPix> pix = {}) {
    OpcoesFaturas op;
    op.instante = instante;
    op.pix = std::move(pix);
    return op;
}

Emissor emissor_de(std::string nome, std::string endereco) {
    Emissor em;
    em.nome = std::move(nome);
    em.cnpj = "11222333000181";
    em.endereco = std::move(endereco);
    em.telefone = "0800 123 4567";
    return em;
}

// A register whose names and addresses hold code page 850 letters, quotes and commas.
std::string cadastro_850() {
    return ArquivoClientes(6)
        .registro(3, "Jo\xC6o \"Jo\xC6ozinho\" Concei\x87\xC6o", "Av. Bar\xC6o de Studart, 1980")
        .registro(1, "Ara\xA3jo, Maria \x90lia", "Rua \"A\", 12, fundos")
        .registro(5, "\x80\xC7O & <Filhos>", "Pra\x87\x61 da S\x82, s/n")
        .registro(2, "Ana", "Rua Iracema")
        .registro(4, std::string(50, '\x87'), std::string(50, 'W'))
        .registro(6, "Sem linha", "Rua B")
        .bytes();
}

TEST(Faturas, CadaFiguraComoNoConsoleMesmoSegundo) {
    if (const std::string f = falta({"pdftotext", "qpdf"}); !f.empty())
        GTEST_SKIP() << f << " nao instalado";
    PastaTemp pasta;
    grava(pasta / "850.arq", cadastro_850());
    struct Caso {
        std::time_t semente;
        std::string cadastro;
        bool pix;
        bool emissor = false;
    };
    const Caso casos[] = {
        {1512122400, caminho_exemplo, false},
        {1512122400, caminho_exemplo, true, true},
        {987654321, caminho_exemplo, true},
        {1, (pasta / "850.arq").string(), false, true},
        {-2000000000, (pasta / "850.arq").string(), true},
    };
    const Emissor emissor =
        emissor_de("Contacel Telefonia Ltda", "Av. Santos Dumont, 1000, Fortaleza - CE");
    for (const Caso& c : casos) {
        SCOPED_TRACE(testing::Message() << c.semente << " " << c.cadastro << " " << c.pix);
        std::srand(static_cast<unsigned>(c.semente));
        const auto e = std::make_unique<Execucao>();
        ASSERT_TRUE(prepara_execucao(c.cadastro.c_str(), e.get()).ok());
        const std::string console =
            saida_de([&] { mostre_contas(&e->lis_cli, &e->lis_cel, &e->li_ch); });
        OpcoesFaturas op = opcoes(c.semente);
        if (c.pix) op.pix = recebedor;
        if (c.emissor) op.emissor = emissor;
        const std::string pdf = pdf_de(*e, op);
        EXPECT_EQ(pdf_de(*e, op), pdf) << "duas composicoes diferentes";
        grava(pasta / "contas.pdf", pdf);
        EXPECT_TRUE(roda("qpdf --check " + (pasta / "contas.pdf").string()).second);
        const auto [texto, ok] =
            roda("pdftotext -layout " + (pasta / "contas.pdf").string() + " -");
        ASSERT_TRUE(ok);
        const Documento d = contas_do_pdf(texto);
        EXPECT_EQ(d.contas, contas_do_console(console));
        // The issuer on every page.
        EXPECT_EQ(d.emissor, std::vector<std::string>(
                                 d.emissor.size(),
                                 c.emissor ? "Contacel Telefonia Ltda · CNPJ 11.222.333/0001-81\n"
                                             "Av. Santos Dumont, 1000, Fortaleza - CE · "
                                             "Atendimento: 0800 123 4567\n"
                                           : ""));

        // Each bill on its own: its pages are the whole document's, in order, and its title
        // names the customer and the month.
        std::string juntas;
        std::vector<std::string> nomes;
        std::vector<std::string> titulos;
        ASSERT_TRUE(
            escreve_cada_fatura(
                contas_da_execucao(*e), op,
                [&](const std::string& nome, std::span<const std::byte> b) {
                    nomes.push_back(nome);
                    grava(pasta / "uma.pdf", {reinterpret_cast<const char*>(b.data()), b.size()});
                    juntas +=
                        roda("pdftotext -layout " + (pasta / "uma.pdf").string() + " -").first;
                    const std::string info = roda("pdfinfo " + (pasta / "uma.pdf").string()).first;
                    const auto t = info.find("Title:");
                    titulos.push_back(
                        sem_brancos_nas_pontas(info.substr(t + 6, info.find('\n', t) - t - 6)));
                    return true;
                })
                .ok());
        EXPECT_EQ(juntas, texto);
        std::vector<std::string> esperados;
        std::vector<std::string> titulos_esperados;
        std::vector<std::string> periodos;
        para_cada_conta(&e->li_ch, [&](const Conta& conta, std::span<const ParcelaConta>) {
            esperados.push_back(nome_arquivo_fatura(conta.cod_cli, conta.ano, conta.mes));
            const TCliente& cli = cliente_da_conta(&e->lis_cli, conta.cod_cli);
            titulos_esperados.push_back(
                fmt::format("Conta de {} - {} de {}",
                            texto_utf8({cli.nome, strnlen(cli.nome, sizeof cli.nome)}),
                            texto_utf8(nm[conta.mes]), conta.ano));
            const int dias = dias_no_mes(conta.mes, conta.ano);
            periodos.push_back(fmt::format(
                "Período: 01/{0:02}/{1} a {2}/{0:02}/{1} Emissão: {3}", conta.mes, conta.ano, dias,
                conta.mes == 12 ? fmt::format("01/01/{}", conta.ano + 1)
                                : fmt::format("01/{:02}/{}", conta.mes + 1, conta.ano)));
            periodos.push_back(fmt::format("1 5 10 15 20 25 {}", dias));
        });
        EXPECT_EQ(nomes, esperados);
        EXPECT_EQ(titulos, titulos_esperados);
        EXPECT_EQ(d.periodos, periodos);
    }
    std::srand(1);
}

// Bills of records as their pages read, each row a piece of text on a bill's page (or, with
// "-", not on it): the calls of a customer's lines, line by line with subtotals; money as written
// on paper; the issuer as written, its long address wrapped; the taxes in the price; a bill with
// nothing to pay.
TEST(Faturas, PaginasDasContasDeRegistros) {
    if (const std::string f = falta({"pdftotext"}); !f.empty())
        GTEST_SKIP() << f << " nao instalado";
    PastaTemp pasta;
    Contas c;
    c.clientes = clientes_de({{1, "Cliente 1", "Rua"},
                              {2, "Cliente 2", "Rua", {}, {}, "60170251", "Fortaleza", "CE"},
                              {3, "Cliente 3", "Rua"},
                              {4, "Cliente 4", "Rua"}});
    const std::tuple<std::uint32_t, const char*, std::uint32_t> chamadas[] = {
        {1, "(85) 9 8877-4123", 61},
        {1, "ramal 7", 241'000},
        {1, "(85) 9 8877-4123", 61},
        {2, "", 900},
        {3, "a", 61},
        {3, "b", 61},
        {3,
         "sip:ramal.da.recepcao.do.segundo.andar.bloco.b@pabx.operadora-exemplo.com.br;transport="
         "tls;user=phone",
         61},
        {3, "d", 61},
        {3, "", 61},
        {4, "f", 2}};
    // Line d's calls go on to the next page.
    std::vector<std::tuple<std::uint32_t, const char*, std::uint32_t>> todas(std::begin(chamadas),
                                                                             std::end(chamadas));
    todas.insert(todas.end(), 40, {3, "d", 61});
    // Line f's call is to an address wider than its column.
    for (const auto& [cod, linha, segundos] : todas)
        c.chamadas.push_back({dh(3, 1, 2025, 9, 0, 0), dh(3, 1, 2025, 9, 1, 0), cod, segundos,
                              c.textos.guarda(cod == 4 ? "sip:atendimento.financeiro@operadora-"
                                                         "exemplo.com.br"
                                                       : "11963391451"),
                              0, c.textos.guarda(linha),
                              static_cast<std::uint32_t>(c.chamadas.size()),
                              tarifa_da_execucao.centavos(segundos)});
    agrupa_em_contas(c);
    // The first customer's lines with a price plan, whose fees the bill adds, one without calls;
    // its calls' destinations, bands and allowance.
    Tarifa planos;
    planos.destinos = {{"Local móvel", {}}, {"Longa distância móvel de outra operadora", {}}};
    planos.planos.push_back({"Empresa", 3990, 6000, {}, {}, {}});
    c.tarifa = &planos;
    for (ChamadaCobrada& cha : c.chamadas)
        if (cha.cod_cli != 1) cha.plano = 1;
    c.chamadas[0].reduzido = true;
    c.chamadas[0].franquia = 61;
    c.chamadas[1].destino_tarifa = 1;
    for (const char* l : {"(85) 3234-0000", "(85) 9 8877-4123"})
        c.linhas.push_back({1, 0, c.textos.guarda(l)});
    c.contas[0].mensalidades = 7980;
    // The second customer's bill as a book issued it: its number and dates; the first's number.
    c.emitidas[chave_conta(c.contas[0])] = {"2025-000122", {15, 2, 2025}, {20, 2, 2025}};
    c.emitidas[chave_conta(c.contas[1])] = {"2025-000123", {15, 2, 2025}, {20, 2, 2025}};
    OpcoesFaturas op = opcoes(0, recebedor);
    op.emissor = emissor_de("Açaí Telecom Ltda",
                            "Avenida Senador Virgílio Távora, 1000, Sala 1203, Torre Empresarial "
                            "Norte, Meireles, Fortaleza - CE, 60170-251, Brasil");
    op.emissor->tributos = {
        {"ICMS", 180000}, {"PIS", 6500}, {"COFINS", 30000}, {"FUST", 10000}, {"FUNTTEL", 5000}};
    op.titulo = titulo_registros;
    op.recebedor = "Açaí Telecom, São Paulo";
    grava(pasta / "r.pdf", pdf_de(c, op));
    const std::string texto = roda("pdftotext -layout " + (pasta / "r.pdf").string() + " -").first;
    std::vector<std::string> paginas(1);
    for (const char ch : texto)
        if (ch == '\f')
            paginas.emplace_back();
        else
            paginas.back().push_back(ch);
    const std::pair<std::size_t, std::string> casos[] = {
        {0, "Conta de serviços de telefonia"},
        {0, "Açaí Telecom Ltda · CNPJ 11.222.333/0001-81"},
        {0, "Avenida Senador Virgílio Távora, 1000, Sala 1203, Torre Empresarial Norte, Meireles,"},
        {0, "Brasil · Atendimento: 0800 123 4567"},
        {0, "Linhas: 3, com as chamadas de cada uma abaixo"},
        {0,
         "Início Destino Faixa Duração Valor (R$) Linha (85) 3234-0000 · plano Empresa, "
         "mensalidade R$ 39,90 Nenhuma chamada no mês · Franquia: 100 min, usados 0 min Linha"},
        {0,
         "Linha (85) 9 8877-4123 · plano Empresa, mensalidade R$ 39,90 11963391451 03/01/2025 "
         "09:00:00 Local móvel reduzido 01:01 0,60 11963391451 03/01/2025 09:00:00 Local móvel "
         "normal 01:01 0,60 Subtotal da linha: 2 chamadas · Franquia: 100 min, usados 1 min 1 s "
         "02:02 1,20 Linha ramal 7 · plano Empresa 11963391451 03/01/2025 09:00:00 Longa "
         "distância móvel… normal"},
        {0,
         "Subtotal da linha: 1 chamada · Franquia: 100 min, usados 0 min 66:56:40 2.409,96 "
         "Chamadas por destino Local móvel 2 chamadas 02:02 1,20 Longa distância móvel d… 1 "
         "chamada "
         "66:56:40 2.409,96 Mensalidades das linhas 79,80 Total: 3 chamadas 66:58:42 2.411,16"},
        {0, "Valor a pagar: R$ 2.411,16"},
        {0, "3.000,00"},
        {0, "66:56:40 2.409,96"},
        {0, "Recebedor: Açaí Telecom, São Paulo"},
        {0,
         "Tributos incluídos: ICMS R$ 434,01 (18%) · PIS R$ 15,67 (0,65%) · COFINS R$ 72,33 "
         "(3%) · FUST R$ 24,11 (1%) · FUNTTEL R$ 12,06 (0,5%) · total R$ 558,18"},
        {0, "Fatura nº 2025-000122"},
        {2, "-Fatura nº"},
        {1, "Cliente: Cliente 2"},
        {1, "Fatura nº 2025-000123"},
        {1, "Emissão: 15/02/2025"},
        {1, "Vencimento: 20/02/2025"},
        {1, "Endereço: Rua, Fortaleza - CE, CEP 60170-251"},
        {1, "-Linha"},
        {1,
         "Tributos incluídos: ICMS R$ 1,62 (18%) · PIS R$ 0,06 (0,65%) · COFINS R$ 0,27 (3%) · "
         "FUST R$ 0,09 (1%) · FUNTTEL R$ 0,05 (0,5%) · total R$ 2,09"},
        {2, "Linhas: 5, com"},
        {3, "Linha d (continuação) Número chamado"},
        {3, "Subtotal da linha: 41 chamadas 41:41 24,60 Linha sip:ramal.da.recepcao.do.segundo."},
        {3, "-user=phone"},
        {3, "Chamadas por destino Local móvel 45 chamadas 45:45 27,00 Total: 45 chamadas"},
        {2,
         "Linha não identificada 11963391451 03/01/2025 09:00:00 Local móvel normal 01:01 0,60 "
         "Subtotal da linha: 1 chamada 01:01 0,60 Linha a"},
        {4, "Nada a pagar"},
        {4, "sip:atendimento.financei… 03/01/2025 09:00:00 Local móvel normal 00:02 0,00"},
        {4, "-Vencimento"},
        {4, "-Pix"},
        {4, "-Tributos"},
    };
    ASSERT_EQ(paginas.size(), 6U) << texto;
    // The heading reads in its order also where pdftotext orders the text itself.
    const std::string cru = roda("pdftotext " + (pasta / "r.pdf").string() + " -").first;
    EXPECT_LT(cru.find("Linhas: 3"), cru.find("Fatura nº 2025-000122")) << cru;
    for (const auto& [pagina, trecho] : casos) {
        const std::string& p = paginas[pagina];
        const std::string t = std::regex_replace(p, std::regex("\\s+"), " ");
        if (trecho.starts_with('-'))
            EXPECT_EQ(t.find(trecho.substr(1)), std::string::npos) << trecho << "\n" << p;
        else
            EXPECT_NE(t.find(trecho), std::string::npos) << trecho << "\n" << p;
    }
}

// A bill of 100 calls runs over three pages, whose rows and totals are the console's; one of 31
// calls stays on its first page, beside its Pix stub.
TEST(Faturas, ContaLongaContinuaNasPaginasSeguintes) {
    if (const std::string f = falta({"pdftotext", "qpdf"}); !f.empty())
        GTEST_SKIP() << f << " nao instalado";
    PastaTemp pasta;
    const auto e = std::make_unique<Execucao>();
    e->lis_cli.ncl = 0;
    for (std::uint32_t c = 1; c <= 5; ++c)
        insere_cliente(&e->lis_cli, cliente_de(c, "Cliente " + std::to_string(c), "Rua"));
    gere_lis_cel(&e->lis_cli, &e->lis_cel);
    e->li_ch.num_cha = 0;
    for (int i = 0; i < 100; ++i)
        insere_chamada(&e->li_ch, chamada_de(1, static_cast<std::uint32_t>(2 + i % 4),
                                             dh(1 + i / 4, 2, 2016, i % 24, 7, 9), 1 + i * 6));
    insere_chamada(&e->li_ch, chamada_de(1, 2, dh(1, 3, 2016, 0, 0, 0), 2));
    for (int i = 0; i < 31; ++i)
        insere_chamada(&e->li_ch, chamada_de(2, 1, dh(29, 2, 2016, 0, i, 0), 700 + i * 100));
    const std::string console =
        saida_de([&] { mostre_contas(&e->lis_cli, &e->lis_cel, &e->li_ch); });
    // With a Pix stub, an issuer too long for the header's lines as they are.
    const Emissor longo =
        emissor_de(std::string(8, 'N') + " Telecomunicações Móveis do Nordeste Sociedade Anônima",
                   "Avenida Senador Virgílio Távora, 1000, " + std::string(60, 'E'));
    for (const bool pix : {false, true}) {
        OpcoesFaturas op;
        if (pix) op.pix = recebedor;
        if (pix) op.emissor = longo;
        grava(pasta / "longa.pdf", pdf_de(*e, op));
        EXPECT_TRUE(roda("qpdf --check " + (pasta / "longa.pdf").string()).second);
        const std::string texto =
            roda("pdftotext -layout " + (pasta / "longa.pdf").string() + " -").first;
        const Documento d = contas_do_pdf(texto);
        EXPECT_EQ(d.contas, contas_do_console(console));
        EXPECT_EQ(d.paginas, (std::vector<std::size_t>{3, 1, 1}));
        // No QR for the bill of a single free call.
        EXPECT_EQ(d.payloads.size(), pix ? 2U : 0U);
        EXPECT_TRUE(std::regex_search(texto, std::regex("Número chamado +Início +Duração +Valor")));
        EXPECT_NE(texto.find("continua na próxima página"), std::string::npos);
        // Nothing runs past the right margin.
        const std::string caixas =
            roda("pdftotext -bbox " + (pasta / "longa.pdf").string() + " -").first;
        static const std::regex x_max("xMax=\"([0-9.]+)\"");
        for (std::sregex_iterator i(caixas.begin(), caixas.end(), x_max), fim; i != fim; ++i)
            EXPECT_LE(std::stod((*i)[1]), 553.5);
    }
}

// The QR code of a page, rendered and decoded, is the payload printed beneath it: the bill's
// amount and transaction id, its CRC right.
TEST(Faturas, QrDaPaginaEOPayloadImpresso) {
    if (const std::string f = falta({"pdftotext", "pdftoppm", "zbarimg"}); !f.empty())
        GTEST_SKIP() << f << " nao instalado";
    PastaTemp pasta;
    std::srand(1512122400);
    const auto e = std::make_unique<Execucao>();
    ASSERT_TRUE(prepara_execucao(caminho_exemplo, e.get()).ok());
    grava(pasta / "contas.pdf", pdf_de(*e, opcoes(1512122400, recebedor)));
    std::vector<std::string> esperados;
    for (const ContaMensal& conta : contas_da_execucao(*e).contas)
        esperados.push_back(payload_da_conta(recebedor, conta));
    ASSERT_GE(esperados.size(), 2U);
    EXPECT_TRUE(esperados[0].starts_with(
        "00020126360014br.gov.bcb.pix0114+5585988776655520400005303986540563.845802BR"
        "5918Contacel Telefonia6009Fortaleza62130509C1M2017116304"))
        << esperados[0];
    // The code to copy is one line, whole, in the layout and in the reading order; the stub
    // beside the code repeats the amount, the due date and the payee.
    const std::string texto =
        roda("pdftotext -layout " + (pasta / "contas.pdf").string() + " -").first;
    EXPECT_EQ(contas_do_pdf(texto).payloads, esperados);
    const std::string cru = roda("pdftotext " + (pasta / "contas.pdf").string() + " -").first;
    for (const std::string& p : esperados)
        EXPECT_NE(cru.find("\n" + p + "\n"), std::string::npos) << p;
    const std::string pagina_1 = texto.substr(0, texto.find('\f'));
    for (const std::string_view t : {"R$ 63,84", "10/12/2017"}) {
        std::size_t vezes = 0;
        for (auto i = pagina_1.find(t); i != std::string::npos; i = pagina_1.find(t, i + 1))
            ++vezes;
        EXPECT_EQ(vezes, 2U) << t;
    }
    EXPECT_NE(pagina_1.find("Recebedor: Contacel Telefonia"), std::string::npos);
    for (const int pagina : {1, 2}) {
        const std::string png = (pasta / ("p" + std::to_string(pagina))).string();
        ASSERT_TRUE(roda(fmt::format("pdftoppm -png -r 150 -singlefile -f {0} -l {0} {1} {2}",
                                     pagina, (pasta / "contas.pdf").string(), png))
                        .second);
        const auto [lido, ok] = roda("zbarimg --raw -q " + png + ".png");
        EXPECT_TRUE(ok);
        EXPECT_EQ(lido, esperados[static_cast<std::size_t>(pagina - 1)] + "\n");
        EXPECT_EQ(crc_pix(lido.substr(0, lido.size() - 5)), lido.substr(lido.size() - 5, 4));
    }
}

// A table's cells are as wide as a Pango layout of their text, kerning included, whether drawn
// from the glyphs or, for a ligature or a character outside them, by Pango.
TEST(TabelaPdf, LargurasComoAsDoPango) {
    PangoContext* contexto = pango_font_map_create_context(pango_cairo_font_map_get_default());
    pango_cairo_context_set_resolution(contexto, 72.0);
    PangoFontDescription* fonte = pango_font_description_from_string("DejaVu Sans 9");
    PangoLayout* layout = pango_layout_new(contexto);
    pango_layout_set_font_description(layout, fonte);
    {
        TabelaPdf tabela(contexto, fonte);
        for (const std::string_view t : {"(85) 9 8877-4123", "01/11/2017 10:00:00", "1:56:01",
                                         "R$ 2.411,34", "AVT. Tarifa", "fim", "Ligação", ""}) {
            pango_layout_set_text(layout, t.data(), static_cast<int>(t.size()));
            int w = 0;
            int h = 0;
            pango_layout_get_size(layout, &w, &h);
            EXPECT_DOUBLE_EQ(tabela.largura(t), static_cast<double>(w) / PANGO_SCALE) << t;
        }
    }
    g_object_unref(layout);
    pango_font_description_free(fonte);
    g_object_unref(contexto);
}

TEST(Faturas, DestinoQueFalhaEErroDeEscrita) {
    std::srand(1512122400);
    const auto e = std::make_unique<Execucao>();
    ASSERT_TRUE(prepara_execucao(caminho_exemplo, e.get()).ok());
    for (const std::size_t aceita : {0U, 5000U}) {
        std::size_t escritos = 0;
        EXPECT_EQ(escreve_faturas(contas_da_execucao(*e), {},
                                  [&](std::span<const std::byte> b) {
                                      escritos += b.size();
                                      return escritos <= aceita;
                                  })
                      .tipo,
                  TipoErro::gravacao);
    }
    EXPECT_EQ(escreve_cada_fatura(contas_da_execucao(*e), {},
                                  [](const std::string&, auto) { return false; })
                  .tipo,
              TipoErro::gravacao);
}

// What a book keeps of each document it issued: the standard vectors of SHA-256.
TEST(Faturas, Sha256DoDocumento) {
    const std::pair<std::string_view, const char*> casos[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto& [texto, hash] : casos)
        EXPECT_EQ(sha256_hex(std::as_bytes(std::span(texto))), hash);
}

// A document is dated by the issue date of its first bill, never after any of them is due, or
// each bill by its own; a document without bills by the run's second, never the clock's, even
// where a year has more than four digits.
TEST(Faturas, DatasDoDocumento) {
    std::srand(1512122400);
    const auto e = std::make_unique<Execucao>();
    ASSERT_TRUE(prepara_execucao(caminho_exemplo, e.get()).ok());
    const auto datas = [](const std::string& pdf) {
        const std::regex data(R"(/(?:CreationDate|ModDate) \(([^)]*)\))");
        std::string r;
        for (std::sregex_iterator i(pdf.begin(), pdf.end(), data), fim; i != fim; ++i)
            r += (*i)[1].str() + " ";
        return r;
    };
    EXPECT_EQ(datas(pdf_de(*e, opcoes(1512122400))), "20171201000000-03'00 20171201000000-03'00 ");
    // The first bill as a book issued it, on the 5th.
    Contas c = contas_da_execucao(*e);
    c.emitidas[chave_conta(c.contas[0])] = {"2017-000001", {5, 12, 2017}, {10, 12, 2017}};
    std::string cada;
    ASSERT_TRUE(escreve_cada_fatura(
                    c, opcoes(0),
                    [&](const std::string& nome, std::span<const std::byte> b) {
                        if (nome.starts_with("1-"))
                            cada += datas({reinterpret_cast<const char*>(b.data()), b.size()});
                        return true;
                    })
                    .ok());
    EXPECT_EQ(cada,
              "20171205000000-03'00 20171205000000-03'00 20180101000000-03'00 "
              "20180101000000-03'00 ");
    const std::pair<std::time_t, const char*> casos[] = {{1512122400, "20171201100000Z"},
                                                         {-1, "19691231235959Z"},
                                                         {100000000000000, "99991231235959Z"},
                                                         {-100000000000000, "00000101000000Z"}};
    const Contas nenhuma;
    for (const auto& [instante, data] : casos)
        EXPECT_EQ(datas(pdf_de(nenhuma, opcoes(instante))), fmt::format("{0} {0} ", data));
}

}  // namespace
