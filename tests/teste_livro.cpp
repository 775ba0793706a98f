// The book as a store: the register's operations on a book, the new fields and their rules,
// the lines, the books that are refused, and a writer that waits for another.

#include <fmt/format.h>

#include <thread>

#include "apoio.h"
#include "cadastro.h"
#include "livro.h"

namespace {

CamposCliente campos(std::string_view nome, std::string_view endereco,
                     std::optional<std::string_view> documento = {},
                     std::optional<std::string_view> uf = {}) {
    return {nome, endereco, documento, std::nullopt, std::nullopt, std::nullopt, uf};
}

std::string listado(const std::string& livro) {
    std::string s;
    const Erro e = lista(livro, true, s);
    return e.ok() ? s : descreve_erro(e);
}

// The register's operations, one after another on one book: what each says, and the book after.
TEST(Livro, OperacoesComoAsDoCadastro) {
    PastaTemp pasta;
    const std::string livro = (pasta / "l.db").string();
    const std::string csv = (pasta / "c.csv").string();
    grava(csv,
          "codigo,nome,endereco,documento,email,cep,cidade,uf\n"
          "7,Ana,\"Rua A, 1\",529.982.247-25,ana@x.com.br,60115-170,Fortaleza,ce\n"
          "9," +
              std::string(100, 'n') + ",,12.abc.345/01de-35,,,,\n");
    std::size_t n = 0;
    ASSERT_TRUE(importa_clientes(livro, csv, false, Codificacao::utf8, n).ok());
    EXPECT_EQ(n, 2U);
    EXPECT_TRUE(e_livro(livro));
    struct Passo {
        std::function<Erro()> faz;
        const char* diz;  // or "" for ok
    };
    const Passo passos[] = {
        {[&] { return inclui(livro, 3, campos("Rui", "Rua", "111.444.777-35", "sp"), false); }, ""},
        {[&] { return inclui(livro, 3, campos("Rui", "Rua"), false); }, "codigo repetido"},
        {[&] { return inclui(livro, 4, campos("Rui", "Rua", "111.444.777-36"), false); },
         "documento invalido"},
        {[&] { return inclui(livro, 4, campos(std::string(101, 'n'), ""), false); },
         "nome com mais de 100 caracteres"},
        {[&] { return inclui(livro, 4, campos("a\u009b2J", ""), false); },
         "nome com caractere de controle"},
        {[&] { return inclui(livro, 4, campos("a", "", {}, "XX"), false); }, "uf invalida"},
        {[&] { return altera(livro, 3, campos("Rui Lima", "Rua B"), false); }, ""},
        {[&] { return altera(livro, 5, campos("x", "y"), false); },
         "nao ha cliente com o codigo 5"},
        {[&] { return exclui(livro, 9, false); }, ""},
        {[&] { return exclui(livro, 9, false); }, "nao ha cliente com o codigo 9"},
        {[&] { return importa_clientes(livro, csv, false, Codificacao::utf8, n); },
         "o livro ja tem 2 clientes"},
    };
    for (const Passo& p : passos) {
        const Erro e = p.faz();
        EXPECT_EQ(e.ok(), std::string_view(p.diz).empty()) << p.diz << descreve_erro(e);
        EXPECT_NE(descreve_erro(e).find(p.diz), std::string::npos) << descreve_erro(e);
    }
    EXPECT_EQ(listado(livro),
              "003  Rui Lima                   Rua B                                "
              "111.444.777-35\n"
              "007  Ana                        Rua A, 1                             "
              "529.982.247-25\n");
    // Exported and imported again into a new book: the same book.
    const std::string volta = (pasta / "volta.csv").string();
    std::vector<Erro> avisos;
    ASSERT_TRUE(exporta_clientes(livro, volta, false, csv_planilha, avisos).ok());
    ASSERT_TRUE(
        importa_clientes((pasta / "b.db").string(), volta, false, Codificacao::utf8, n).ok());
    EXPECT_EQ(listado((pasta / "b.db").string()), listado(livro));
    EXPECT_TRUE(
        le(volta).starts_with("\xEF\xBB\xBF"
                              "codigo;nome;endereco;documento;email;cep;cidade;uf\r\n"
                              "3;Rui Lima;Rua B;111.444.777-35;;;;SP\r\n"));

    // Lines: in, listed, refused twice without --forcar; a customer with lines stays.
    grava(pasta / "l.csv",
          "numero,cliente,plano\n(85) 9 8877-4123,7,\"Empresa \"\"A\"\"\"\nramal7,3,\n");
    ASSERT_TRUE(importa_linhas(livro, (pasta / "l.csv").string(), false, n).ok());
    EXPECT_EQ(n, 2U);
    EXPECT_TRUE(descreve_erro(importa_linhas(livro, (pasta / "l.csv").string(), false, n))
                    .ends_with("o livro ja tem 2 linhas (use --forcar para substitui-las)"));
    EXPECT_TRUE(descreve_erro(exclui(livro, 3, false)).find("tem 1 linhas") != std::string::npos);
    std::string s;
    ASSERT_TRUE(lista_linhas(livro, s).ok());
    EXPECT_EQ(s, "(85) 9 8877-4123      007  Ana\nramal7                003  Rui Lima\n");
    // Each line's plan out again, and looked for in a price list, which names the book.
    ASSERT_TRUE(exporta_linhas(livro, (pasta / "volta.csv").string(), true, csv_padrao).ok());
    EXPECT_EQ(le(pasta / "volta.csv"),
              "numero,cliente,plano\n(85) 9 8877-4123,7,\"Empresa \"\"A\"\"\"\nramal7,3,\n");
    std::vector<LinhaDoLivro> do_livro;
    std::unique_ptr<Livro> aberto;
    ASSERT_TRUE(Livro::abre(livro, false, aberto).ok());
    ASSERT_TRUE(aberto->linhas(do_livro).ok());
    // Customers asked by code: those the book has, with every field.
    Clientes pedidos;
    const std::uint32_t cods[] = {5, 7};
    ASSERT_TRUE(aberto->clientes(cods, pedidos).ok());
    ASSERT_EQ(pedidos.size(), 1U);
    EXPECT_EQ(pedidos[0].email, "ana@x.com.br");
    TabelaLinhas tabela;
    for (const LinhaDoLivro& x : do_livro)
        tabela.insere(x.numero, x.cliente, 0, x.plano);
    Tarifa planos;
    planos.planos.push_back({"Basico", 0, 0, {}, {}, {}});
    EXPECT_EQ(descreve_erro(acha_planos(tabela, planos, livro)),
              livro + ": plano desconhecido: Empresa \"A\"");
    grava(pasta / "x.csv", "numero,cliente\n1001,8\n");
    EXPECT_EQ(descreve_erro(importa_linhas(livro, (pasta / "x.csv").string(), true, n)),
              (pasta / "x.csv").string() + ":2: o cliente 8 nao esta no cadastro");

    // The run's register from the book, and a consistent copy.
    const std::string arq = (pasta / "c.arq").string();
    ASSERT_TRUE(exporta_cadastro(livro, arq, false).ok());
    EXPECT_EQ(listado(arq),
              "003  Rui Lima                   Rua B                              \n"
              "007  Ana                        Rua A, 1                           \n");
    EXPECT_TRUE(descreve_erro(exporta_cadastro(livro, livro, true))
                    .ends_with("e o proprio livro; o cadastro vai para outro arquivo"));
    ASSERT_TRUE(copia_livro(livro, (pasta / "copia.db").string()).ok());
    EXPECT_EQ(listado((pasta / "copia.db").string()), listado(livro));
    EXPECT_TRUE(descreve_erro(copia_livro(livro, (pasta / "copia.db").string()))
                    .ends_with("copia.db: o arquivo ja existe; a copia vai para um arquivo novo"));
}

// A file that is not SQLite, a book of a newer schema, a table changed by hand, a bad CSV row:
// one line naming the file (and line), and nothing changed.
TEST(Livro, LivrosRuinsSaoRecusados) {
    PastaTemp pasta;
    const std::string livro = (pasta / "l.db").string();
    ASSERT_TRUE(inclui(livro, 1, campos("Ana", "Rua"), false).ok());
    const auto mexe = [&](const char* sql) {
        const std::string copia = (pasta / (std::string("m") + sql[0] + ".db")).string();
        EXPECT_TRUE(copia_livro(livro, copia).ok());
        std::unique_ptr<Livro> l;
        EXPECT_TRUE(Livro::abre(copia, false, l).ok());
        EXPECT_TRUE(l->executa(sql).ok()) << sql;
        return copia;
    };
    grava(pasta / "texto.db", "codigo,nome,endereco\n");
    grava(pasta / "c.csv", "codigo,nome,endereco,documento\n2,Bia,Rua,123\n");
    const std::pair<std::string, std::string> casos[] = {
        {(pasta / "texto.db").string(), "nao e um livro (o arquivo nao e um banco SQLite)"},
        {mexe("PRAGMA user_version = 2"),
         "o livro e da versao 2 do esquema; este programa conhece ate a versao 1"},
        {mexe("ALTER TABLE clientes DROP COLUMN email"),
         "o livro foi alterado a mao: falta a coluna clientes.email"},
        {mexe("DROP TABLE chamadas_cobradas"),
         "o livro foi alterado a mao: falta a tabela chamadas_cobradas"},
    };
    for (const auto& [arquivo, diz] : casos) {
        std::string s;
        const Erro e = lista(arquivo, true, s);
        EXPECT_EQ(e.tipo, TipoErro::dados) << arquivo;
        EXPECT_EQ(descreve_erro(e).substr(0, arquivo.size() + 2 + diz.size()),
                  arquivo + ": " + diz);
    }
    std::size_t n = 0;
    EXPECT_EQ(descreve_erro(
                  importa_clientes(livro, (pasta / "c.csv").string(), true, Codificacao::utf8, n)),
              (pasta / "c.csv").string() +
                  ":2: documento invalido (CPF ou CNPJ com os digitos verificadores): 123");
    EXPECT_EQ(listado(livro),
              "001  Ana                        Rua                                \n");
}

// Bills issued from a book: numbered after the greatest of their year of issue, their calls kept
// by key and left out of the next billing, never issued twice; a
// second copy only of the same value and calls.
TEST(Livro, FaturasNumeradasEChamadasUmaVez) {
    PastaTemp pasta;
    const std::string livro = (pasta / "l.db").string();
    ASSERT_TRUE(inclui(livro, 1, campos("Ana", "Rua"), false).ok());
    ASSERT_TRUE(inclui(livro, 2, campos("Bia", "Rua"), false).ok());
    std::unique_ptr<Livro> l;
    ASSERT_TRUE(Livro::abre(livro, false, l).ok());
    ASSERT_TRUE(l->executa("INSERT INTO faturas VALUES ('2024-000041', 2, 2024, 1, 0, "
                           "'2024-02-10', '2024-02-01', '')")
                    .ok());
    const auto pbx = [](int cliente, int dia, const char* unico) {
        return fmt::format(R"("{0}","85988774123","8532345678","c","","","","","",)"
                           R"("2024-11-{1:02} 10:00:00","2024-11-{1:02} 10:00:05",)"
                           R"("2024-11-{1:02} 10:01:05",65,60,"ANSWERED","DOCUMENTATION","{2}")"
                           "\n",
                           cliente, dia, unico);
    };
    const std::string r = pbx(1, 5, "u1") + pbx(2, 6, "u2") + pbx(1, 7, "u3");
    grava(pasta / "r.csv", r);
    grava(pasta / "tarde.csv", r + pbx(1, 8, "u4"));
    grava(pasta / "outra.csv", r.substr(0, r.rfind("\"1\",")) + pbx(1, 9, "u5"));
    const auto cobra = [&](const char* registros, bool segunda_via) {
        auto clientes = std::make_shared<Clientes>();
        EXPECT_TRUE(l->clientes(*clientes).ok());
        FaturadasDoLivro faturadas(*l);
        PedidoCobranca p{clientes, nullptr, {}, true};
        p.faturadas = segunda_via ? nullptr : &faturadas;
        p.guarda_chaves = true;
        Cobradas c = cobra_arquivos({{(pasta / registros).string()}, {}, nullptr}, p);
        c.resumo.do_livro = true;
        EXPECT_TRUE(c.erro.ok() && faturadas.erro().ok()) << descreve_erro(c.erro);
        return c;
    };
    Cobradas c = cobra("r.csv", false);
    ASSERT_TRUE(l->trava().ok());
    ASSERT_TRUE(numera_faturas(*l, c.contas).ok());
    for (const ContaMensal& conta : c.contas.contas)
        ASSERT_TRUE(registra_fatura(*l, c.contas, conta, "sha").ok());
    ASSERT_TRUE(l->grava().ok());
    EXPECT_EQ(c.contas.emitidas.at(chave_conta(c.contas.contas[1])).numero, "2024-000043");
    EXPECT_EQ(c.contas.chaves[0], "2024-11-05 10:00:05|85988774123|8532345678|60|u1||1|");
    // The same records again: every call already billed, and no bill left.
    c = cobra("r.csv", false);
    ASSERT_TRUE(tira_emitidas(*l, c.contas).ok());
    EXPECT_TRUE(descreve_resumo(c.resumo).ends_with(", 0 duplicados, 3 ja faturados"));
    EXPECT_TRUE(c.contas.contas.empty());
    const std::pair<const char*, std::string> casos[] = {
        {"tarde.csv",
         "a conta de 11/2024 do cliente 1 ja foi emitida, fatura 2024-000042, e os registros tem "
         "chamadas dela nao faturadas (1)"},
        {"r.csv", ""},
        {"outra.csv",
         "a fatura 2024-000042 (cliente 1, 11/2024) nao e a dos registros: teve 2 chamadas, os "
         "registros dao 2 outras"},
    };
    for (const auto& [registros, diz] : casos) {
        const bool segunda_via = registros != std::string_view("tarde.csv");
        c = cobra(registros, segunda_via);
        const Erro e =
            segunda_via ? confere_segunda_via(*l, c.contas) : numera_faturas(*l, c.contas);
        EXPECT_TRUE(diz.empty() ? e.ok() : descreve_erro(e).starts_with(livro + ": " + diz))
            << registros << ": " << descreve_erro(e);
        if (diz.empty()) {
            EXPECT_EQ(c.contas.emitidas.at(chave_conta(c.contas.contas[0])).numero, "2024-000042");
        }
    }
}

// A second writer waits while another holds the book, then says it is locked; a reader does not
// wait.
TEST(Livro, DoisEscritores) {
    PastaTemp pasta;
    const std::string livro = (pasta / "l.db").string();
    ASSERT_TRUE(inclui(livro, 1, campos("Ana", "Rua"), false).ok());
    std::unique_ptr<Livro> l;
    ASSERT_TRUE(Livro::abre(livro, false, l).ok());
    Erro segundo;
    std::string lido;
    const Erro primeiro = l->transacao([&] {
        std::thread([&] {
            segundo = inclui(livro, 2, campos("Bia", "Rua"), false);
            lido = listado(livro);
        }).join();
        return l->grava_cliente({.codigo = 3, .nome = "Caio"});
    });
    EXPECT_TRUE(primeiro.ok());
    EXPECT_EQ(descreve_erro(segundo),
              livro +
                  ": travado ha 5 s por outra gravacao; tente de novo quando o outro "
                  "programa terminar");
    EXPECT_EQ(lido, "001  Ana                        Rua                                \n");
    EXPECT_EQ(listado(livro).find("Bia"), std::string::npos);
    EXPECT_NE(listado(livro).find("003  Caio"), std::string::npos);
}

}  // namespace
