// contacel-exportar: the calls or the bills of the run of a given second, as CSV, or the bills
// as a PDF document.
//
// The run is replayed with the library itself: the same seed, generation, sorting, durations,
// tariffs and grouping as contacel, so every figure is the one contacel prints in that second.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "execucao.h"
#include "exportacao.h"
#include "faturas.h"
#include "gravacao.h"
#include "linha_de_comando.h"

namespace {

constexpr const char* programa = "contacel-exportar";

constexpr std::string_view uso =
    "uso: contacel-exportar chamadas [--semente S | --instante \"AAAA-MM-DD hh:mm:ss\"] "
    "[--clientes ARQUIVO]\n"
    "     contacel-exportar contas   [--semente S | --instante \"AAAA-MM-DD hh:mm:ss\"] "
    "[--clientes ARQUIVO]\n"
    "     contacel-exportar faturas  [--semente S | --instante \"AAAA-MM-DD hh:mm:ss\"] "
    "[--clientes ARQUIVO]\n"
    "                                [--pasta PASTA [--forcar]]\n"
    "                                [--pix-chave CHAVE --pix-nome NOME --pix-cidade CIDADE]\n"
    "\n"
    "Escreve na saida padrao, em CSV (UTF-8), as chamadas ou as contas da execucao de contacel\n"
    "iniciada no segundo dado: --semente S e a hora Unix S; --instante e a data e hora locais.\n"
    "Sem nenhum dos dois, o segundo atual. ARQUIVO e o cadastro (clientes.arq se omitido).\n"
    "faturas escreve as contas em PDF, uma por pagina, na saida padrao (que nao pode ser um\n"
    "terminal) ou, com --pasta, um arquivo CODIGO-AAAA-MM.pdf por conta (--forcar substitui os\n"
    "existentes); com as tres opcoes --pix-*, um QR code Pix do valor a pagar em cada conta.\n";

int erro_de_uso(const char* motivo) {
    return mostra_uso(programa, uso, motivo);
}

// "AAAA-MM-DD hh:mm:ss" in the local time zone, as the run's clock reads it; a date or time
// that does not exist is refused.
std::optional<std::time_t> instante(std::string_view s) {
    std::array<int, 6> v{};
    constexpr std::string_view modelo = "0000-00-00 00:00:00";
    if (s.size() != modelo.size()) return std::nullopt;
    for (std::size_t i = 0, campo = 0; i < s.size(); ++i) {
        if (modelo[i] != '0') {
            if (s[i] != modelo[i]) return std::nullopt;
            ++campo;
        } else if (s[i] < '0' || s[i] > '9') {
            return std::nullopt;
        } else {
            v[campo] = v[campo] * 10 + (s[i] - '0');
        }
    }
    std::tm tm{};
    tm.tm_year = v[0] - 1900;
    tm.tm_mon = v[1] - 1;
    tm.tm_mday = v[2];
    tm.tm_hour = v[3];
    tm.tm_min = v[4];
    tm.tm_sec = v[5];
    tm.tm_isdst = -1;
    const std::tm pedido = tm;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_year != pedido.tm_year ||
        tm.tm_mon != pedido.tm_mon || tm.tm_mday != pedido.tm_mday ||
        tm.tm_hour != pedido.tm_hour || tm.tm_min != pedido.tm_min || tm.tm_sec != pedido.tm_sec)
        return std::nullopt;
    return t;
}

// Each bill as PASTA/CODIGO-AAAA-MM.pdf, written safely; with `forcar` existing files are
// replaced, else none is written when any exists.
int grava_faturas(const Execucao& e, const OpcoesFaturas& op, const std::string& pasta,
                  bool forcar) {
    const TravaDePasta trava(pasta + "/.");
    if (trava.erro() != 0) {
        std::fprintf(stderr, "%s: %s: %s\n", programa, pasta.c_str(), std::strerror(trava.erro()));
        return EXIT_FAILURE;
    }
    std::string falhou;
    int erro = 0;
    if (!forcar)
        para_cada_conta(&e.li_ch, [&](const Conta& c, std::span<const ParcelaConta>) {
            const std::string nome = pasta + "/" + nome_arquivo_fatura(c.cod_cli, c.ano, c.mes);
            if (falhou.empty() && ::access(nome.c_str(), F_OK) == 0) {
                falhou = nome;
                erro = EEXIST;
            }
        });
    if (erro == 0) {
        const ErroFaturas ef = escreve_cada_fatura(
            e, op, [&](const std::string& nome, std::span<const std::byte> pdf) {
                falhou = pasta + "/" + nome;
                erro = grava_arquivo(falhou, pdf,
                                     forcar ? ModoGravacao::substitui : ModoGravacao::novo);
                return erro == 0;
            });
        // A failure of the document itself, not of a file.
        if (ef != ErroFaturas::nenhum && erro == 0) {
            std::fprintf(stderr, "%s: %s\n", programa, descreve_erro_faturas(ef).data());
            return EXIT_FAILURE;
        }
    }
    if (erro == 0) return EXIT_SUCCESS;
    if (erro == EEXIST)
        std::fprintf(stderr, "%s: %s: o arquivo ja existe (use --forcar para substitui-lo)\n",
                     programa, falhou.c_str());
    else
        std::fprintf(stderr, "%s: %s: erro ao gravar: %s\n", programa, falhou.c_str(),
                     std::strerror(erro));
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() == 2 && std::string_view(args[1]) == "--ajuda") {
        std::fwrite(uso.data(), 1, uso.size(), stdout);
        return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    if (args.size() < 2) return erro_de_uso("falta o que exportar: chamadas, contas ou faturas");
    const std::string_view oque = args[1];
    if (oque != "chamadas" && oque != "contas" && oque != "faturas")
        return erro_de_uso("exporta-se chamadas, contas ou faturas");
    const bool faturas = oque == "faturas";

    std::optional<std::time_t> semente;
    const char* clientes = arquivo_clientes;
    // The options of faturas: --pasta, --pix-chave, --pix-nome, --pix-cidade, in that order.
    constexpr std::array<std::string_view, 4> opcoes_faturas{"--pasta", "--pix-chave", "--pix-nome",
                                                             "--pix-cidade"};
    std::array<std::optional<std::string>, 4> de_faturas;
    bool forcar = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const auto opcao = std::find(opcoes_faturas.begin(), opcoes_faturas.end(), a);
        if (faturas && a == "--forcar") {
            if (forcar) return erro_de_uso("--forcar repetida");
            forcar = true;
            continue;
        }
        if (a != "--semente" && a != "--instante" && a != "--clientes" &&
            !(faturas && opcao != opcoes_faturas.end()))
            return erro_de_uso("opcao desconhecida");
        if (i + 1 == args.size()) return erro_de_uso("falta o valor de uma opcao");
        const std::string_view valor = args[++i];
        if (a == "--clientes") {
            clientes = args[i];
            continue;
        }
        if (opcao != opcoes_faturas.end()) {
            auto& v = de_faturas[static_cast<std::size_t>(opcao - opcoes_faturas.begin())];
            if (v) return erro_de_uso("opcao repetida");
            v = std::string(valor);
            continue;
        }
        if (semente) return erro_de_uso("--semente ou --instante, uma so vez");
        semente = a == "--semente" ? numero<std::time_t>(valor) : instante(valor);
        if (!semente)
            return erro_de_uso(a == "--semente" ? "semente invalida" : "instante invalido");
    }

    OpcoesFaturas op;
    if (faturas) {
        if (forcar && !de_faturas[0]) return erro_de_uso("--forcar so com --pasta");
        const auto pix = std::count_if(de_faturas.begin() + 1, de_faturas.end(),
                                       [](const auto& v) { return v.has_value(); });
        if (pix != 0 && pix != 3)
            return erro_de_uso("--pix-chave, --pix-nome e --pix-cidade vao juntas");
        if (pix == 3) {
            op.pix = RecebedorPix{*de_faturas[1], *de_faturas[2], *de_faturas[3]};
            if (const ErroPix ep = confere_recebedor_pix(*op.pix); ep != ErroPix::nenhum) {
                std::fprintf(stderr, "%s: %s\n", programa, descreve_erro_pix(ep).data());
                return saida_uso;
            }
        }
        if (!de_faturas[0] && ::isatty(STDOUT_FILENO) != 0) {
            std::fprintf(stderr,
                         "%s: a saida padrao e um terminal: redirecione para um arquivo ou use "
                         "--pasta\n",
                         programa);
            return saida_uso;
        }
    }

    // The run seeds the generator with its start time, as contacel does.
    op.instante = semente ? *semente : std::time(nullptr);
    std::srand(static_cast<unsigned>(op.instante));
    Execucao e;
    if (const StatusCli st = prepara_execucao(clientes, &e); !st.ok()) {
        relata_erro_cli(stderr, programa, clientes, st);
        return EXIT_FAILURE;
    }
    if (faturas && de_faturas[0]) return grava_faturas(e, op, *de_faturas[0], forcar);
    if (faturas) {
        const ErroFaturas ef = escreve_faturas(e, op, [](std::span<const std::byte> b) {
            return std::fwrite(b.data(), 1, b.size(), stdout) == b.size();
        });
        if (ef == ErroFaturas::composicao) {
            std::fprintf(stderr, "%s: %s\n", programa, descreve_erro_faturas(ef).data());
            return EXIT_FAILURE;
        }
    } else if (oque == "chamadas")
        exporta_chamadas(e, stdout);
    else
        exporta_contas(e, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
