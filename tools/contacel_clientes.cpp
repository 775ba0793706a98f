// contacel-clientes: keeps the customer register of contacel. The command line is read here;
// what each command does to the register is the cadastro module's.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cadastro.h"
#include "gravacao.h"
#include "opcoes.h"

namespace {

constexpr const char* programa = "contacel-clientes";

constexpr std::string_view uso =
    "uso: contacel-clientes importar CSV [ARQUIVO] [--forcar] [--codificacao NOME]\n"
    "     contacel-clientes exportar [ARQUIVO] [CSV] [--forcar] [--planilha]\n"
    "     contacel-clientes incluir CODIGO NOME ENDERECO [ARQUIVO] [--forcar]\n"
    "     contacel-clientes alterar CODIGO [--nome NOME] [--endereco ENDERECO] [ARQUIVO] "
    "[--forcar]\n"
    "     contacel-clientes excluir CODIGO [ARQUIVO] [--forcar]\n"
    "     contacel-clientes verificar [ARQUIVO]\n"
    "     contacel-clientes listar [ARQUIVO] [--utf8]\n"
    "     contacel-clientes gerar N [ARQUIVO] [--semente S] [--forcar]\n"
    "     contacel-clientes --ajuda | --versao\n"
    "\n"
    "ARQUIVO e o cadastro (clientes.arq se omitido); CSV e NOME, ENDERECO estao em UTF-8.\n"
    "importar   grava o cadastro a partir de um CSV com o cabecalho codigo,nome,endereco ou\n"
    "           codigo;nome;endereco; --codificacao windows-1252 (cp1252) ou iso-8859-1 (latin1)\n"
    "           le um CSV que nao esta em UTF-8.\n"
    "exportar   escreve o cadastro como CSV (na saida padrao se CSV for omitido ou -),\n"
    "           avisando de cada cliente que importar recusaria; --planilha o escreve para uma\n"
    "           planilha em portugues (ponto e virgula, BOM e CRLF).\n"
    "incluir    acrescenta um cliente (cria o cadastro se ele nao existir).\n"
    "alterar    muda o nome e/ou o endereco de um cliente.\n"
    "excluir    retira um cliente; os outros mantem a ordem.\n"
    "verificar  diz se uma execucao de contacel pode usar o cadastro.\n"
    "listar     mostra o cadastro (codigo 850; em UTF-8 com --utf8).\n"
    "gerar      grava N clientes aleatorios (1 a 20, codigos 1 a N); --semente S repete.\n"
    "importar, exportar e gerar nao substituem um arquivo existente sem --forcar; incluir,\n"
    "alterar e excluir so mudam com --forcar um cadastro com outros nomes (links fisicos),\n"
    "que ficam com o conteudo antigo.\n"
    "Saida: 0 feito, 1 erro nos dados ou nos arquivos, 2 erro de uso.\n";

enum : std::size_t { ajuda, versao, forcar, codificacao, planilha, nome, endereco, utf8, semente };
constexpr std::array<Opcao, 9> opcoes{{{"ajuda", "help", 'h'},
                                       {"versao", "version", 'V'},
                                       {"forcar"},
                                       {"codificacao", nullptr, 0, true},
                                       {"planilha"},
                                       {"nome", nullptr, 0, true},
                                       {"endereco", nullptr, 0, true},
                                       {"utf8"},
                                       {"semente", nullptr, 0, true}}};

int erro_de_uso(std::string_view motivo) {
    return ::erro_de_uso(programa, motivo);
}

// One line on standard error, "contacel-clientes: ARQUIVO[:LINHA]: what"; the exit status.
int resultado(const Erro& e) {
    return relata_erro(programa, e);
}

void escreve(std::string_view s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
}

// A command's operands after its name, and the options of the line.
struct Pedido {
    std::span<const std::string_view> operandos;
    const LinhaDeComando& linha;
    std::optional<std::string_view> opcao(std::size_t i) const { return linha.valores[i]; }
    bool tem(std::size_t i) const { return linha.tem(i); }
    // Operand `i`, or `padrao`.
    std::string arquivo(std::size_t i, const char* padrao = arquivo_clientes) const {
        return i < operandos.size() ? std::string(operandos[i]) : padrao;
    }
};

// The code operand: from 1 for a new customer, from 0 for one a register may hold.
std::optional<std::uint32_t> codigo(const Pedido& p, bool zero) {
    if (const auto cod = numero<std::uint32_t>(p.operandos[0]); cod && (zero || *cod != 0))
        return cod;
    erro_de_uso(zero ? "CODIGO deve ser um numero de 0 a 4294967295"
                     : "CODIGO deve ser um numero de 1 a 4294967295");
    return std::nullopt;
}

int importar(const Pedido& p) {
    Codificacao cod = Codificacao::utf8;
    if (const auto nome_cod = p.opcao(codificacao)) {
        const auto c = codificacao_por_nome(*nome_cod);
        if (!c)
            return erro_de_uso("codificacao desconhecida: " + std::string(*nome_cod) +
                               " (utf-8, windows-1252 ou cp1252, iso-8859-1 ou latin1)");
        cod = *c;
    }
    const std::string csv(p.operandos[0]);
    const std::string destino = p.arquivo(1);
    Clientes lc;
    if (const Erro e = importa_csv(destino, csv, p.tem(forcar), lc, cod); !e.ok())
        return resultado(e);
    std::printf("%zu clientes importados de %s para %s\n", lc.size(), csv.c_str(), destino.c_str());
    return EXIT_SUCCESS;
}

int exportar(const Pedido& p) {
    std::vector<Erro> avisos;
    const Erro e = exporta_csv(p.arquivo(0), p.arquivo(1, "-"), p.tem(forcar), avisos,
                               p.tem(planilha) ? csv_planilha : csv_padrao);
    for (const Erro& a : avisos)
        relata_erro(programa, a);
    return resultado(e);
}

int incluir(const Pedido& p) {
    const auto cod = codigo(p, false);
    if (!cod) return saida_uso;
    return resultado(
        inclui_cliente(p.arquivo(3), *cod, p.operandos[1], p.operandos[2], p.tem(forcar)));
}

int alterar(const Pedido& p) {
    if (!p.tem(nome) && !p.tem(endereco)) return erro_de_uso("falta --nome ou --endereco");
    const auto cod = codigo(p, true);
    if (!cod) return saida_uso;
    return resultado(
        altera_cliente(p.arquivo(1), *cod, p.opcao(nome), p.opcao(endereco), p.tem(forcar)));
}

int excluir(const Pedido& p) {
    const auto cod = codigo(p, true);
    if (!cod) return saida_uso;
    return resultado(exclui_cliente(p.arquivo(1), *cod, p.tem(forcar)));
}

int verificar(const Pedido& p) {
    const std::string arquivo = p.arquivo(0);
    TLisCli lc{};
    std::vector<Erro> avisos;
    const Erro e = verifica_cadastro(arquivo, &lc, avisos);
    for (const Erro& a : avisos)
        relata_erro(programa, a);
    if (!e.ok()) return resultado(e);
    std::printf("%s: %u clientes; o cadastro serve para uma execucao\n", arquivo.c_str(), lc.ncl);
    return EXIT_SUCCESS;
}

int listar(const Pedido& p) {
    std::string saida;
    const Erro e = lista_cadastro(p.arquivo(0), p.tem(utf8), saida);
    escreve(saida);
    return resultado(e);
}

int gerar(const Pedido& p) {
    const auto quantos = numero<int>(p.operandos[0]);
    if (!quantos || *quantos < 1 || *quantos > static_cast<int>(capacidade_lis_cli))
        return erro_de_uso("N deve ser um numero de 1 a 20");
    std::optional<unsigned> s;
    if (const auto v = p.opcao(semente)) {
        s = numero<unsigned>(*v);
        if (!s) return erro_de_uso("semente invalida");
    }
    std::srand(s ? *s : static_cast<unsigned>(std::time(nullptr)));
    TLisCli lc{};
    gere_lis_cli(*quantos, &lc);
    const std::string destino = p.arquivo(1);
    if (const Erro e = grava_cadastro(destino, &lc, p.tem(forcar)); !e.ok()) return resultado(e);
    std::printf("%d clientes gravados em %s\n", *quantos, destino.c_str());
    return EXIT_SUCCESS;
}

// A command: the options it takes beside --ajuda and --versao, and its operands.
struct Comando {
    std::string_view nome;
    int (*executa)(const Pedido&);
    std::initializer_list<std::size_t> aceita;
    std::initializer_list<std::size_t> arquivos;  // the operands that name files
    std::size_t cadastro;  // the operand that names the register; exportar checks its own output
    std::size_t minimo;    // operands, and what is said when fewer are given
    std::size_t maximo;
    const char* falta = nullptr;
};

constexpr std::size_t confere_sozinho = 99;
const std::array<Comando, 8> comandos{
    {{"importar", importar, {forcar, codificacao}, {0, 1}, 1, 1, 2, "falta o CSV"},
     {"exportar", exportar, {forcar, planilha}, {0, 1}, confere_sozinho, 0, 2},
     {"incluir", incluir, {forcar}, {3}, 3, 3, 4, "faltam CODIGO, NOME ou ENDERECO"},
     {"alterar", alterar, {nome, endereco, forcar}, {1}, 1, 1, 2, "falta o CODIGO"},
     {"excluir", excluir, {forcar}, {1}, 1, 1, 2, "falta o CODIGO"},
     {"verificar", verificar, {}, {0}, 0, 0, 1},
     {"listar", listar, {utf8}, {0}, 0, 0, 1},
     {"gerar", gerar, {semente, forcar}, {1}, 1, 1, 2, "falta N, o numero de clientes"}}};

int executa(const LinhaDeComando& lc) {
    if (!lc.erro.ok()) return erro_de_uso(lc.erro.detalhe);
    const auto e_comando = [](std::string_view p) {
        return std::ranges::find(comandos, p, &Comando::nome) != comandos.end();
    };
    if (const auto status = ajuda_ou_versao({programa, uso, e_comando}, lc)) return *status;
    if (lc.operandos.empty()) return erro_de_uso("falta o comando");
    const auto c = std::ranges::find(comandos, lc.operandos[0], &Comando::nome);
    if (c == comandos.end())
        return erro_de_uso("comando desconhecido: " + std::string(lc.operandos[0]));
    for (std::size_t i = forcar; i < opcoes.size(); ++i)
        if (lc.tem(i) && std::ranges::find(c->aceita, i) == c->aceita.end())
            return erro_de_uso("--" + std::string(opcoes[i].nome) + " nao e opcao de " +
                               std::string(c->nome));
    const Pedido p{std::span(lc.operandos).subspan(1), lc};
    if (p.operandos.size() < c->minimo) return erro_de_uso(c->falta);
    if (p.operandos.size() > c->maximo) return erro_de_uso("argumentos demais");
    for (const std::size_t i : c->arquivos)
        if (i < p.operandos.size() && p.operandos[i].empty())
            return erro_de_uso("nome de arquivo vazio");
    // Nothing goes to standard output when it is the register itself.
    if (c->cadastro != confere_sozinho)
        if (const Erro e = saida_nao_e_o_cadastro(STDOUT_FILENO, p.arquivo(c->cadastro)); !e.ok())
            return resultado(e);
    return c->executa(p);
}

}  // namespace

int main(int argc, char** argv) {
    prepara_programa();
    return termina_saida(programa, executa(le_linha_de_comando(argc, argv, opcoes)));
}
