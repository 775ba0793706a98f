#include "tarifas_toml.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <unordered_map>

#include "caracteres.h"
#include "leitura.h"
#include "toml_lido.h"

namespace {

// A price list holds a few thousand destinations at most.
constexpr std::size_t maximo_arquivo = 16 * 1024 * 1024;

class Leitor {
  public:
    Leitor(const std::string& arquivo, Tarifa& t) : arquivo_(arquivo), t_(t) {}
    Erro le(const toml::table& raiz);

  private:
    Erro falha(const toml::node& n, std::string detalhe) const {
        return Erro::dados(arquivo_, n.source().begin.line, std::move(detalhe));
    }
    Erro falha(const toml::key& k, std::string detalhe) const {
        return Erro::dados(arquivo_, k.source().begin.line, std::move(detalhe));
    }
    Erro chaves(const toml::table& t, std::string_view onde,
                std::initializer_list<std::string_view> nomes) const;
    Erro inteiro(const toml::node& n, std::string_view nome, std::int64_t maximo,
                 std::int64_t& v) const;
    Erro dinheiro(const toml::node& n, std::string_view nome, std::int64_t& v,
                  std::int64_t escala) const;
    Erro regras(const toml::table& r);
    Erro reduzido(const toml::table& r);
    Erro destino(const toml::table& d);
    Erro plano(const toml::table& p);
    std::optional<std::size_t> indice(std::string_view nome) const {
        const auto it = por_nome_.find(std::string(nome));
        if (it == por_nome_.end()) return std::nullopt;
        return it->second;
    }

    const std::string& arquivo_;
    Tarifa& t_;
    // The destinations by name: a list names a few thousand, each price names one.
    std::unordered_map<std::string, std::size_t> por_nome_;
};

Erro Leitor::chaves(const toml::table& t, std::string_view onde,
                    std::initializer_list<std::string_view> nomes) const {
    for (const auto& [chave, valor] : t)
        if (std::ranges::find(nomes, chave.str()) == nomes.end())
            return falha(chave, fmt::format("chave desconhecida {}: {}", onde, chave.str()));
    return {};
}

Erro Leitor::inteiro(const toml::node& n, std::string_view nome, std::int64_t maximo,
                     std::int64_t& v) const {
    const auto i = n.value_exact<std::int64_t>();
    if (!i || *i < 0 || *i > maximo)
        return falha(n, fmt::format("{} deve ser um inteiro de 0 a {}", nome, maximo));
    v = *i;
    return {};
}

// Reais with at most log10(escala) decimals, in 1/escala of a real.
Erro Leitor::dinheiro(const toml::node& n, std::string_view nome, std::int64_t& v,
                      std::int64_t escala) const {
    const std::optional<std::int64_t> u = em_unidades(n, escala, 999'999'999'999'999);
    if (!u)
        return falha(n, fmt::format("{} deve ser um valor em reais, nao negativo, com ate {} casas",
                                    nome, escala == 100 ? 2 : 4));
    v = *u;
    return {};
}

Erro Leitor::regras(const toml::table& r) {
    if (Erro e = chaves(r, "em [regras]",
                        {"gratis", "minimo", "incremento", "bloco_parcial", "sucessivas"});
        !e.ok())
        return e;
    RegrasTarifa& g = t_.regras;
    std::int64_t v = 0;
    const std::pair<const char*, std::int32_t*> campos[] = {
        {"gratis", &g.gratis}, {"minimo", &g.minimo}, {"sucessivas", &g.sucessivas}};
    for (const auto& [nome, alvo] : campos)
        if (const toml::node* n = r.get(nome)) {
            if (Erro e = inteiro(*n, fmt::format("[regras] {}", nome), 86400, v); !e.ok()) return e;
            *alvo = static_cast<std::int32_t>(v);
        }
    if (const toml::node* n = r.get("incremento")) {
        if (Erro e = inteiro(*n, "[regras] incremento", 86400, v); !e.ok()) return e;
        if (v == 0) return falha(*n, "[regras] incremento deve ser ao menos 1");
        g.incremento = static_cast<std::int32_t>(v);
    }
    if (const toml::node* n = r.get("bloco_parcial")) {
        const auto s = n->value<std::string_view>();
        if (!s || (*s != "gratis" && *s != "cobrado"))
            return falha(*n, "[regras] bloco_parcial deve ser \"gratis\" ou \"cobrado\"");
        g.cobra_bloco_parcial = *s == "cobrado";
    }
    return {};
}

// "HH:MM-HH:MM" as its first and one past its last minute of the day.
std::optional<std::pair<int, int>> faixa(std::string_view s) {
    const auto hm = [&](std::size_t i) -> int {
        if (!e_digito(s[i]) || !e_digito(s[i + 1]) || s[i + 2] != ':' || !e_digito(s[i + 3]) ||
            !e_digito(s[i + 4]))
            return -1;
        const int h = (s[i] - '0') * 10 + (s[i + 1] - '0');
        const int m = (s[i + 3] - '0') * 10 + (s[i + 4] - '0');
        if (h > 24 || m > 59 || (h == 24 && m != 0)) return -1;
        return h * 60 + m;
    };
    if (s.size() != 11 || s[5] != '-') return std::nullopt;
    const int a = hm(0), b = hm(6);
    if (a < 0 || b < 0 || a >= b) return std::nullopt;
    return std::pair(a, b);
}

Erro Leitor::reduzido(const toml::table& r) {
    constexpr std::array<std::string_view, 4> dias{"segunda_a_sexta", "sabado", "domingo",
                                                   "feriado"};
    if (Erro e = chaves(r, "em [reduzido]", {dias[0], dias[1], dias[2], dias[3], "feriados"});
        !e.ok())
        return e;
    for (std::size_t d = 0; d < dias.size(); ++d) {
        const toml::node* n = r.get(dias[d]);
        if (n == nullptr) continue;
        const toml::array* a = n->as_array();
        if (a == nullptr)
            return falha(*n, fmt::format("[reduzido] {} deve ser uma lista", dias[d]));
        for (const toml::node& f : *a) {
            const auto s = f.value<std::string_view>();
            const auto mm = s ? faixa(*s) : std::nullopt;
            if (!mm)
                return falha(f, fmt::format("[reduzido] {}: faixa invalida (HH:MM-HH:MM, de "
                                            "00:00 a 24:00, o inicio antes do fim)",
                                            dias[d]));
            for (int m = mm->first; m < mm->second; ++m) {
                if (t_.reduzido[d][static_cast<std::size_t>(m)])
                    return falha(
                        f, fmt::format("[reduzido] {}: faixas sobrepostas em {}", dias[d], *s));
                t_.reduzido[d][static_cast<std::size_t>(m)] = true;
            }
        }
    }
    if (const toml::node* n = r.get("feriados")) {
        const toml::array* a = n->as_array();
        if (a == nullptr) return falha(*n, "[reduzido] feriados deve ser uma lista de datas");
        for (const toml::node& f : *a) {
            const auto s = f.value<std::string_view>();
            const auto* d = f.as_date();
            TData data{};
            if (d != nullptr) {
                data = {static_cast<std::int8_t>(d->get().day),
                        static_cast<std::int8_t>(d->get().month),
                        static_cast<std::int16_t>(d->get().year)};
            } else if (s && s->size() == 10 && (*s)[4] == '-' && (*s)[7] == '-' &&
                       so_digitos(s->substr(0, 4)) && so_digitos(s->substr(5, 2)) &&
                       so_digitos(s->substr(8, 2))) {
                data = {static_cast<std::int8_t>(std::stoi(std::string(s->substr(8, 2)))),
                        static_cast<std::int8_t>(std::stoi(std::string(s->substr(5, 2)))),
                        static_cast<std::int16_t>(std::stoi(std::string(s->substr(0, 4))))};
            }
            if (data.ano < 1 || data.mes < 1 || data.mes > 12 || data.dia < 1 ||
                data.dia > dias_no_mes(data.mes, data.ano))
                return falha(f, "[reduzido] feriados: data invalida (AAAA-MM-DD)");
            t_.feriados.push_back(data);
        }
    }
    return {};
}

Erro Leitor::destino(const toml::table& d) {
    if (Erro e = chaves(d, "em [[destino]]", {"nome", "tipo", "prefixos"}); !e.ok()) return e;
    const auto nome = d["nome"].value<std::string_view>();
    if (!nome || nome->empty()) return falha(d, "[[destino]] sem nome");
    if (indice(*nome)) return falha(d, fmt::format("destino repetido: {}", *nome));
    Tarifa::Destino novo{std::string(*nome), {}};
    const auto i = static_cast<std::uint16_t>(t_.destinos.size());
    if (const toml::node* n = d.get("tipo")) {
        const auto tipo = n->value<std::string_view>();
        const auto* it = tipo ? std::ranges::find(nomes_tipos, *tipo) : nomes_tipos.end();
        if (it == nomes_tipos.end())
            return falha(*n, fmt::format("tipo desconhecido: {} ({})", tipo.value_or("?"),
                                         fmt::join(nomes_tipos, ", ")));
        const auto k = static_cast<TipoDestino>(it - nomes_tipos.begin());
        for (const Tarifa::Destino& outro : t_.destinos)
            if (outro.tipo == k)
                return falha(*n, fmt::format("o tipo {} ja e do destino {}", *tipo, outro.nome));
        novo.tipo = k;
    }
    const toml::node* p = d.get("prefixos");
    if ((p == nullptr) == !novo.tipo)
        return falha(d, fmt::format("o destino {} tem tipo ou prefixos, um dos dois", *nome));
    if (p != nullptr) {
        const toml::array* a = p->as_array();
        if (a == nullptr || a->empty())
            return falha(*p, "prefixos deve ser uma lista de textos de digitos");
        for (const toml::node& x : *a) {
            const auto s = x.value<std::string_view>();
            if (!s || !so_digitos(*s) || s->size() > 24)
                return falha(x, "prefixo invalido: so digitos, o numero internacional (351)");
            if (!t_.acrescenta_prefixo(*s, i))
                return falha(x, fmt::format("prefixo {} em dois destinos", *s));
        }
    }
    por_nome_.emplace(novo.nome, t_.destinos.size());
    t_.acrescenta_destino(std::move(novo));
    return {};
}

Erro Leitor::plano(const toml::table& p) {
    if (Erro e =
            chaves(p, "em [[plano]]",
                   {"nome", "mensalidade", "franquia", "franquia_destinos", "precos", "reduzido"});
        !e.ok())
        return e;
    const auto nome = p["nome"].value<std::string_view>();
    if (!nome || nome->empty()) return falha(p, "[[plano]] sem nome");
    for (const Plano& outro : t_.planos)
        if (outro.nome == *nome) return falha(p, fmt::format("plano repetido: {}", *nome));
    const std::size_t n = t_.destinos.size();
    Plano novo{std::string(*nome), 0, 0, std::vector<bool>(n, true), {}, {}};
    novo.precos.resize(n);
    novo.reduzidos.resize(n);
    if (const toml::node* m = p.get("mensalidade"))
        if (Erro e = dinheiro(*m, "mensalidade", novo.mensalidade, 100); !e.ok()) return e;
    if (const toml::node* f = p.get("franquia")) {
        if (Erro e = inteiro(*f, "franquia", 1000000, novo.franquia); !e.ok()) return e;
        novo.franquia *= 60;
    }
    for (const auto& [chave, alvo] :
         {std::pair{"precos", &novo.precos}, std::pair{"reduzido", &novo.reduzidos}}) {
        const toml::node* t = p.get(chave);
        if (t == nullptr) continue;
        const toml::table* tab = t->as_table();
        if (tab == nullptr) return falha(*t, fmt::format("{} deve ser uma tabela", chave));
        for (const auto& [destino, valor] : *tab) {
            const auto i = indice(destino.str());
            if (!i)
                return falha(destino,
                             fmt::format("o plano {} da preco a um destino desconhecido: {}", *nome,
                                         destino.str()));
            Preco v = 0;
            if (Erro e = dinheiro(valor, fmt::format("o preco de {}", destino.str()), v, 10000);
                !e.ok())
                return e;
            (*alvo)[*i] = v;
        }
    }
    if (const toml::node* f = p.get("franquia_destinos")) {
        const toml::array* a = f->as_array();
        if (a == nullptr) return falha(*f, "franquia_destinos deve ser uma lista de destinos");
        std::fill(novo.na_franquia.begin(), novo.na_franquia.end(), false);
        for (const toml::node& x : *a) {
            const auto s = x.value<std::string_view>();
            const auto i = s ? indice(*s) : std::nullopt;
            if (!i)
                return falha(
                    x, fmt::format("franquia_destinos: destino desconhecido: {}", s.value_or("?")));
            novo.na_franquia[*i] = true;
        }
    } else {
        // Every destination the plan prices.
        for (std::size_t i = 0; i < n; ++i)
            novo.na_franquia[i] = novo.precos[i].has_value();
    }
    t_.planos.push_back(std::move(novo));
    return {};
}

Erro Leitor::le(const toml::table& raiz) {
    if (Erro e = chaves(raiz, "no arquivo", {"ddd", "regras", "reduzido", "destino", "plano"});
        !e.ok())
        return e;
    const toml::node* ddd = raiz.get("ddd");
    std::int64_t v = 0;
    if (ddd == nullptr) return Erro::dados(arquivo_, 1, "falta ddd, o codigo de area da operadora");
    if (Erro e = inteiro(*ddd, "ddd", 99, v); !e.ok() || v < 11)
        return falha(*ddd, "ddd deve ser um codigo de area de 11 a 99");
    t_.ddd = static_cast<int>(v);
    const std::pair<const char*, Erro (Leitor::*)(const toml::table&)> tabelas[] = {
        {"regras", &Leitor::regras}, {"reduzido", &Leitor::reduzido}};
    for (const auto& [nome, le_tabela] : tabelas)
        if (const toml::node* n = raiz.get(nome)) {
            if (!n->is_table())
                return falha(*n, fmt::format("{} deve ser a tabela [{}]", nome, nome));
            if (Erro e = (this->*le_tabela)(*n->as_table()); !e.ok()) return e;
        }
    const std::pair<const char*, Erro (Leitor::*)(const toml::table&)> listas[] = {
        {"destino", &Leitor::destino}, {"plano", &Leitor::plano}};
    for (const auto& [nome, le_tabela] : listas) {
        const toml::node* n = raiz.get(nome);
        const toml::array* a = n != nullptr ? n->as_array() : nullptr;
        if (n != nullptr && (a == nullptr || !a->is_array_of_tables()))
            return falha(*n, fmt::format("{} deve ser uma lista de tabelas [[{}]]", nome, nome));
        if (a == nullptr || a->empty())
            return Erro::dados(arquivo_, 1, fmt::format("falta ao menos um [[{}]]", nome));
        for (const toml::node& t : *a)
            if (Erro e = (this->*le_tabela)(*t.as_table()); !e.ok()) return e;
    }
    return {};
}

}  // namespace

Erro le_tarifas_de(std::string_view texto, const std::string& arquivo, Tarifa& t) {
    toml::table raiz;
    if (Erro e = analisa_toml(texto, arquivo, raiz); !e.ok()) return e;
    t = Tarifa{};
    if (Erro e = Leitor(arquivo, t).le(raiz); !e.ok()) return e;
    t.prepara();
    return {};
}

Erro le_tarifas(const std::string& arquivo, Tarifa& t) {
    std::string bytes;
    if (Erro e = le_arquivo_inteiro(arquivo.c_str(), bytes, maximo_arquivo); !e.ok()) return e;
    return le_tarifas_de(bytes, arquivo, t);
}
