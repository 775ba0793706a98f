#include "clientes.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "codigo850.h"

namespace {

// Whether bit `cod` of `bits` is set.
bool marcado(const std::vector<std::uint64_t>& bits, std::uint32_t cod) {
    return cod / 64 < bits.size() && ((bits[cod / 64] >> (cod % 64)) & 1U) != 0;
}

}  // namespace

void Clientes::insere(Cliente c) {
    lista_.push_back(std::move(c));
    indexa(lista_.size() - 1);
}

void Clientes::remove(std::size_t i) {
    lista_.erase(lista_.begin() + static_cast<std::ptrdiff_t>(i));
    indice_.clear();
    listados_por_bit_.clear();
    for (std::size_t k = 0; k < lista_.size(); ++k)
        indexa(k);
}

void Clientes::indexa(std::size_t i) {
    const std::uint32_t cod = lista_[i].codigo;
    indice_.try_emplace(cod, i);
    if (cod >= listados_ate) return;
    if (cod / 64 >= listados_por_bit_.size()) listados_por_bit_.resize(cod / 64 + 1);
    listados_por_bit_[cod / 64] |= std::uint64_t{1} << (cod % 64);
}

std::optional<std::size_t> Clientes::posicao(std::uint32_t cod) const {
    const auto it = indice_.find(cod);
    if (it == indice_.end()) return std::nullopt;
    return it->second;
}

const Cliente* Clientes::busca(std::uint32_t cod) const {
    const auto i = posicao(cod);
    return i ? &lista_[*i] : nullptr;
}

void Clientes::conhece(std::vector<std::uint32_t> codigos) {
    // Codes given mostly in turn take fewer bytes as bits, each found in one step.
    por_bit_.clear();
    if (!codigos.empty() && codigos.back() / 64 < codigos.size()) {
        por_bit_.assign(codigos.back() / 64 + 1, 0);
        for (const std::uint32_t c : codigos)
            por_bit_[c / 64] |= std::uint64_t{1} << (c % 64);
        codigos = {};
    }
    so_codigos_ = std::move(codigos);
}

bool Clientes::tem(std::uint32_t cod) const {
    if (marcado(listados_por_bit_, cod) || marcado(por_bit_, cod)) return true;
    return (cod >= listados_ate && indice_.contains(cod)) ||
           std::ranges::binary_search(so_codigos_, cod);
}

void Clientes::reserve(std::size_t n) {
    lista_.reserve(n);
    indice_.reserve(n);
}

const Cliente& cliente_da_conta(const Clientes* clientes, std::uint32_t cod) {
    static const Cliente sem_cliente{};
    const Cliente* c = clientes != nullptr ? clientes->busca(cod) : nullptr;
    return c != nullptr ? *c : sem_cliente;
}

namespace {

std::string_view texto_de(const char (&campo)[sizeof(TCliente::nome)]) {
    return {campo, ::strnlen(campo, sizeof campo)};
}

}  // namespace

Erro clientes_do_cadastro(const TLisCli& lc, Clientes& clientes) {
    clientes = {};
    const std::uint32_t n = std::min(lc.ncl, capacidade_lis_cli);
    clientes.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        Cliente c;
        c.codigo = lc.clientes[i].cod_cli;
        if (Erro e = em_utf8(texto_de(lc.clientes[i].nome), c.nome); !e.ok()) return e;
        if (Erro e = em_utf8(texto_de(lc.clientes[i].endereco), c.endereco); !e.ok()) return e;
        clientes.insere(std::move(c));
    }
    return {};
}

Clientes clientes_do_cadastro(const TLisCli& lc) {
    Clientes clientes;
    const std::uint32_t n = std::min(lc.ncl, capacidade_lis_cli);
    clientes.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i)
        clientes.insere({.codigo = lc.clientes[i].cod_cli,
                         .nome = texto_utf8(texto_de(lc.clientes[i].nome)),
                         .endereco = texto_utf8(texto_de(lc.clientes[i].endereco))});
    return clientes;
}

Erro cadastro_dos_clientes(const Clientes& clientes, TLisCli& lc) {
    lc.ncl = 0;
    if (clientes.size() > capacidade_lis_cli)
        return Erro::dados("clientes demais para o cadastro (" + std::to_string(clientes.size()) +
                           "; o maximo e 20)");
    for (const Cliente& c : clientes) {
        TCliente cl{};
        cl.cod_cli = c.codigo;
        for (auto [texto, campo, destino] :
             {std::tuple{&c.nome, "nome", cl.nome}, {&c.endereco, "endereco", cl.endereco}})
            if (Erro e = texto_850(*texto, std::span(destino, sizeof cl.nome), campo); !e.ok()) {
                lc.ncl = 0;
                e.detalhe = "cliente " + std::to_string(c.codigo) + ": " + e.detalhe;
                return e;
            }
        insere_cliente(&lc, cl);
    }
    return {};
}
