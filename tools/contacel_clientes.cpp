// contacel-clientes: makes and lists customer files for contacel.
//
//   contacel-clientes gerar N [ARQUIVO] [--semente S] [--forcar]
//   contacel-clientes listar [ARQUIVO]

#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <span>
#include <string_view>

#include "cliente.h"

namespace {

constexpr const char* programa = "contacel-clientes";
constexpr int saida_uso = 2;

constexpr std::string_view uso =
    "uso: contacel-clientes gerar N [ARQUIVO] [--semente S] [--forcar]\n"
    "     contacel-clientes listar [ARQUIVO]\n"
    "\n"
    "gerar   grava N clientes aleatorios (1 a 20, codigos 1 a N) em ARQUIVO\n"
    "        (clientes.arq se omitido). Nao sobrescreve um arquivo existente sem --forcar.\n"
    "        Com --semente S, a mesma semente gera o mesmo arquivo.\n"
    "listar  mostra os clientes de ARQUIVO (clientes.arq se omitido).\n";

int erro_de_uso(const char* motivo) {
    std::fprintf(stderr, "%s: %s\n%.*s", programa, motivo, static_cast<int>(uso.size()),
                 uso.data());
    return saida_uso;
}

template <typename T>
std::optional<T> numero(std::string_view s) {
    T v{};
    const auto [fim, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || fim != s.data() + s.size()) return std::nullopt;
    return v;
}

bool grava_tudo(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes the file beside its final name and only then gives it that name, so a failure never
// leaves a half-written customer file. Without `forcar` an existing file is kept.
int grava_arquivo(const char* destino, std::span<const std::byte> bytes, bool forcar) {
    std::array<char, 4096> temp{};
    const int n = std::snprintf(temp.data(), temp.size(), "%s.XXXXXX", destino);
    if (n < 0 || static_cast<std::size_t>(n) >= temp.size()) {
        std::fprintf(stderr, "%s: %s: nome longo demais\n", programa, destino);
        return EXIT_FAILURE;
    }
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        std::fprintf(stderr, "%s: %s: nao foi possivel criar o arquivo: %s\n", programa, destino,
                     std::strerror(errno));
        return EXIT_FAILURE;
    }
    const bool gravou = grava_tudo(fd, bytes) && ::fsync(fd) == 0;
    const int erro_gravacao = errno;
    const bool fechou = ::close(fd) == 0;
    if (!gravou || !fechou) {
        ::unlink(temp.data());
        std::fprintf(stderr, "%s: %s: erro ao gravar: %s\n", programa, destino,
                     std::strerror(gravou ? errno : erro_gravacao));
        return EXIT_FAILURE;
    }
    // link() refuses an existing name atomically; rename() replaces it.
    const bool nomeou =
        forcar ? ::rename(temp.data(), destino) == 0 : ::link(temp.data(), destino) == 0;
    const int erro_nome = errno;
    if (!forcar || !nomeou) ::unlink(temp.data());
    if (!nomeou) {
        if (erro_nome == EEXIST)
            std::fprintf(stderr, "%s: %s: o arquivo ja existe (use --forcar para substitui-lo)\n",
                         programa, destino);
        else
            std::fprintf(stderr, "%s: %s: %s\n", programa, destino, std::strerror(erro_nome));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

int gerar(std::span<char*> args) {
    std::optional<int> quantos;
    const char* destino = nullptr;
    std::optional<unsigned> semente;
    bool forcar = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--forcar") {
            forcar = true;
        } else if (a == "--semente") {
            if (i + 1 == args.size()) return erro_de_uso("--semente pede um numero");
            semente = numero<unsigned>(args[++i]);
            if (!semente) return erro_de_uso("semente invalida");
        } else if (a.starts_with("--")) {
            return erro_de_uso("opcao desconhecida");
        } else if (!quantos) {
            quantos = numero<int>(a);
            if (!quantos || *quantos < 1 || *quantos > static_cast<int>(capacidade_lis_cli))
                return erro_de_uso("N deve ser um numero de 1 a 20");
        } else if (destino == nullptr) {
            destino = args[i];
        } else {
            return erro_de_uso("argumentos demais");
        }
    }
    if (!quantos) return erro_de_uso("falta N, o numero de clientes");
    if (destino == nullptr) destino = arquivo_clientes;

    std::srand(semente ? *semente : static_cast<unsigned>(std::time(nullptr)));
    TLisCli lc{};
    gere_lis_cli(*quantos, &lc);
    std::array<std::byte, tamanho_maximo_arq> bytes{};
    const std::size_t n = codifica_lis_cli(&lc, bytes);
    if (const int r = grava_arquivo(destino, std::span(bytes).first(n), forcar); r != 0) return r;
    std::printf("%d clientes gravados em %s\n", *quantos, destino);
    return EXIT_SUCCESS;
}

int listar(std::span<char*> args) {
    if (args.size() > 1) return erro_de_uso("argumentos demais");
    if (!args.empty() && std::string_view(args[0]).starts_with("--"))
        return erro_de_uso("opcao desconhecida");
    const char* origem = args.empty() ? arquivo_clientes : args[0];
    TLisCli lc{};
    if (const StatusCli st = le_lis_cli_de(origem, &lc); !st.ok()) {
        relata_erro_cli(stderr, programa, origem, st);
        return EXIT_FAILURE;
    }
    mostre_lis_cli(&lc);
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() < 2) return erro_de_uso("falta o comando");
    const std::string_view comando = args[1];
    int r = saida_uso;
    if (comando == "--ajuda") {
        std::fwrite(uso.data(), 1, uso.size(), stdout);
        r = EXIT_SUCCESS;
    } else if (comando == "gerar") {
        r = gerar(args.subspan(2));
    } else if (comando == "listar") {
        r = listar(args.subspan(2));
    } else {
        return erro_de_uso("comando desconhecido");
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
        return EXIT_FAILURE;
    }
    return r;
}
