#include "regra_cliente.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "caracteres.h"
#include "codigo850.h"
#include "documento.h"

namespace {

using Texto = char[sizeof(TCliente::nome)];

// A stored text obeys the rules when, read as UTF-8, it would be stored again as it is.
Erro texto_guardado(std::string_view campo, const Texto& guardado) {
    const std::string_view bytes(guardado, ::strnlen(guardado, sizeof guardado));
    std::string utf8;
    if (Erro e = em_utf8(bytes, utf8); !e.ok()) return e;
    Texto de_novo{};
    if (Erro e = texto_850(utf8, de_novo, campo); !e.ok()) return e;
    if (bytes != de_novo)
        return Erro::dados(std::string(campo) + " com caractere fora do codigo 850");
    return {};
}

// A book's text: UTF-8 without control characters, up to `maximo` characters; empty only when
// it is not `obrigatorio`.
Erro texto_do_livro(std::string_view campo, std::string_view t, std::size_t maximo,
                    bool obrigatorio) {
    const std::string c(campo);
    if (t.empty()) return obrigatorio ? Erro::dados(c + " vazio") : Erro{};
    if (!e_utf8(t)) return Erro::dados(c + " nao e UTF-8 valido");
    // C0, DEL and C1 (U+0080 to U+009F, "\xC2\x80" to "\xC2\x9F" in UTF-8): a terminal
    // would take some of them for commands.
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto b = static_cast<unsigned char>(t[i]);
        const bool c1 =
            b == 0xC2 && i + 1 < t.size() && static_cast<unsigned char>(t[i + 1]) < 0xA0;
        if (b < 0x20 || b == 0x7F || c1) return Erro::dados(c + " com caractere de controle");
    }
    if (const std::size_t n = caracteres_utf8(t); n > maximo)
        return Erro::dados(c + " com mais de " + std::to_string(maximo) + " caracteres");
    return {};
}

constexpr std::array<std::string_view, 27> ufs{
    "AC", "AL", "AM", "AP", "BA", "CE", "DF", "ES", "GO", "MA", "MG", "MS", "MT", "PA",
    "PB", "PE", "PI", "PR", "RJ", "RN", "RO", "RR", "RS", "SC", "SE", "SP", "TO"};

Erro campos_do_livro(Cliente& c) {
    if (Erro e = texto_do_livro("nome", c.nome, 100, true); !e.ok()) return e;
    if (Erro e = texto_do_livro("endereco", c.endereco, 200, false); !e.ok()) return e;
    if (Erro e = texto_do_livro("cidade", c.cidade, 100, false); !e.ok()) return e;
    if (!c.documento.empty()) {
        const std::optional<std::string> d = documento_lido(c.documento);
        if (!d)
            return Erro::dados("documento invalido (CPF ou CNPJ com os digitos verificadores): " +
                               c.documento);
        c.documento = *d;
    }
    if (!c.email.empty() && !e_email(c.email)) return Erro::dados("email invalido: " + c.email);
    if (!c.cep.empty()) {
        std::string digitos = c.cep;
        std::erase_if(digitos, [](char x) { return x == '-' || x == '.'; });
        if (digitos.size() != 8 ||
            !std::ranges::all_of(digitos, [](char x) { return x >= '0' && x <= '9'; }))
            return Erro::dados("cep invalido (8 digitos): " + c.cep);
        c.cep = digitos;
    }
    if (!c.uf.empty()) {
        std::string uf = c.uf;
        for (char& x : uf)
            if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (std::ranges::find(ufs, uf) == ufs.end()) return Erro::dados("uf invalida: " + c.uf);
        c.uf = uf;
    }
    return {};
}

Erro campos_do_cadastro(const Cliente& c) {
    Texto t{};
    if (Erro e = texto_850(c.nome, t, "nome"); !e.ok()) return e;
    if (Erro e = texto_850(c.endereco, t, "endereco"); !e.ok()) return e;
    for (const std::string* s : {&c.documento, &c.email, &c.cep, &c.cidade, &c.uf})
        if (!s->empty()) return Erro::dados("o cadastro guarda so codigo, nome e endereco");
    return {};
}

constexpr const char* codigo_invalido = "codigo invalido (um numero de 1 a 4294967295)";

}  // namespace

Erro valida_cliente(Cliente& c, Guarda g) {
    return g == Guarda::livro ? campos_do_livro(c) : campos_do_cadastro(c);
}

Erro insere_validado(Clientes& lc, Guarda g, std::optional<std::uint32_t> cod, Cliente c) {
    if (!cod || *cod == 0) return Erro::dados(codigo_invalido);
    if (lc.posicao(*cod)) return Erro::dados("codigo repetido");
    c.codigo = *cod;
    if (Erro e = valida_cliente(c, g); !e.ok()) return e;
    if (g == Guarda::cadastro && lc.size() >= capacidade_lis_cli)
        return Erro::dados("clientes demais (o maximo e 20)");
    lc.insere(std::move(c));
    return {};
}

Erro insere_validado(TLisCli* lc, std::optional<std::uint32_t> cod, std::string_view nome,
                     std::string_view endereco) {
    if (!cod || *cod == 0) return Erro::dados(codigo_invalido);
    if (posicao_do_codigo(lc, *cod) >= 0) return Erro::dados("codigo repetido");
    TCliente cl{};
    cl.cod_cli = *cod;
    if (Erro e = texto_850(nome, cl.nome, "nome"); !e.ok()) return e;
    if (Erro e = texto_850(endereco, cl.endereco, "endereco"); !e.ok()) return e;
    if (lc->ncl >= capacidade_lis_cli) return Erro::dados("clientes demais (o maximo e 20)");
    insere_cliente(lc, cl);
    return {};
}

Erro altera_validado(TLisCli* lc, std::uint32_t i, std::optional<std::string_view> nome,
                     std::optional<std::string_view> endereco) {
    TCliente cl = lc->clientes[i];
    if (nome)
        if (Erro e = texto_850(*nome, cl.nome, "nome"); !e.ok()) return e;
    if (endereco)
        if (Erro e = texto_850(*endereco, cl.endereco, "endereco"); !e.ok()) return e;
    lc->clientes[i] = cl;
    return {};
}

Erro confere_cliente(const TLisCli* lc, std::uint32_t i) {
    const TCliente& cl = lc->clientes[i];
    if (cl.cod_cli == 0) return Erro::dados(codigo_invalido);
    if (posicao_do_codigo(lc, cl.cod_cli) != static_cast<int>(i))
        return Erro::dados("codigo repetido");
    if (Erro e = texto_guardado("nome", cl.nome); !e.ok()) return e;
    return texto_guardado("endereco", cl.endereco);
}
