#include "linhas.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <numeric>
#include <utility>

#include "campos_csv.h"
#include "caracteres.h"
#include "clientes.h"
#include "codigo850.h"
#include "dialeto_csv.h"
#include "espalha.h"
#include "leitura.h"
#include "telefone.h"

namespace {

// A lines file lists the lines of a few hundred customers; anything much larger is not one.
constexpr std::size_t maximo_arquivo = 64 * 1024 * 1024;

// A number's key as one integer (Telefone::chave_numerica); 0 for one found by its text.
std::uint64_t chave_inteira(const Telefone& t) {
    return t.chave_numerica().value_or(0);
}

}  // namespace

void TabelaLinhas::reserva(std::size_t n) {
    linhas_.reserve(n);
}

void TabelaLinhas::espalha(std::size_t vagas) {
    vagas_.assign(vagas, 0);
    filtro_.assign(vagas / 4, 0);  // 16 bits a slot, 64 a word
    desloca_filtro_ = 64 - std::countr_zero(vagas * 16);
    // The lines go in the order of their slots, by parts of the table 1/128 of its size, so that
    // each part is filled while it is in the cache rather than the whole table at random; two
    // lines of one key fall in one part, in the order they were added. A few parts at a time
    // keep little in hand: a large block freed has the allocator keep blocks as large ever after.
    constexpr std::uint8_t partes = 128;  // and the part of a line found by its text
    constexpr std::size_t por_vez = std::size_t{1} << 16;
    const std::size_t mascara = vagas - 1;
    const int desloca = std::max(0, std::countr_zero(vagas) - 7);
    std::vector<std::uint8_t> parte(linhas_.size(), partes);
    std::array<std::uint32_t, partes + 1> inicio{};
    for (std::size_t i = 0; i < linhas_.size(); ++i)
        if (const std::uint64_t k = linhas_[i].chave; k != 0) {
            parte[i] = static_cast<std::uint8_t>((mistura(k) & mascara) >> desloca);
            ++inicio[parte[i] + 1U];
        }
    std::partial_sum(inicio.begin(), inicio.end(), inicio.begin());
    std::vector<std::pair<std::uint64_t, std::uint32_t>> ordem;
    std::vector<std::uint32_t> repetidas;
    for (std::size_t de = 0, ate = 0; de < partes; de = ate) {
        while (ate < partes && (ate == de || inicio[ate + 1] - inicio[de] <= por_vez))
            ++ate;
        ordem.resize(inicio[ate] - inicio[de]);
        std::array<std::uint32_t, partes + 1> proxima = inicio;
        for (std::uint32_t i = 0; i < linhas_.size(); ++i)
            if (parte[i] >= de && parte[i] < ate)
                ordem[proxima[parte[i]]++ - inicio[de]] = {linhas_[i].chave, i};
        for (const auto& [k, i] : ordem) {
            const std::size_t v = posicao(k);
            if (vagas_[v] != 0)
                repetidas.push_back(i);
            else
                vagas_[v] = vaga(k, i);
            marca(mistura(k));
        }
    }
    indexadas_ = linhas_.size();
    if (repetidas.empty()) return;
    std::ranges::sort(repetidas);
    tira(repetidas);
    espalha(vagas);
}

void TabelaLinhas::tira(std::span<const std::uint32_t> fora) {
    std::size_t mantidas = 0;
    std::size_t texto = 0;
    std::size_t inicio = 0;
    auto f = fora.begin();
    for (std::size_t i = 0; i < linhas_.size(); ++i) {
        Linha l = linhas_[i];
        const std::size_t de = std::exchange(inicio, l.fim);
        if (f != fora.end() && *f == i) {
            ++f;
            continue;
        }
        escritos_.replace(texto, l.fim - de, escritos_, de, l.fim - de);
        texto += l.fim - de;
        l.fim = static_cast<std::uint32_t>(texto);
        linhas_[mantidas++] = l;
    }
    linhas_.resize(mantidas);
    escritos_.resize(texto);
    for (auto& [texto_da_chave, i] : por_texto_)
        i -= static_cast<std::uint32_t>(std::ranges::lower_bound(fora, i) - fora.begin());
}

void TabelaLinhas::indexa() {
    std::size_t vagas = std::max<std::size_t>(64, vagas_.size());
    while (linhas_.size() * 4 > vagas * 3)
        vagas *= 2;
    espalha(vagas);
}

// A slot's word: the high half of the key's hash, to pass over other keys without reading their
// lines, and 1 + the line's index.
std::uint64_t TabelaLinhas::vaga(std::uint64_t chave, std::uint32_t i) {
    return (mistura(chave) & ~std::uint64_t{UINT32_MAX}) | (std::uint64_t{i} + 1);
}

// The slot of `chave`, or the free one where it would go.
std::size_t TabelaLinhas::posicao(std::uint64_t chave) const {
    const std::uint64_t h = mistura(chave);
    const std::size_t mascara = vagas_.size() - 1;
    for (std::size_t v = h & mascara;; v = (v + 1) & mascara) {
        const std::uint64_t x = vagas_[v];
        if (x == 0 || ((x ^ h) >> 32 == 0 && linhas_[(x & UINT32_MAX) - 1].chave == chave))
            return v;
    }
}

std::uint16_t TabelaLinhas::plano(std::string_view nome, std::size_t linha) {
    if (nome.empty()) return 0;
    if (const auto it = plano_por_nome_.find(nome); it != plano_por_nome_.end()) return it->second;
    // Past 65,535 names the last stands for the rest: no price list has as many plans, so some
    // name kept is unknown to it anyway.
    if (planos_.size() > UINT16_MAX) return UINT16_MAX;
    const auto i = static_cast<std::uint16_t>(planos_.size());
    planos_.push_back({std::string(nome), static_cast<std::uint32_t>(linha)});
    plano_por_nome_.emplace(nome, i);
    return i;
}

void TabelaLinhas::guarda(std::string_view numero, std::uint64_t chave, std::uint32_t cod_cli,
                          std::size_t linha, std::string_view plano_lido) {
    escritos_ += numero;
    linhas_.push_back({chave, cod_cli, static_cast<std::uint32_t>(escritos_.size()),
                       static_cast<std::uint32_t>(linha), 0, plano(plano_lido, linha)});
}

std::optional<std::size_t> TabelaLinhas::insere(std::string_view numero, std::uint32_t cod_cli,
                                                std::size_t linha, std::string_view plano_lido) {
    if (indexadas_ < linhas_.size() || (linhas_.size() + 1) * 4 > vagas_.size() * 3) indexa();
    const Telefone tel(numero);
    const std::uint64_t k = chave_inteira(tel);
    const auto i = static_cast<std::uint32_t>(linhas_.size());
    if (k == 0) {
        const auto [it, nova] = por_texto_.try_emplace(std::string(tel.chave()), i);
        if (!nova) return linhas_[it->second].linha;
    } else {
        const std::size_t v = posicao(k);
        if (vagas_[v] != 0) return linhas_[(vagas_[v] & UINT32_MAX) - 1].linha;
        vagas_[v] = vaga(k, i);
        marca(mistura(k));
    }
    guarda(numero, k, cod_cli, linha, plano_lido);
    ++indexadas_;
    return std::nullopt;
}

void TabelaLinhas::acrescenta(std::string_view numero, std::uint32_t cod_cli,
                              std::string_view plano_lido) {
    const Telefone tel(numero);
    const std::uint64_t k = chave_inteira(tel);
    if (k == 0 && !por_texto_.try_emplace(std::string(tel.chave()), linhas_.size()).second) return;
    guarda(numero, k, cod_cli, 0, plano_lido);
}

const TabelaLinhas::Linha* TabelaLinhas::busca(std::string_view numero) const {
    return busca(Telefone(numero));
}

const TabelaLinhas::Linha* TabelaLinhas::busca(const Telefone& numero) const {
    if (const std::uint64_t k = chave_inteira(numero); k != 0) {
        if (filtro_.empty() || !marcada(mistura(k))) return nullptr;
        const std::uint64_t v = vagas_[posicao(k)];
        return v == 0 ? nullptr : &linhas_[(v & UINT32_MAX) - 1];
    }
    const auto it = por_texto_.find(numero.chave());
    return it == por_texto_.end() ? nullptr : &linhas_[it->second];
}

std::string_view TabelaLinhas::numero(const Linha& l) const {
    const auto i = static_cast<std::size_t>(&l - linhas_.data());
    const std::uint32_t inicio = i == 0 ? 0 : linhas_[i - 1].fim;
    return std::string_view(escritos_).substr(inicio, l.fim - inicio);
}

void TabelaLinhas::poe_planos(std::span<const std::uint16_t> indices) {
    for (Linha& l : linhas_)
        l.indice_plano = indices[l.plano_lido];
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
