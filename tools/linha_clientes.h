#pragma once
// contacel-clientes's command line: its usage and its options.

#include <array>
#include <cstddef>
#include <string_view>

#include "opcoes.h"

namespace opcoes_clientes {

constexpr std::string_view uso =
    "uso: contacel-clientes importar CSV [ARQUIVO] [--forcar] [--codificacao NOME]\n"
    "     contacel-clientes exportar [ARQUIVO] [CSV] [--forcar] [--planilha] [--arq CADASTRO]\n"
    "     contacel-clientes incluir CODIGO NOME ENDERECO [ARQUIVO] [--forcar] [CAMPOS]\n"
    "     contacel-clientes alterar CODIGO [--nome NOME] [--endereco ENDERECO] [CAMPOS] [ARQUIVO] "
    "[--forcar]\n"
    "     contacel-clientes excluir CODIGO [ARQUIVO] [--forcar]\n"
    "     contacel-clientes verificar [ARQUIVO]\n"
    "     contacel-clientes listar [ARQUIVO] [--utf8]\n"
    "     contacel-clientes gerar N [ARQUIVO] [--semente S] [--forcar]\n"
    "     contacel-clientes linhas importar CSV [LIVRO] [--forcar]\n"
    "     contacel-clientes linhas exportar [LIVRO] [CSV] [--forcar] [--planilha]\n"
    "     contacel-clientes linhas listar [LIVRO]\n"
    "     contacel-clientes copiar LIVRO COPIA\n"
    "     contacel-clientes --ajuda | --versao\n"
    "\n"
    "ARQUIVO e o cadastro (clientes.arq se omitido) ou um livro: um banco SQLite, ou um nome\n"
    "terminado em .db para um novo. LIVRO e um livro (clientes.db se omitido). CSV e NOME,\n"
    "ENDERECO estao em UTF-8. CAMPOS, so de um livro: --documento CPF/CNPJ, --email, --cep,\n"
    "--cidade, --uf.\n"
    "importar   grava o cadastro a partir de um CSV com o cabecalho codigo,nome,endereco ou\n"
    "           codigo;nome;endereco (num livro, mais documento,email,cep,cidade,uf se quiser);\n"
    "           --codificacao windows-1252 (cp1252) ou iso-8859-1 (latin1) le um CSV que nao\n"
    "           esta em UTF-8.\n"
    "exportar   escreve o cadastro como CSV (na saida padrao se CSV for omitido ou -),\n"
    "           avisando de cada cliente que importar recusaria; --planilha o escreve para uma\n"
    "           planilha em portugues (ponto e virgula, BOM e CRLF); --arq grava de um livro o\n"
    "           cadastro de uma execucao.\n"
    "incluir    acrescenta um cliente (cria o cadastro se ele nao existir).\n"
    "alterar    muda o nome e/ou o endereco de um cliente.\n"
    "excluir    retira um cliente; os outros mantem a ordem. Num livro, nao um com faturas.\n"
    "verificar  diz para que serve o cadastro: uma execucao de contacel, ou cobrar registros.\n"
    "listar     mostra o cadastro (codigo 850; em UTF-8 com --utf8).\n"
    "gerar      grava N clientes aleatorios (1 a 20, codigos 1 a N); --semente S repete.\n"
    "linhas     leva as linhas (CSV numero,cliente) para o livro, e de volta, ou as mostra.\n"
    "copiar     copia o livro, coerente mesmo com outros gravando nele.\n"
    "importar, exportar e gerar nao substituem um arquivo existente sem --forcar; incluir,\n"
    "alterar e excluir so mudam com --forcar um cadastro com outros nomes (links fisicos),\n"
    "que ficam com o conteudo antigo.\n"
    "Saida: 0 feito, 1 erro nos dados ou nos arquivos, 2 erro de uso.\n";

enum : std::size_t {
    ajuda,
    versao,
    forcar,
    codificacao,
    planilha,
    nome,  // nome to uf: the customer's fields, in CamposCliente's order
    endereco,
    documento,
    email,
    cep,
    cidade,
    uf,
    utf8,
    semente,
    arq,
};
constexpr std::array<Opcao, 15> opcoes{{{"ajuda", "help", 'h'},
                                        {"versao", "version", 'V'},
                                        {"forcar"},
                                        {"codificacao", nullptr, 0, true},
                                        {"planilha"},
                                        {"nome", nullptr, 0, true},
                                        {"endereco", nullptr, 0, true},
                                        {"documento", nullptr, 0, true},
                                        {"email", nullptr, 0, true},
                                        {"cep", nullptr, 0, true},
                                        {"cidade", nullptr, 0, true},
                                        {"uf", nullptr, 0, true},
                                        {"utf8"},
                                        {"semente", nullptr, 0, true},
                                        {"arq", nullptr, 0, true}}};

}  // namespace opcoes_clientes
