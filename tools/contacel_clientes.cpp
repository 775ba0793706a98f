// contacel-clientes: keeps the customer register of contacel, or the operator's book. The command
// line is read here; what each command does is the cadastro and livro modules'.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cadastro.h"
#include "gravacao.h"
#include "linha_clientes.h"
#include "livro.h"
#include "opcoes.h"

namespace {

using namespace opcoes_clientes;

constexpr const char* programa = "contacel-clientes";

int erro_de_uso(std::string_view motivo) {
    return ::erro_de_uso(programa, motivo);
}

// One line on standard error, "contacel-clientes: ARQUIVO[:LINHA]: what"; the exit status.
int resultado(const Erro& e) {
    return relata_erro(programa, e);
}

// Says `avisos`, then `saida` when `e` is ok; the exit status.
int relata(const Erro& e, const std::vector<Erro>& avisos, std::string_view saida) {
    for (const Erro& a : avisos)
        relata_erro(programa, a);
    if (e.ok()) std::fwrite(saida.data(), 1, saida.size(), stdout);
    return resultado(e);
}

// A command's operands after its name, and the options of the line.
struct Pedido {
    std::span<const std::string_view> operandos;
    const LinhaDeComando& linha;
    std::optional<std::string_view> opcao(std::size_t i) const { return linha.valores[i]; }
    bool tem(std::size_t i) const { return linha.tem(i); }
    // Operand `i`, or `padrao`.
    std::string arquivo(std::size_t i, const char* padrao = arquivo_clientes) const {
        return i < operandos.size() ? std::string(operandos[i]) : padrao;
    }
};

// The code operand: from 1 for a new customer, from 0 for one a register may hold.
std::optional<std::uint32_t> codigo(const Pedido& p, bool zero) {
    if (const auto cod = numero<std::uint32_t>(p.operandos[0]); cod && (zero || *cod != 0))
        return cod;
    erro_de_uso(zero ? "CODIGO deve ser um numero de 0 a 4294967295"
                     : "CODIGO deve ser um numero de 1 a 4294967295");
    return std::nullopt;
}

int importar(const Pedido& p) {
    Codificacao cod = Codificacao::utf8;
    if (const auto nome_cod = p.opcao(codificacao)) {
        const auto c = codificacao_por_nome(*nome_cod);
        if (!c)
            return erro_de_uso("codificacao desconhecida: " + std::string(*nome_cod) +
                               " (utf-8, windows-1252 ou cp1252, iso-8859-1 ou latin1)");
        cod = *c;
    }
    const std::string csv(p.operandos[0]);
    const std::string destino = p.arquivo(1);
    std::size_t n = 0;
    if (const Erro e = importa_clientes(destino, csv, p.tem(forcar), cod, n); !e.ok())
        return resultado(e);
    std::printf("%zu clientes importados de %s para %s\n", n, csv.c_str(), destino.c_str());
    return EXIT_SUCCESS;
}

DialetoCsv dialeto(const Pedido& p) {
    return p.tem(planilha) ? csv_planilha : csv_padrao;
}

int exportar(const Pedido& p) {
    if (const auto a = p.opcao(arq)) {
        if (p.operandos.size() > 1) return erro_de_uso("--arq e o CSV nao vao juntos");
        return resultado(exporta_cadastro(p.arquivo(0), std::string(*a), p.tem(forcar)));
    }
    std::vector<Erro> avisos;
    const Erro e =
        exporta_clientes(p.arquivo(0), p.arquivo(1, "-"), p.tem(forcar), dialeto(p), avisos);
    return relata(e, avisos, "");
}

CamposCliente campos(const Pedido& p) {
    CamposCliente c;
    for (std::size_t i = 0; i < c.size(); ++i)
        c[i] = p.opcao(nome + i);
    return c;
}

int incluir(const Pedido& p) {
    const auto cod = codigo(p, false);
    if (!cod) return saida_uso;
    CamposCliente c = campos(p);
    c[0] = p.operandos[1];
    c[1] = p.operandos[2];
    return resultado(inclui(p.arquivo(3), *cod, c, p.tem(forcar)));
}

int alterar(const Pedido& p) {
    const CamposCliente c = campos(p);
    if (std::ranges::none_of(c, [](const auto& v) { return v.has_value(); }))
        return erro_de_uso("falta --nome ou --endereco");
    const auto cod = codigo(p, true);
    if (!cod) return saida_uso;
    return resultado(altera(p.arquivo(1), *cod, c, p.tem(forcar)));
}

int excluir(const Pedido& p) {
    const auto cod = codigo(p, true);
    if (!cod) return saida_uso;
    return resultado(exclui(p.arquivo(1), *cod, p.tem(forcar)));
}

int verificar(const Pedido& p) {
    std::string saida;
    std::vector<Erro> avisos;
    const Erro e = verifica(p.arquivo(0), saida, avisos);
    return relata(e, avisos, saida);
}

int listar(const Pedido& p) {
    std::string saida;
    const Erro e = lista(p.arquivo(0), p.tem(utf8), saida);
    return relata(e, {}, saida);
}

// The lines of a book (clientes.db if not named).
int importar_linhas(const Pedido& p) {
    std::size_t n = 0;
    const std::string livro = p.arquivo(1, "clientes.db");
    const Erro e = importa_linhas(livro, std::string(p.operandos[0]), p.tem(forcar), n);
    return relata(e, {}, std::to_string(n) + " linhas importadas para " + livro + "\n");
}

int exportar_linhas(const Pedido& p) {
    return resultado(
        exporta_linhas(p.arquivo(0, "clientes.db"), p.arquivo(1, "-"), p.tem(forcar), dialeto(p)));
}

int listar_linhas(const Pedido& p) {
    std::string saida;
    const Erro e = lista_linhas(p.arquivo(0, "clientes.db"), saida);
    return relata(e, {}, saida);
}

int copiar(const Pedido& p) {
    return resultado(copia_livro(p.arquivo(0), p.arquivo(1)));
}

int gerar(const Pedido& p) {
    const auto quantos = numero<int>(p.operandos[0]);
    if (!quantos || *quantos < 1 || *quantos > static_cast<int>(capacidade_lis_cli))
        return erro_de_uso("N deve ser um numero de 1 a 20");
    std::optional<unsigned> s;
    if (const auto v = p.opcao(semente)) {
        s = numero<unsigned>(*v);
        if (!s) return erro_de_uso("semente invalida");
    }
    const std::string destino = p.arquivo(1);
    const Erro e = gera_cadastro(destino, *quantos, s.value_or(std::time(nullptr)), p.tem(forcar));
    return relata(e, {}, std::to_string(*quantos) + " clientes gravados em " + destino + "\n");
}

// A command: the options it takes beside --ajuda and --versao, and its operands.
struct Comando {
    std::string_view nome;
    int (*executa)(const Pedido&);
    std::initializer_list<std::size_t> aceita;
    std::initializer_list<std::size_t> arquivos;  // the operands that name files
    std::size_t cadastro;  // the operand that names the register; exportar checks its own output
    std::size_t minimo;    // operands, and what is said when fewer are given
    std::size_t maximo;
    const char* falta = nullptr;
};

constexpr std::size_t confere_sozinho = 99;
const std::initializer_list<std::size_t> com_campos{documento, email, cep, cidade, uf, forcar};
const std::initializer_list<std::size_t> todos_campos{nome, endereco, documento, email,
                                                      cep,  cidade,   uf,        forcar};
const std::array<Comando, 12> comandos{{
    {"importar", importar, {forcar, codificacao}, {0, 1}, 1, 1, 2, "falta o CSV"},
    {"exportar", exportar, {forcar, planilha, arq}, {0, 1}, confere_sozinho, 0, 2},
    {"incluir", incluir, com_campos, {3}, 3, 3, 4, "faltam CODIGO, NOME ou ENDERECO"},
    {"alterar", alterar, todos_campos, {1}, 1, 1, 2, "falta o CODIGO"},
    {"excluir", excluir, {forcar}, {1}, 1, 1, 2, "falta o CODIGO"},
    {"verificar", verificar, {}, {0}, 0, 0, 1},
    {"listar", listar, {utf8}, {0}, 0, 0, 1},
    {"gerar", gerar, {semente, forcar}, {1}, 1, 1, 2, "falta N, o numero de clientes"},
    {"linhas importar", importar_linhas, {forcar}, {0, 1}, 1, 1, 2, "falta o CSV"},
    {"linhas exportar", exportar_linhas, {forcar, planilha}, {0, 1}, confere_sozinho, 0, 2},
    {"linhas listar", listar_linhas, {}, {0}, 0, 0, 1},
    {"copiar", copiar, {}, {0, 1}, 0, 2, 2, "faltam LIVRO e COPIA"},
}};

int executa(const LinhaDeComando& lc) {
    if (!lc.erro.ok()) return erro_de_uso(lc.erro.detalhe);
    const auto e_comando = [](std::string_view p) {
        return p == "linhas" || std::ranges::find(comandos, p, &Comando::nome) != comandos.end();
    };
    if (const auto status = ajuda_ou_versao({programa, uso, e_comando}, lc)) return *status;
    if (lc.operandos.empty()) return erro_de_uso("falta o comando");
    // "linhas" and the word after it name one command.
    const bool duas = lc.operandos[0] == "linhas" && lc.operandos.size() > 1;
    const std::string nome_c =
        std::string(lc.operandos[0]) + (duas ? " " + std::string(lc.operandos[1]) : "");
    const auto c = std::ranges::find(comandos, nome_c, &Comando::nome);
    if (c == comandos.end()) return erro_de_uso("comando desconhecido: " + nome_c);
    for (std::size_t i = forcar; i < opcoes.size(); ++i)
        if (lc.tem(i) && std::ranges::find(c->aceita, i) == c->aceita.end())
            return erro_de_uso("--" + std::string(opcoes[i].nome) + " nao e opcao de " +
                               std::string(c->nome));
    const Pedido p{std::span(lc.operandos).subspan(duas ? 2 : 1), lc};
    if (p.operandos.size() < c->minimo) return erro_de_uso(c->falta);
    if (p.operandos.size() > c->maximo) return erro_de_uso("argumentos demais");
    for (const std::size_t i : c->arquivos)
        if (i < p.operandos.size() && p.operandos[i].empty())
            return erro_de_uso("nome de arquivo vazio");
    // Nothing goes to standard output when it is the register itself.
    if (c->cadastro != confere_sozinho)
        if (const Erro e = saida_nao_e_o_cadastro(STDOUT_FILENO, p.arquivo(c->cadastro)); !e.ok())
            return resultado(e);
    return c->executa(p);
}

}  // namespace

int main(int argc, char** argv) {
    prepara_programa();
    return termina_saida(programa, executa(le_linha_de_comando(argc, argv, opcoes)));
}
