#include "emissor.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "caracteres.h"
#include "codigo850.h"
#include "documento.h"
#include "leitura.h"
#include "toml_lido.h"

namespace {

// The texts of a table by name, each found once: a key outside `nomes`, or a value that is not
// a text, is the failure.
// The first `obrigatorias` of them must be there.
template <std::size_t N>
Erro textos(const toml::table& t, std::string_view tabela,
            const std::array<std::string_view, N>& nomes, std::array<const toml::node*, N>& achados,
            const std::string& arquivo, std::size_t obrigatorias = N) {
    for (const auto& [chave, valor] : t) {
        const auto it = std::find(nomes.begin(), nomes.end(), chave.str());
        if (it == nomes.end())
            return Erro::dados(arquivo, chave.source().begin.line,
                               fmt::format("chave desconhecida em [{}]: {}", tabela, chave.str()));
        if (!valor.is_string())
            return Erro::dados(
                arquivo, valor.source().begin.line,
                fmt::format("[{}] {} deve ser um texto entre aspas", tabela, chave.str()));
        achados[static_cast<std::size_t>(it - nomes.begin())] = &valor;
    }
    for (std::size_t i = 0; i < obrigatorias; ++i)
        if (achados[i] == nullptr)
            return Erro::dados(arquivo, t.source().begin.line,
                               fmt::format("falta [{}] {}", tabela, nomes[i]));
    return {};
}

// Whether `t` holds a character that would move the page's text around or hide in it: the C0
// and C1 controls, DEL, and the line and paragraph separators.
bool tem_controle(std::string_view t) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto u = static_cast<unsigned char>(t[i]);
        const auto seguinte = [&](std::size_t k) {
            return i + k < t.size() ? static_cast<unsigned char>(t[i + k]) : 0U;
        };
        if (u < 0x20 || u == 0x7f || (u == 0xC2 && seguinte(1) >= 0x80 && seguinte(1) <= 0x9F) ||
            (u == 0xE2 && seguinte(1) == 0x80 && (seguinte(2) == 0xA8 || seguinte(2) == 0xA9)))
            return true;
    }
    return false;
}

std::string texto(const toml::node* n) {
    return n == nullptr ? std::string() : std::string(n->as_string()->get());
}

// The rates of [tributos]: each a fraction of the price from 0 to 1 with at most six decimals,
// kept in millionths; all of them together no more than the price.
Erro le_tributos(const toml::table& t, const std::string& arquivo, std::vector<Tributo>& lidos) {
    constexpr std::array<std::string_view, 5> nomes{"icms", "pis", "cofins", "fust", "funttel"};
    constexpr std::array<std::string_view, 5> impressos{"ICMS", "PIS", "COFINS", "FUST", "FUNTTEL"};
    std::array<const toml::node*, 5> achados{};
    for (const auto& [chave, valor] : t) {
        const auto* it = std::find(nomes.begin(), nomes.end(), chave.str());
        if (it == nomes.end())
            return Erro::dados(
                arquivo, chave.source().begin.line,
                fmt::format("chave desconhecida em [tributos]: {} (icms, pis, cofins, "
                            "fust ou funttel)",
                            chave.str()));
        achados[static_cast<std::size_t>(it - nomes.begin())] = &valor;
    }
    std::int64_t soma = 0;
    for (std::size_t i = 0; i < nomes.size(); ++i) {
        if (achados[i] == nullptr) continue;
        const std::optional<std::int64_t> m = em_unidades(*achados[i], 1'000'000, 1'000'000);
        if (!m)
            return Erro::dados(
                arquivo, achados[i]->source().begin.line,
                fmt::format("[tributos] {} deve ser uma fracao de 0 a 1 com ate 6 casas "
                            "(0.18 para 18%)",
                            nomes[i]));
        lidos.push_back({std::string(impressos[i]), *m});
        soma += lidos.back().milionesimos;
    }
    if (soma > 1000000)
        return Erro::dados(arquivo, t.source().begin.line,
                           "[tributos] somam mais que o preco inteiro");
    return {};
}

}  // namespace

Erro le_emissor_de(std::string_view texto_toml, const std::string& arquivo, Emissor& emissor) {
    toml::table raiz;
    if (Erro e = analisa_toml(texto_toml, arquivo, raiz); !e.ok()) return e;
    for (const auto& [chave, valor] : raiz)
        if ((chave.str() != "emissor" && chave.str() != "pix" && chave.str() != "tributos") ||
            !valor.is_table())
            return Erro::dados(
                arquivo, chave.source().begin.line,
                fmt::format("{} desconhecido: o arquivo tem [emissor] e, se quiser, [pix] "
                            "e [tributos]",
                            chave.str()));
    const toml::table* e = raiz["emissor"].as_table();
    if (e == nullptr) return Erro::dados(arquivo, 0, "falta a tabela [emissor]");
    constexpr std::array<std::string_view, 5> nomes{"nome", "cnpj", "endereco", "telefone",
                                                    "titulo"};
    // As much as the header of a page holds in a few lines; a customer's name and address have
    // the same room.
    constexpr std::array<std::size_t, 5> maximo{100, 0, 200, 40, 50};
    std::array<const toml::node*, 5> v{};
    if (Erro r = textos<5>(*e, "emissor", nomes, v, arquivo, 4); !r.ok()) return r;
    for (const std::size_t i : {0U, 2U, 3U, 4U}) {
        if (v[i] == nullptr) continue;
        const std::string t = texto(v[i]);
        if (tem_controle(t))
            return Erro::dados(arquivo, v[i]->source().begin.line,
                               fmt::format("[emissor] {} com caractere de controle", nomes[i]));
        if (t.find_first_not_of(' ') == std::string::npos)
            return Erro::dados(arquivo, v[i]->source().begin.line,
                               fmt::format("[emissor] {} vazio", nomes[i]));
        if (const std::size_t n = caracteres_utf8(t); n > maximo[i])
            return Erro::dados(
                arquivo, v[i]->source().begin.line,
                fmt::format("[emissor] {} com mais de {} caracteres", nomes[i], maximo[i]));
    }
    const std::optional<std::string> cnpj = documento_lido(texto(v[1]));
    if (!cnpj || cnpj->size() != 14)
        return Erro::dados(arquivo, v[1]->source().begin.line,
                           "[emissor] cnpj: " + texto(v[1]) +
                               " nao e um CNPJ (14 digitos ou letras com os verificadores certos)");
    Emissor lido{texto(v[0]), *cnpj, texto(v[2]), texto(v[3]), std::nullopt, texto(v[4]), {}, {}};
    if (const toml::table* t = raiz["tributos"].as_table(); t != nullptr)
        if (Erro r = le_tributos(*t, arquivo, lido.tributos); !r.ok()) return r;
    if (const toml::table* p = raiz["pix"].as_table(); p != nullptr) {
        std::array<const toml::node*, 3> w{};
        if (Erro r = textos<3>(*p, "pix", {"chave", "nome", "cidade"}, w, arquivo); !r.ok())
            return r;
        RecebedorPix pix{texto(w[0]), texto(w[1]), texto(w[2])};
        lido.recebedor = recebedor_escrito(pix);
        const std::array<Erro, 3> r{prepara_chave_pix(pix.chave), prepara_nome_pix(pix.nome),
                                    prepara_cidade_pix(pix.cidade)};
        for (std::size_t k = 0; k < r.size(); ++k)
            if (!r[k].ok()) return Erro::dados(arquivo, w[k]->source().begin.line, r[k].detalhe);
        lido.pix = std::move(pix);
    }
    emissor = std::move(lido);
    return {};
}

Erro le_emissor(const std::string& arquivo, Emissor& emissor) {
    // An issuer's file is a few lines: a device, a FIFO or an endless file is refused, not read.
    std::string texto_toml(64 * 1024, '\0');
    std::size_t lidos = 0;
    if (Erro e = le_arquivo_regular(arquivo.c_str(), std::as_writable_bytes(std::span(texto_toml)),
                                    lidos, Excesso::recusa);
        !e.ok())
        return e;
    texto_toml.resize(lidos);
    return le_emissor_de(texto_toml, arquivo, emissor);
}
