#include "linhas.h"

#include <algorithm>
#include <array>

#include "campos_csv.h"
#include "caracteres.h"
#include "clientes.h"
#include "codigo850.h"
#include "dialeto_csv.h"
#include "leitura.h"
#include "telefone.h"

namespace {

// A lines file lists the lines of a few hundred customers; anything much larger is not one.
constexpr std::size_t maximo_arquivo = 64 * 1024 * 1024;

}  // namespace

std::optional<std::size_t> TabelaLinhas::insere(std::string_view numero, std::uint32_t cod_cli,
                                                std::size_t linha, std::string_view plano) {
    const Telefone tel(numero);
    const std::string_view k = tel.chave();
    if (const auto it = linhas_.find(k); it != linhas_.end()) return it->second.linha;
    linhas_.emplace(std::string(k),
                    Linha{cod_cli, linha, std::string(plano), 0, std::string(numero)});
    return std::nullopt;
}

const TabelaLinhas::Linha* TabelaLinhas::busca(std::string_view numero) const {
    return busca(Telefone(numero));
}

const TabelaLinhas::Linha* TabelaLinhas::busca(const Telefone& numero) const {
    const auto it = linhas_.find(numero.chave());
    return it == linhas_.end() ? nullptr : &it->second;
}

std::optional<std::uint32_t> TabelaLinhas::cliente(std::string_view numero) const {
    const Linha* l = busca(numero);
    if (l == nullptr) return std::nullopt;
    return l->cod_cli;
}

Erro decodifica_linhas(std::string_view csv, const Clientes& clientes, TabelaLinhas& tabela,
                       std::vector<LinhaLida>* lidas) {
    csv = sem_marca_utf8(csv);
    CamposCsv c;
    std::string sem_aspas;
    char separador = '\0';    // none until the header is read
    std::size_t colunas = 2;  // numero, cliente and, if the header says so, plano
    std::size_t linha = 0;
    while (!csv.empty()) {
        ++linha;
        // LF, CRLF and a bare CR each end a line.
        const std::size_t fim = std::min(csv.find_first_of("\r\n"), csv.size());
        const std::string_view l = csv.substr(0, fim);
        csv.remove_prefix(csv.substr(fim).starts_with("\r\n") ? fim + 2
                                                              : std::min(fim + 1, csv.size()));
        if (l.empty()) continue;
        if (separador == '\0') {
            for (const char s : {',', ';'}) {
                separa_campos(l, s, 3, c);
                if (c.valido && (c.n == 2 || (c.n == 3 && c.campos[2] == "plano")) && !c.mais &&
                    c.campos[0] == "numero" && c.campos[1] == "cliente") {
                    separador = s;
                    colunas = c.n;
                }
            }
            if (separador == '\0')
                return Erro::dados({}, linha, "falta o cabecalho numero,cliente ou numero;cliente");
            continue;
        }
        separa_campos(l, separador, colunas, c);
        if (!c.valido)
            return Erro::dados({}, linha, "aspas sem fechamento ou texto depois das aspas");
        if (c.n < 2 || c.mais)
            return Erro::dados({}, linha,
                               std::string(c.mais ? "campos demais" : "campos de menos") +
                                   " (esperados numero" + separador + "cliente)");
        sem_aspas.clear();
        sem_aspas.reserve(l.size());
        std::string_view numero =
            (c.duplas & 1U) != 0 ? desfaz_aspas(c.campos[0], sem_aspas) : c.campos[0];
        // The spreadsheet dialect writes an apostrophe before a "+" that is not a formula.
        if (separador == ';') numero = sem_marca_de_formula(numero);
        if (numero.empty()) return Erro::dados({}, linha, "numero vazio");
        // No record that holds these is billed: such a line would match no call.
        if (numero.find('\0') != std::string_view::npos)
            return Erro::dados({}, linha, "numero com byte nulo");
        if (!e_utf8(numero)) return Erro::dados({}, linha, "numero que nao e UTF-8");
        const std::optional<std::uint32_t> cod = le_codigo(c.campos[1]);
        if (!cod) return Erro::dados({}, linha, "codigo de cliente invalido");
        if (!clientes.tem(*cod))
            return Erro::dados({}, linha,
                               "o cliente " + std::to_string(*cod) + " nao esta no cadastro");
        std::string_view plano = c.n == 3 ? c.campos[2] : std::string_view{};
        if ((c.duplas & 4U) != 0) plano = desfaz_aspas(plano, sem_aspas);
        if (const auto antes = tabela.insere(numero, *cod, linha, plano))
            return Erro::dados(
                {}, linha,
                "o numero " + std::string(numero) + " ja esta na linha " + std::to_string(*antes));
        if (lidas != nullptr) lidas->push_back({std::string(numero), *cod, std::string(plano)});
    }
    if (separador == '\0')
        return Erro::dados({}, 1, "falta o cabecalho numero,cliente ou numero;cliente");
    return {};
}

Erro le_linhas(const std::string& caminho, const Clientes& clientes, TabelaLinhas& tabela,
               std::vector<LinhaLida>* lidas) {
    std::string bytes;
    if (Erro e = le_arquivo_inteiro(caminho.c_str(), bytes, maximo_arquivo); !e.ok()) return e;
    Erro e = decodifica_linhas(bytes, clientes, tabela, lidas);
    if (!e.ok()) e.arquivo = caminho;
    return e;
}

std::optional<std::uint32_t> cliente_da_linha(const TabelaLinhas& t, std::string_view src) {
    return t.cliente(src);
}
