// contacel-clientes: keeps the customer register of contacel. The command line is read here;
// what each command does to the register is the cadastro module's.

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
#include "cliente.h"
#include "csv_clientes.h"
#include "linha_de_comando.h"

namespace {

constexpr const char* programa = "contacel-clientes";
constexpr int saida_erro = 1;

constexpr std::string_view uso =
    "uso: contacel-clientes importar CSV [ARQUIVO] [--forcar]\n"
    "     contacel-clientes exportar [ARQUIVO] [CSV] [--forcar]\n"
    "     contacel-clientes incluir CODIGO NOME ENDERECO [ARQUIVO]\n"
    "     contacel-clientes alterar CODIGO [--nome NOME] [--endereco ENDERECO] [ARQUIVO]\n"
    "     contacel-clientes excluir CODIGO [ARQUIVO]\n"
    "     contacel-clientes verificar [ARQUIVO]\n"
    "     contacel-clientes listar [ARQUIVO] [--utf8]\n"
    "     contacel-clientes gerar N [ARQUIVO] [--semente S] [--forcar]\n"
    "\n"
    "ARQUIVO e o cadastro (clientes.arq se omitido); CSV e NOME, ENDERECO estao em UTF-8.\n"
    "importar   grava o cadastro a partir de um CSV com o cabecalho codigo,nome,endereco.\n"
    "exportar   escreve o cadastro como CSV (na saida padrao se CSV for omitido ou -),\n"
    "           avisando de cada cliente que importar recusaria.\n"
    "incluir    acrescenta um cliente (cria o cadastro se ele nao existir).\n"
    "alterar    muda o nome e/ou o endereco de um cliente.\n"
    "excluir    retira um cliente; os outros mantem a ordem.\n"
    "verificar  diz se uma execucao de contacel pode usar o cadastro.\n"
    "listar     mostra o cadastro (codigo 850; em UTF-8 com --utf8).\n"
    "gerar      grava N clientes aleatorios (1 a 20, codigos 1 a N); --semente S repete.\n"
    "importar, exportar e gerar nao substituem um arquivo existente sem --forcar.\n"
    "Saida: 0 feito, 1 erro nos dados ou nos arquivos, 2 erro de uso.\n";

int erro_de_uso(const char* motivo) {
    return mostra_uso(programa, uso, motivo);
}

// One line on standard error: "contacel-clientes: ARQUIVO[:LINHA]: what".
void avisa(const ErroCadastro& e) {
    std::fprintf(stderr, "%s: %s\n", programa, descreve_erro_cadastro(e).c_str());
}

int resultado(const ErroCadastro& e) {
    if (e.ok()) return EXIT_SUCCESS;
    avisa(e);
    return saida_erro;
}

void escreve(std::string_view s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
}

// The words of a command: its options (with the value of those that take one) and the rest.
struct Palavras {
    std::vector<std::string_view> posicionais;
    std::vector<std::pair<std::string_view, std::string_view>> opcoes;
    const char* erro = nullptr;

    Palavras(std::span<char*> args, std::initializer_list<std::string_view> com_valor,
             std::initializer_list<std::string_view> sem_valor) {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string_view a = args[i];
            if (!a.starts_with("--") || a == "-") {
                posicionais.push_back(a);
            } else if (std::ranges::find(sem_valor, a) != sem_valor.end()) {
                opcoes.emplace_back(a, "");
            } else if (std::ranges::find(com_valor, a) != com_valor.end()) {
                if (i + 1 == args.size()) {
                    erro = "falta o valor de uma opcao";
                    return;
                }
                opcoes.emplace_back(a, args[++i]);
            } else {
                erro = "opcao desconhecida";
                return;
            }
        }
    }
    std::optional<std::string_view> opcao(std::string_view nome) const {
        for (const auto& [n, v] : opcoes)
            if (n == nome) return v;
        return std::nullopt;
    }
    // The positional word `i`, or `padrao`.
    std::string arquivo(std::size_t i, const char* padrao = arquivo_clientes) const {
        return i < posicionais.size() ? std::string(posicionais[i]) : padrao;
    }
};

constexpr const char* erro_codigo = "CODIGO deve ser um numero de 1 a 4294967295";
constexpr const char* erro_codigo_0 = "CODIGO deve ser um numero de 0 a 4294967295";

int importar(std::span<char*> args) {
    const Palavras p(args, {}, {"--forcar"});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.empty() || p.posicionais.size() > 2)
        return erro_de_uso("importar CSV [ARQUIVO]");
    const std::string csv(p.posicionais[0]);
    const std::string destino = p.arquivo(1);
    TLisCli lc{};
    if (const ErroCadastro e = importa_csv(csv, destino, p.opcao("--forcar").has_value(), &lc);
        !e.ok())
        return resultado(e);
    std::printf("%u clientes importados de %s para %s\n", lc.ncl, csv.c_str(), destino.c_str());
    return EXIT_SUCCESS;
}

int exportar(std::span<char*> args) {
    const Palavras p(args, {}, {"--forcar"});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() > 2) return erro_de_uso("exportar [ARQUIVO] [CSV]");
    std::vector<ErroCadastro> avisos;
    const ErroCadastro e =
        exporta_csv(p.arquivo(0), p.arquivo(1, "-"), p.opcao("--forcar").has_value(), avisos);
    for (const ErroCadastro& a : avisos)
        avisa(a);
    return resultado(e);
}

int incluir(std::span<char*> args) {
    const Palavras p(args, {}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() < 3 || p.posicionais.size() > 4)
        return erro_de_uso("incluir CODIGO NOME ENDERECO [ARQUIVO]");
    const auto cod = le_codigo(p.posicionais[0]);
    if (!cod) return erro_de_uso(erro_codigo);
    return resultado(inclui_cliente(p.arquivo(3), *cod, p.posicionais[1], p.posicionais[2]));
}

int alterar(std::span<char*> args) {
    const Palavras p(args, {"--nome", "--endereco"}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    const auto nome = p.opcao("--nome");
    const auto endereco = p.opcao("--endereco");
    if (p.posicionais.empty() || p.posicionais.size() > 2 || (!nome && !endereco))
        return erro_de_uso("alterar CODIGO [--nome NOME] [--endereco ENDERECO] [ARQUIVO]");
    const auto cod = numero<std::uint32_t>(p.posicionais[0]);
    if (!cod) return erro_de_uso(erro_codigo_0);
    return resultado(altera_cliente(p.arquivo(1), *cod, nome, endereco));
}

int excluir(std::span<char*> args) {
    const Palavras p(args, {}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.empty() || p.posicionais.size() > 2)
        return erro_de_uso("excluir CODIGO [ARQUIVO]");
    const auto cod = numero<std::uint32_t>(p.posicionais[0]);
    if (!cod) return erro_de_uso(erro_codigo_0);
    return resultado(exclui_cliente(p.arquivo(1), *cod));
}

int verificar(std::span<char*> args) {
    const Palavras p(args, {}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() > 1) return erro_de_uso("verificar [ARQUIVO]");
    const std::string arquivo = p.arquivo(0);
    TLisCli lc{};
    std::vector<ErroCadastro> avisos;
    const ErroCadastro e = verifica_cadastro(arquivo, &lc, avisos);
    for (const ErroCadastro& a : avisos)
        avisa(a);
    if (!e.ok()) return resultado(e);
    std::printf("%s: %u clientes; o cadastro serve para uma execucao\n", arquivo.c_str(), lc.ncl);
    return EXIT_SUCCESS;
}

int listar(std::span<char*> args) {
    const Palavras p(args, {}, {"--utf8"});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() > 1) return erro_de_uso("argumentos demais");
    std::string saida;
    const ErroCadastro e = lista_cadastro(p.arquivo(0), p.opcao("--utf8").has_value(), saida);
    escreve(saida);
    return resultado(e);
}

int gerar(std::span<char*> args) {
    const Palavras p(args, {"--semente"}, {"--forcar"});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.empty()) return erro_de_uso("falta N, o numero de clientes");
    if (p.posicionais.size() > 2) return erro_de_uso("argumentos demais");
    const auto quantos = numero<int>(p.posicionais[0]);
    if (!quantos || *quantos < 1 || *quantos > static_cast<int>(capacidade_lis_cli))
        return erro_de_uso("N deve ser um numero de 1 a 20");
    std::optional<unsigned> semente;
    if (const auto s = p.opcao("--semente")) {
        semente = numero<unsigned>(*s);
        if (!semente) return erro_de_uso("semente invalida");
    }
    std::srand(semente ? *semente : static_cast<unsigned>(std::time(nullptr)));
    TLisCli lc{};
    gere_lis_cli(*quantos, &lc);
    const std::string destino = p.arquivo(1);
    if (const ErroCadastro e = grava_cadastro(destino, &lc, p.opcao("--forcar").has_value());
        !e.ok())
        return resultado(e);
    std::printf("%d clientes gravados em %s\n", *quantos, destino.c_str());
    return EXIT_SUCCESS;
}

struct Comando {
    std::string_view nome;
    int (*executa)(std::span<char*>);
};

constexpr std::array<Comando, 8> comandos{{{"importar", importar},
                                           {"exportar", exportar},
                                           {"incluir", incluir},
                                           {"alterar", alterar},
                                           {"excluir", excluir},
                                           {"verificar", verificar},
                                           {"listar", listar},
                                           {"gerar", gerar}}};

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() < 2) return erro_de_uso("falta o comando");
    const std::string_view nome = args[1];
    int r = saida_uso;
    if (nome == "--ajuda") {
        std::fwrite(uso.data(), 1, uso.size(), stdout);
        r = EXIT_SUCCESS;
    } else {
        const auto c = std::ranges::find(comandos, nome, &Comando::nome);
        if (c == comandos.end()) return erro_de_uso("comando desconhecido");
        r = c->executa(args.subspan(2));
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
        return saida_erro;
    }
    return r;
}
