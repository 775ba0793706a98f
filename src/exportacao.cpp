#include "exportacao.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "codigo850.h"
#include "conta.h"
#include "dialeto_csv.h"
#include "impressao.h"

namespace {

std::string data_iso(TData d) {
    return fmt::format(FMT_COMPILE("{:04}-{:02}-{:02}"), d.ano, d.mes, d.dia);
}

// The numbers 00 to 99 written in two digits each, one after the other.
constexpr auto pares = [] {
    std::array<char, 200> p{};
    for (std::size_t i = 0; i < 100; ++i) {
        p[2 * i] = static_cast<char>('0' + i / 10);
        p[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return p;
}();

// Appends `separador` and the date-time as "2017-11-01 23:25:18", its digits written directly
// (fmt's padded small integers cost more than the rest of a row).
void acrescenta_data_hora(std::string& linha, char separador, TDataHora dh) {
    const std::array<int, 6> v{dh.dat.ano, dh.dat.mes, dh.dat.dia,
                               dh.hor.hor, dh.hor.min, dh.hor.seg};
    if (v[0] < 0 || v[0] > 9999 ||
        std::any_of(v.begin() + 1, v.end(), [](int x) { return x < 0 || x > 99; })) {
        fmt::format_to(std::back_inserter(linha),
                       FMT_COMPILE("{}{:04}-{:02}-{:02} {:02}:{:02}:{:02}"), separador, v[0], v[1],
                       v[2], v[3], v[4], v[5]);
        return;
    }
    std::array<char, 20> t{separador, 0, 0, 0, 0, '-', 0, 0, '-', 0, 0, ' ', 0, 0, ':', 0, 0, ':'};
    const auto par = [&](std::size_t i, int x) {
        std::memcpy(&t[i], &pares[2 * static_cast<std::size_t>(x)], 2);
    };
    par(1, v[0] / 100);
    par(3, v[0] % 100);
    par(6, v[1]);
    par(9, v[2]);
    par(12, v[3]);
    par(15, v[4]);
    par(18, v[5]);
    linha.append(t.data(), t.size());
}

// Appends the decimal digits of `x`.
void acrescenta_inteiro(std::string& linha, std::uint64_t x) {
    const fmt::format_int f(x);
    linha.append(f.data(), f.size());
}

// Appends a charge as dinheiro() writes it, an exact one that is not negative directly.
void acrescenta_valor(std::string& linha, Valor v, char decimal) {
    if (!v.exato || v.centavos < 0) {
        linha += dinheiro(v, decimal);
        return;
    }
    acrescenta_inteiro(linha, static_cast<std::uint64_t>(v.centavos / 100));
    linha += decimal;
    linha.append(&pares[2 * static_cast<std::size_t>(v.centavos % 100)], 2);
}

void escreve(std::FILE* saida, const std::string& linha) {
    std::fwrite(linha.data(), 1, linha.size(), saida);
}

}  // namespace

Erro textos_em_utf8(const TLisCli& lis_cli) {
    std::string utf8;
    for (std::uint32_t i = 0; i < std::min(lis_cli.ncl, capacidade_lis_cli); ++i)
        for (const auto& texto : {lis_cli.clientes[i].nome, lis_cli.clientes[i].endereco})
            if (Erro e = em_utf8({texto, ::strnlen(texto, sizeof(TCliente::nome))}, utf8); !e.ok())
                return e;
    return {};
}

void exporta_chamadas(const Contas& c, std::FILE* saida, DialetoCsv d, bool linhas) {
    const bool com_linha = linhas && std::ranges::any_of(c.chamadas, [](const ChamadaCobrada& cha) {
                               return cha.linha != 0;
                           });
    std::vector<std::string_view> colunas{"origem",  "destino", "telefone_destino", "inicio", "fim",
                                          "duracao", "valor"};
    if (com_linha || c.tarifa != nullptr) colunas.emplace_back("linha");
    if (c.tarifa != nullptr)
        colunas.insert(colunas.end(), {"destino", "faixa", "segundos_cobrados"});
    escreve(saida, cabecalho_csv(colunas, d));
    // One row's text, its room kept from row to row.
    std::string linha;
    for (const ChamadaCobrada& cha : c.chamadas) {
        linha.clear();
        acrescenta_inteiro(linha, cha.cod_cli);
        linha += d.separador;
        acrescenta_campo_csv(linha, c.textos[cha.destino], d);
        linha += d.separador;
        acrescenta_campo_csv(linha, c.textos[cha.numero], d);
        acrescenta_data_hora(linha, d.separador, cha.inicio);
        acrescenta_data_hora(linha, d.separador, cha.fim);
        linha += d.separador;
        acrescenta_inteiro(linha, cha.segundos);
        linha += d.separador;
        acrescenta_valor(linha, c.valor(cha), d.decimal);
        if (com_linha || c.tarifa != nullptr) {
            linha += d.separador;
            acrescenta_campo_csv(linha, c.textos[cha.linha], d);
        }
        if (c.tarifa != nullptr) {
            linha += d.separador;
            acrescenta_campo_csv(linha, c.tarifa->destinos[cha.destino_tarifa].nome, d);
            fmt::format_to(std::back_inserter(linha), FMT_COMPILE("{0}{1}{0}{2}"), d.separador,
                           cha.reduzido ? "reduzido" : "normal", cha.cobrados);
        }
        linha += d.fim_de_linha;
        escreve(saida, linha);
    }
}

void exporta_contas(const Contas& c, std::FILE* saida, DialetoCsv d) {
    std::vector<std::string_view> colunas{"cliente", "nome",     "endereco",     "mes",
                                          "ano",     "chamadas", "duracao_total"};
    if (c.tarifa != nullptr)
        colunas.insert(colunas.end(), {"mensalidades", "franquia_usada", "valor_chamadas"});
    colunas.insert(colunas.end(), {"valor_total", "vencimento"});
    if (c.do_livro) colunas.emplace_back("fatura");
    escreve(saida, cabecalho_csv(colunas, d));
    for (const ContaMensal& conta : c.contas) {
        const Cliente& cli = cliente_da_conta(c.clientes.get(), conta.cod_cli);
        std::string linha = std::to_string(conta.cod_cli);
        linha += d.separador;
        acrescenta_campo_csv(linha, cli.nome, d);
        linha += d.separador;
        acrescenta_campo_csv(linha, cli.endereco, d);
        linha += fmt::format(FMT_COMPILE("{0}{1}{0}{2}{0}{3}{0}{4}{0}"), d.separador, conta.mes,
                             conta.ano, conta.chamadas, conta.tempo_total);
        if (c.tarifa != nullptr) {
            linha += dinheiro({true, conta.mensalidades, 0.0F}, d.decimal);
            fmt::format_to(std::back_inserter(linha), FMT_COMPILE("{0}{1}{0}"), d.separador,
                           conta.franquia_usada);
            linha +=
                dinheiro({true, conta.valor_total.centavos - conta.mensalidades, 0.0F}, d.decimal);
            linha += d.separador;
        }
        linha += dinheiro(conta.valor_total, d.decimal);
        linha += d.separador;
        linha += data_iso(vencimento_da_conta(conta));
        if (c.do_livro) {
            linha += d.separador;
            if (const auto it = c.emitidas.find(chave_conta(conta)); it != c.emitidas.end())
                linha += it->second.numero;
        }
        linha += d.fim_de_linha;
        escreve(saida, linha);
    }
}
