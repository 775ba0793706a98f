// contacel-exportar: the calls or the bills of the run of a given second, as CSV.
//
// The run is replayed with the library itself: the same seed, generation, sorting, durations,
// tariffs and grouping as contacel, so every figure is the one contacel prints in that second.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "conta.h"
#include "csv_clientes.h"
#include "execucao.h"
#include "formato.h"
#include "linha_de_comando.h"

namespace {

constexpr const char* programa = "contacel-exportar";

constexpr std::string_view uso =
    "uso: contacel-exportar chamadas [--semente S | --instante \"AAAA-MM-DD hh:mm:ss\"] "
    "[--clientes ARQUIVO]\n"
    "     contacel-exportar contas   [--semente S | --instante \"AAAA-MM-DD hh:mm:ss\"] "
    "[--clientes ARQUIVO]\n"
    "\n"
    "Escreve na saida padrao, em CSV (UTF-8), as chamadas ou as contas da execucao de contacel\n"
    "iniciada no segundo dado: --semente S e a hora Unix S; --instante e a data e hora locais.\n"
    "Sem nenhum dos dois, o segundo atual. ARQUIVO e o cadastro (clientes.arq se omitido).\n";

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

std::string data_iso(TData d) {
    return fmt::format(FMT_COMPILE("{:04}-{:02}-{:02}"), d.ano, d.mes, d.dia);
}

std::string data_hora_iso(TDataHora dh) {
    return fmt::format(FMT_COMPILE("{} {:02}:{:02}:{:02}"), data_iso(dh.dat), dh.hor.hor,
                       dh.hor.min, dh.hor.seg);
}

void escreve(const std::string& linha) {
    std::fwrite(linha.data(), 1, linha.size(), stdout);
}

void exporta_chamadas(const Execucao& e) {
    escreve("origem,destino,telefone_destino,inicio,fim,duracao,valor\n");
    for (std::int32_t i = 0; i < e.li_ch.num_cha; ++i) {
        const TChamada& cha = e.li_ch.chamadas[i];
        const std::int32_t ns = num_seg(cha.ini, cha.fim);
        escreve(fmt::format(FMT_COMPILE("{},{},{},{},{},{},{:.2f}\n"), cha.cod_cli_ori,
                            cha.cod_cli_des, linha_chamada(&e.lis_cel, cha.cod_cli_des),
                            data_hora_iso(cha.ini), data_hora_iso(cha.fim), ns,
                            tarifa_chamada(ns)));
    }
}

void exporta_contas(const Execucao& e) {
    escreve("cliente,nome,endereco,mes,ano,chamadas,duracao_total,valor_total,vencimento\n");
    for (std::int32_t i = 0, fim = 0; i < e.li_ch.num_cha; i = fim) {
        fim = fim_da_conta(&e.li_ch, i);
        const TChamada& primeira = e.li_ch.chamadas[i];
        SomaConta soma;
        for (std::int32_t k = i; k < fim; ++k)
            soma.soma(e.li_ch.chamadas[k]);
        const TCliente& cli = cliente_da_conta(&e.lis_cli, primeira.cod_cli_ori);
        std::string linha = std::to_string(primeira.cod_cli_ori) + ",";
        acrescenta_texto_csv(linha, cli.nome);
        linha += ',';
        acrescenta_texto_csv(linha, cli.endereco);
        linha += fmt::format(FMT_COMPILE(",{},{},{},{},{:.2f},{}\n"), primeira.ini.dat.mes,
                             primeira.ini.dat.ano, soma.chamadas, soma.tempo_total,
                             soma.tarifa_total, data_iso(soma.vencimento));
        escreve(linha);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() == 2 && std::string_view(args[1]) == "--ajuda") {
        std::fwrite(uso.data(), 1, uso.size(), stdout);
        return std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    if (args.size() < 2) return erro_de_uso("falta o que exportar: chamadas ou contas");
    const std::string_view oque = args[1];
    if (oque != "chamadas" && oque != "contas") return erro_de_uso("exporta-se chamadas ou contas");

    std::optional<std::time_t> semente;
    const char* clientes = arquivo_clientes;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a != "--semente" && a != "--instante" && a != "--clientes")
            return erro_de_uso("opcao desconhecida");
        if (i + 1 == args.size()) return erro_de_uso("falta o valor de uma opcao");
        const std::string_view valor = args[++i];
        if (a == "--clientes") {
            clientes = args[i];
            continue;
        }
        if (semente) return erro_de_uso("--semente ou --instante, uma so vez");
        semente = a == "--semente" ? numero<std::time_t>(valor) : instante(valor);
        if (!semente)
            return erro_de_uso(a == "--semente" ? "semente invalida" : "instante invalido");
    }

    // The run seeds the generator with its start time, as contacel does.
    std::srand(static_cast<unsigned>(semente ? *semente : std::time(nullptr)));
    Execucao e;
    if (const StatusCli st = prepara_execucao(clientes, &e); !st.ok()) {
        relata_erro_cli(stderr, programa, clientes, st);
        return EXIT_FAILURE;
    }
    if (oque == "chamadas")
        exporta_chamadas(e);
    else
        exporta_contas(e);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: erro ao escrever na saida padrao\n", programa);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
