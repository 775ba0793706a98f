#include "opcoes.h"

#include <getopt.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "versao.h"

namespace {

// getopt_long's value for option i of the table: its letter, or a number no letter has.
int valor_de(const Opcao& o, std::size_t i) {
    return o.curta != 0 ? static_cast<unsigned char>(o.curta) : 256 + static_cast<int>(i);
}

}  // namespace

LinhaDeComando le_linha_de_comando(int argc, char** argv, std::span<const Opcao> opcoes) {
    LinhaDeComando lc;
    lc.valores.resize(opcoes.size());
    lc.todos.resize(opcoes.size());
    // '-': operands come back in order, as value 1, whatever POSIXLY_CORRECT says; ':': a
    // missing value is told apart from an unknown option.
    std::string curtas = "-:";
    std::vector<option> longas;
    for (std::size_t i = 0; i < opcoes.size(); ++i) {
        const Opcao& o = opcoes[i];
        const int argumento = o.com_valor ? required_argument : no_argument;
        longas.push_back({o.nome, argumento, nullptr, valor_de(o, i)});
        if (o.sinonimo != nullptr)
            longas.push_back({o.sinonimo, argumento, nullptr, valor_de(o, i)});
        if (o.curta != 0) curtas += o.curta + std::string(o.com_valor ? ":" : "");
    }
    longas.push_back({});

    const auto indice = [&](int c) {
        std::size_t i = 0;
        while (i < opcoes.size() && valor_de(opcoes[i], i) != c)
            ++i;
        return i;
    };
    opterr = 0;
    optind = 0;  // a whole new scan, so that a line can be read more than once
    for (int c = 0; (c = getopt_long(argc, argv, curtas.c_str(), longas.data(), nullptr)) != -1;) {
        if (c == 1) {
            lc.operandos.emplace_back(optarg);
            continue;
        }
        if (c == '?') {
            // An unknown letter, or a long option that is unknown, ambiguous or given a value
            // it does not take: the word as typed.
            // An unknown letter may stand inside a group ("-xy"), where optind has not moved on.
            const bool letra = optopt > 0 && optopt < 256 &&
                               curtas.find(static_cast<char>(optopt), 2) == std::string::npos;
            // The word built whole: GCC 12 takes "-" + std::string for an overlapping copy.
            const std::string palavra =
                letra ? std::string{'-', static_cast<char>(optopt)} : std::string(argv[optind - 1]);
            lc.erro = Erro::uso("opcao invalida: " + palavra);
            return lc;
        }
        const std::size_t i = indice(c == ':' ? optopt : c);
        const std::string nome = "--" + std::string(opcoes[i].nome);
        if (c == ':') {
            lc.erro = Erro::uso("falta o valor de " + nome);
            return lc;
        }
        if (lc.valores[i] && !opcoes[i].repete) {
            lc.erro = Erro::uso("opcao repetida: " + nome);
            return lc;
        }
        lc.valores[i] = optarg != nullptr ? std::string_view(optarg) : std::string_view();
        lc.todos[i].push_back(*lc.valores[i]);
    }
    for (int k = optind; k < argc; ++k)
        lc.operandos.emplace_back(argv[k]);
    return lc;
}

int erro_de_uso(const char* programa, std::string_view motivo) {
    return relata_erro(programa, Erro::uso(std::string(motivo)));
}

std::optional<int> ajuda_ou_versao(const Programa& p, const LinhaDeComando& lc) {
    constexpr std::size_t ajuda = 0;
    constexpr std::size_t versao = 1;
    if (!lc.tem(ajuda) && !lc.tem(versao)) return std::nullopt;
    if (lc.tem(ajuda) && lc.tem(versao))
        return erro_de_uso(p.nome, "--ajuda ou --versao, nao ambas");
    if (lc.operandos.size() > 1 || (lc.operandos.size() == 1 && !p.e_comando(lc.operandos[0])))
        return erro_de_uso(p.nome, "argumentos demais");
    // Written like any other output: termina_saida finds a failure on the stream.
    const std::string texto =
        lc.tem(ajuda) ? std::string(p.uso) : std::string(p.nome) + " " + versao_contacel + "\n";
    std::fwrite(texto.data(), 1, texto.size(), stdout);
    return EXIT_SUCCESS;
}

void prepara_programa() {
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    std::signal(SIGXFSZ, SIG_IGN);
}

int termina_saida(const char* programa, int status) {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
    std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
    return EXIT_FAILURE;
}
