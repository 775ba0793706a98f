// contacel-clientes: keeps the customer register of contacel.
//
// Every change is made under a lock on the register's folder, in a whole new file that takes
// the register's name only once it is complete: the run never reads half a register.

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cliente.h"
#include "codigo850.h"
#include "csv_clientes.h"
#include "impressao.h"
#include "gravacao.h"
#include "linha_de_comando.h"

namespace {

constexpr const char* programa = "contacel-clientes";
constexpr int saida_erro = 1;

constexpr std::string_view uso =
    "uso: contacel-clientes importar CSV [ARQUIVO] [--forcar]\n"
    "     contacel-clientes exportar [ARQUIVO] [CSV]\n"
    "     contacel-clientes incluir CODIGO NOME ENDERECO [ARQUIVO]\n"
    "     contacel-clientes alterar CODIGO [--nome NOME] [--endereco ENDERECO] [ARQUIVO]\n"
    "     contacel-clientes excluir CODIGO [ARQUIVO]\n"
    "     contacel-clientes verificar [ARQUIVO]\n"
    "     contacel-clientes listar [ARQUIVO] [--utf8]\n"
    "     contacel-clientes gerar N [ARQUIVO] [--semente S] [--forcar]\n"
    "\n"
    "ARQUIVO e o cadastro (clientes.arq se omitido); CSV e NOME, ENDERECO estao em UTF-8.\n"
    "importar   grava o cadastro a partir de um CSV com o cabecalho codigo,nome,endereco.\n"
    "exportar   escreve o cadastro como CSV (na saida padrao se CSV for omitido ou -).\n"
    "incluir    acrescenta um cliente (cria o cadastro se ele nao existir).\n"
    "alterar    muda o nome e/ou o endereco de um cliente.\n"
    "excluir    retira um cliente; os outros mantem a ordem.\n"
    "verificar  diz se uma execucao de contacel pode usar o cadastro.\n"
    "listar     mostra o cadastro (codigo 850; em UTF-8 com --utf8).\n"
    "gerar      grava N clientes aleatorios (1 a 20, codigos 1 a N); --semente S repete.\n"
    "importar e gerar nao substituem um cadastro existente sem --forcar.\n"
    "Saida: 0 feito, 1 erro nos dados ou nos arquivos, 2 erro de uso.\n";

int erro_de_uso(const char* motivo) {
    return mostra_uso(programa, uso, motivo);
}

// One line on standard error: "contacel-clientes: ARQUIVO: what".
int falha(std::string_view arquivo, std::string_view motivo) {
    std::fprintf(stderr, "%s: %.*s: %.*s\n", programa, static_cast<int>(arquivo.size()),
                 arquivo.data(), static_cast<int>(motivo.size()), motivo.data());
    return saida_erro;
}

int falha_cli(const char* arquivo, StatusCli st) {
    relata_erro_cli(stderr, programa, arquivo, st);
    return saida_erro;
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

std::optional<std::string> le_arquivo(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    if (!f) return std::nullopt;
    std::string s{std::istreambuf_iterator<char>(f), {}};
    if (f.bad()) return std::nullopt;
    return s;
}

// The line for a write that failed with errno `e`.
int falha_gravacao(const std::string& nome, int e) {
    if (e == EEXIST) return falha(nome, "o arquivo ja existe (use --forcar para substitui-lo)");
    return falha(nome, std::string("erro ao gravar: ") + std::strerror(e));
}

// Runs `faz` on the file `nome` stands for (a link's target), under the lock on its folder.
template <typename F>
int sob_trava(const std::string& nome, F&& faz) {
    const std::string arquivo = destino_real(nome.c_str());
    const TravaDePasta trava(arquivo);
    if (trava.erro() != 0) return falha(nome, std::strerror(trava.erro()));
    return faz(arquivo);
}

// Writes `lc` as the register `arquivo`, under the lock already held.
int grava_cadastro(const std::string& nome, const std::string& arquivo, const TLisCli& lc,
                   ModoGravacao modo) {
    std::array<std::byte, tamanho_maximo_arq> bytes{};
    const std::size_t n = codifica_lis_cli(&lc, bytes);
    const int e = grava_arquivo(arquivo, std::span(bytes).first(n), modo);
    return e == 0 ? EXIT_SUCCESS : falha_gravacao(nome, e);
}

// Writes a whole new register, refusing to replace one unless `forcar`.
int grava_novo(const std::string& nome, const TLisCli& lc, bool forcar) {
    return sob_trava(nome, [&](const std::string& arquivo) {
        return grava_cadastro(nome, arquivo, lc,
                              forcar ? ModoGravacao::substitui : ModoGravacao::novo);
    });
}

// Reads the register, changes it with `muda` and writes it back, all under the lock. A register
// that does not exist is an empty one when `cria`.
template <typename F>
int altera(const std::string& nome, bool cria, F&& muda) {
    return sob_trava(nome, [&](const std::string& arquivo) {
        TLisCli lc{};
        if (const StatusCli st = le_lis_cli_de(arquivo.c_str(), &lc); !st.ok()) {
            if (!(cria && st.erro == ErroCli::inexistente)) return falha_cli(nome.c_str(), st);
        }
        if (const std::optional<std::string> erro = muda(lc)) return falha(nome, *erro);
        return grava_cadastro(nome, arquivo, lc, ModoGravacao::substitui);
    });
}

std::optional<std::string> texto(std::string_view utf8, const char* campo,
                                 char (&destino)[sizeof(TCliente::nome)]) {
    const ErroTexto e = texto_850(utf8, destino);
    if (e == ErroTexto::nenhum) return std::nullopt;
    return descreve_erro_texto(e, campo);
}

std::string cliente_ausente(std::uint32_t cod) {
    return "nao ha cliente com o codigo " + std::to_string(cod);
}

int importar(std::span<char*> args) {
    const Palavras p(args, {}, {"--forcar"});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.empty() || p.posicionais.size() > 2)
        return erro_de_uso("importar CSV [ARQUIVO]");
    const std::string csv(p.posicionais[0]);
    const auto bytes = le_arquivo(csv);
    if (!bytes) return falha(csv, std::string("nao foi possivel ler: ") + std::strerror(errno));
    TLisCli lc{};
    const StatusCsv st = decodifica_csv_clientes(std::as_bytes(std::span(*bytes)), &lc);
    if (!st.ok()) return falha(csv + ":" + std::to_string(st.linha), descreve_erro_csv(st));
    const std::string destino = p.arquivo(1);
    if (const int r = grava_novo(destino, lc, p.opcao("--forcar").has_value()); r != 0) return r;
    std::printf("%u clientes importados de %s para %s\n", lc.ncl, csv.c_str(), destino.c_str());
    return EXIT_SUCCESS;
}

int exportar(std::span<char*> args) {
    const Palavras p(args, {}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() > 2) return erro_de_uso("exportar [ARQUIVO] [CSV]");
    const std::string origem = p.arquivo(0);
    TLisCli lc{};
    if (const StatusCli st = le_lis_cli_de(origem.c_str(), &lc); !st.ok())
        return falha_cli(origem.c_str(), st);
    const std::string csv = codifica_csv_clientes(&lc);
    const std::string destino = p.arquivo(1, "-");
    if (destino == "-") {
        std::fwrite(csv.data(), 1, csv.size(), stdout);
        return EXIT_SUCCESS;
    }
    return sob_trava(destino, [&](const std::string& arquivo) {
        const int e =
            grava_arquivo(arquivo, std::as_bytes(std::span(csv)), ModoGravacao::substitui);
        return e == 0 ? EXIT_SUCCESS : falha_gravacao(destino, e);
    });
}

int incluir(std::span<char*> args) {
    const Palavras p(args, {}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() < 3 || p.posicionais.size() > 4)
        return erro_de_uso("incluir CODIGO NOME ENDERECO [ARQUIVO]");
    const auto cod = le_codigo(p.posicionais[0]);
    if (!cod) return erro_de_uso("CODIGO deve ser um numero de 1 a 4294967295");
    return altera(p.arquivo(3), true, [&](TLisCli& lc) -> std::optional<std::string> {
        TCliente cl{};
        cl.cod_cli = *cod;
        if (auto e = texto(p.posicionais[1], "nome", cl.nome)) return e;
        if (auto e = texto(p.posicionais[2], "endereco", cl.endereco)) return e;
        if (busca_cliente(&lc, static_cast<int>(*cod)) >= 0)
            return "ja ha um cliente com o codigo " + std::to_string(*cod);
        if (lc.ncl >= capacidade_lis_cli) return "o cadastro esta cheio (20 clientes)";
        insere_cliente(&lc, cl);
        return std::nullopt;
    });
}

int alterar(std::span<char*> args) {
    const Palavras p(args, {"--nome", "--endereco"}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    const auto nome = p.opcao("--nome");
    const auto endereco = p.opcao("--endereco");
    if (p.posicionais.empty() || p.posicionais.size() > 2 || (!nome && !endereco))
        return erro_de_uso("alterar CODIGO [--nome NOME] [--endereco ENDERECO] [ARQUIVO]");
    const auto cod = le_codigo(p.posicionais[0]);
    if (!cod) return erro_de_uso("CODIGO deve ser um numero de 1 a 4294967295");
    return altera(p.arquivo(1), false, [&](TLisCli& lc) -> std::optional<std::string> {
        const int i = busca_cliente(&lc, static_cast<int>(*cod));
        if (i < 0) return cliente_ausente(*cod);
        TCliente cl = lc.clientes[i];
        if (nome)
            if (auto e = texto(*nome, "nome", cl.nome)) return e;
        if (endereco)
            if (auto e = texto(*endereco, "endereco", cl.endereco)) return e;
        lc.clientes[i] = cl;
        return std::nullopt;
    });
}

int excluir(std::span<char*> args) {
    const Palavras p(args, {}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.empty() || p.posicionais.size() > 2)
        return erro_de_uso("excluir CODIGO [ARQUIVO]");
    const auto cod = le_codigo(p.posicionais[0]);
    if (!cod) return erro_de_uso("CODIGO deve ser um numero de 1 a 4294967295");
    return altera(p.arquivo(1), false, [&](TLisCli& lc) -> std::optional<std::string> {
        const int i = busca_cliente(&lc, static_cast<int>(*cod));
        if (i < 0) return cliente_ausente(*cod);
        std::copy(lc.clientes + i + 1, lc.clientes + lc.ncl, lc.clientes + i);
        --lc.ncl;
        return std::nullopt;
    });
}

int verificar(std::span<char*> args) {
    const Palavras p(args, {}, {});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() > 1) return erro_de_uso("verificar [ARQUIVO]");
    const std::string arquivo = p.arquivo(0);
    TLisCli lc{};
    StatusCli st = le_lis_cli_de(arquivo.c_str(), &lc);
    if (st.ok()) st = confere_cadastro(&lc);
    if (!st.ok()) return falha_cli(arquivo.c_str(), st);
    std::printf("%s: %u clientes; o cadastro serve para uma execucao\n", arquivo.c_str(), lc.ncl);
    return EXIT_SUCCESS;
}

int listar(std::span<char*> args) {
    const Palavras p(args, {}, {"--utf8"});
    if (p.erro != nullptr) return erro_de_uso(p.erro);
    if (p.posicionais.size() > 1) return erro_de_uso("argumentos demais");
    const std::string origem = p.arquivo(0);
    TLisCli lc{};
    if (const StatusCli st = le_lis_cli_de(origem.c_str(), &lc); !st.ok())
        return falha_cli(origem.c_str(), st);
    if (!p.opcao("--utf8")) {
        mostre_lis_cli(&lc);
        return EXIT_SUCCESS;
    }
    // The same columns, padded in code page 850 bytes, then converted.
    for (std::uint32_t i = 0; i < lc.ncl; ++i) {
        const std::string linha = texto_utf8(fmt::format(FMT_COMPILE("{}\n"), lc.clientes[i]));
        std::fwrite(linha.data(), 1, linha.size(), stdout);
    }
    return EXIT_SUCCESS;
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
    if (const int r = grava_novo(destino, lc, p.opcao("--forcar").has_value()); r != 0) return r;
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
