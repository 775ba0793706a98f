// The companion programs' command lines, read by getopt_long, and the one line and exit status
// of an error.

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include "erro.h"
#include "opcoes.h"

namespace {

constexpr std::array<Opcao, 5> tabela{{{"ajuda", "help", 'h'},
                                       {"forcar"},
                                       {"nome", nullptr, 0, true},
                                       {"semente", nullptr, 0, true},
                                       {"chamadas", nullptr, 0, true, true}}};

// The operands joined by '|', the options given as "nome=valor", or the error.
std::string le(std::vector<std::string> palavras) {
    palavras.insert(palavras.begin(), "alterar");
    std::vector<char*> argv;
    for (std::string& p : palavras)
        argv.push_back(p.data());
    argv.push_back(nullptr);
    const LinhaDeComando lc =
        le_linha_de_comando(static_cast<int>(palavras.size()), argv.data(), tabela);
    if (!lc.erro.ok()) return lc.erro.detalhe;
    std::string r;
    for (const auto o : lc.operandos)
        r += std::string(o) + "|";
    for (std::size_t i = 0; i < tabela.size(); ++i)
        if (lc.tem(i)) {
            r += std::string(tabela[i].nome);
            for (const auto v : lc.todos[i])
                r += "=" + std::string(v);
            r += " ";
        }
    return r;
}

}  // namespace

TEST(Opcoes, ComoOsDedosDosUsuariosConhecem) {
    const std::pair<std::vector<std::string>, std::string> casos[] = {
        {{"1", "--nome", "Ana", "c.arq"}, "1|c.arq|nome=Ana "},
        {{"--nome=Ana", "1"}, "1|nome=Ana "},
        {{"1", "--nome", "--forcar"}, "1|nome=--forcar "},
        {{"--", "--nome", "-h"}, "--nome|-h|"},
        {{"1", "-", "--forcar"}, "1|-|forcar= "},
        {{"--help"}, "ajuda= "},
        {{"-h"}, "ajuda= "},
        {{"--for", "x"}, "x|forcar= "},
        {{"--nome=", "1"}, "1|nome= "},
        {{"--nome", "A", "--nome=B"}, "opcao repetida: --nome"},
        {{"--ajuda", "--help"}, "opcao repetida: --ajuda"},
        {{"--chamadas", "a", "x", "--chamadas=b"}, "x|chamadas=a=b "},
        {{"--nome"}, "falta o valor de --nome"},
        {{"--cor", "1"}, "opcao invalida: --cor"},
        {{"--forcar=sim"}, "opcao invalida: --forcar=sim"},
        {{"-x"}, "opcao invalida: -x"},
        {{"--forcar", "-xh"}, "opcao invalida: -x"},
        {{"--ajuda=x"}, "opcao invalida: --ajuda=x"},
    };
    for (const auto& [palavras, esperado] : casos) {
        std::string linha;
        for (const auto& p : palavras)
            linha += p + " ";
        EXPECT_EQ(le(palavras), esperado) << linha;
    }
}

TEST(Opcoes, NumerosInteirosSemNadaEmVolta) {
    EXPECT_EQ(numero<int>("20"), 20);
    EXPECT_EQ(numero<long>("-1"), -1);
    for (const char* s : {"", " 1", "1 ", "1x", "+1", "99999999999"})
        EXPECT_EQ(numero<int>(s), std::nullopt) << s;
}

TEST(Erro, UmaLinhaEUmStatus) {
    struct Caso {
        Erro erro;
        const char* linha;
        int status;
    };
    const Caso casos[] = {
        {{}, "sem erro", 0},
        {Erro::uso("falta o CSV"), "falta o CSV", 2},
        {Erro::dados("a.csv", 3, "codigo repetido"), "a.csv:3: codigo repetido", 1},
        {Erro::ja_existe("c.arq"), "c.arq: o arquivo ja existe (use --forcar para substitui-lo)",
         1},
        {Erro::gravacao("c.arq", ENOSPC), "c.arq: erro ao gravar: No space left on device", 1},
        {Erro::leitura("x", ENOENT, "pasta"),
         "x: nao foi possivel ler: pasta: No such file or directory", 1},
        {Erro::gravacao("y", ELOOP), "y: ciclo de links simbolicos", 1},
        {Erro::ausente("nao ha cliente com o codigo 9").no_arquivo("m.arq"),
         "m.arq: nao ha cliente com o codigo 9", 1},
    };
    for (const Caso& c : casos) {
        EXPECT_EQ(descreve_erro(c.erro), c.linha);
        EXPECT_EQ(status_de_saida(c.erro), c.status) << c.linha;
    }
}
