#include "emissor.h"

#include <fmt/format.h>

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <span>

#include "leitura.h"

namespace {

// The texts of a table by name, each found once: a key outside `nomes`, or a value that is not
// a text, is the failure.
template <std::size_t N>
Erro textos(const toml::table& t, std::string_view tabela,
            const std::array<std::string_view, N>& nomes, std::array<const toml::node*, N>& achados,
            const std::string& arquivo) {
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
    for (std::size_t i = 0; i < N; ++i)
        if (achados[i] == nullptr)
            return Erro::dados(arquivo, t.source().begin.line,
                               fmt::format("falta [{}] {}", tabela, nomes[i]));
    return {};
}

std::string texto(const toml::node* n) {
    return std::string(n->as_string()->get());
}

}  // namespace

std::string cnpj_formatado(std::string_view d) {
    if (d.size() != 14) return std::string(d);
    return fmt::format("{}.{}.{}/{}-{}", d.substr(0, 2), d.substr(2, 3), d.substr(5, 3),
                       d.substr(8, 4), d.substr(12, 2));
}

Erro le_emissor_de(std::string_view texto_toml, const std::string& arquivo, Emissor& emissor) {
    toml::table raiz;
    try {
        raiz = toml::parse(texto_toml, arquivo);
    } catch (const toml::parse_error& e) {
        // The parser's own description is English: the place says enough.
        return Erro::dados(arquivo, e.source().begin.line,
                           fmt::format("TOML invalido na coluna {}", e.source().begin.column));
    }
    for (const auto& [chave, valor] : raiz)
        if ((chave.str() != "emissor" && chave.str() != "pix") || !valor.is_table())
            return Erro::dados(
                arquivo, chave.source().begin.line,
                fmt::format("{} desconhecido: o arquivo tem [emissor] e, se quiser, [pix]",
                            chave.str()));
    const toml::table* e = raiz["emissor"].as_table();
    if (e == nullptr) return Erro::dados(arquivo, 0, "falta a tabela [emissor]");
    constexpr std::array<std::string_view, 4> nomes{"nome", "cnpj", "endereco", "telefone"};
    std::array<const toml::node*, 4> v{};
    if (Erro r = textos<4>(*e, "emissor", nomes, v, arquivo); !r.ok()) return r;
    for (const std::size_t i : {0U, 2U, 3U}) {
        const std::string t = texto(v[i]);
        // Each is one line of the page: a NUL would cut it short, a line break break it.
        if (std::any_of(t.begin(), t.end(), [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u < 0x20 || u == 0x7f;
            }))
            return Erro::dados(arquivo, v[i]->source().begin.line,
                               fmt::format("[emissor] {} com caractere de controle", nomes[i]));
        if (t.find_first_not_of(' ') == std::string::npos)
            return Erro::dados(arquivo, v[i]->source().begin.line,
                               fmt::format("[emissor] {} vazio", nomes[i]));
    }
    std::string cnpj = texto(v[1]);
    std::erase_if(cnpj, [](char c) { return c == '.' || c == '/' || c == '-'; });
    if (!cnpj_valido(cnpj))
        return Erro::dados(arquivo, v[1]->source().begin.line,
                           "[emissor] cnpj: " + texto(v[1]) +
                               " nao e um CNPJ (14 digitos com os verificadores certos)");
    Emissor lido{texto(v[0]), cnpj, texto(v[2]), texto(v[3]), std::nullopt};
    if (const toml::table* p = raiz["pix"].as_table(); p != nullptr) {
        std::array<const toml::node*, 3> w{};
        if (Erro r = textos<3>(*p, "pix", {"chave", "nome", "cidade"}, w, arquivo); !r.ok())
            return r;
        RecebedorPix pix{texto(w[0]), texto(w[1]), texto(w[2])};
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
