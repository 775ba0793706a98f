#pragma once
// contacel-exportar's command line: its options, its usage, and which options go together.

#include <array>
#include <cstddef>
#include <string_view>

#include "erro.h"
#include "opcoes.h"

namespace exportar {

enum : std::size_t {
    ajuda,
    versao,
    semente,
    instante_op,
    clientes_op,
    planilha,
    pasta,
    forcar,
    pix_chave,
    pix_nome,
    pix_cidade,
    chamadas_op,
    linhas_op,
    mes_op,
    rejeitadas_op,
    emissor_op,
    tarifas_op,
    tarefas_op,
    segunda_via,
};
inline constexpr std::array<Opcao, 19> opcoes{{{"ajuda", "help", 'h'},
                                               {"versao", "version", 'V'},
                                               {"semente", nullptr, 0, true},
                                               {"instante", nullptr, 0, true},
                                               {"clientes", nullptr, 0, true},
                                               {"planilha"},
                                               {"pasta", nullptr, 0, true},
                                               {"forcar"},
                                               {"pix-chave", nullptr, 0, true},
                                               {"pix-nome", nullptr, 0, true},
                                               {"pix-cidade", nullptr, 0, true},
                                               {"chamadas", nullptr, 0, true, true},
                                               {"linhas", nullptr, 0, true},
                                               {"mes", nullptr, 0, true},
                                               {"rejeitadas", nullptr, 0, true},
                                               {"emissor", nullptr, 0, true},
                                               {"tarifas", nullptr, 0, true},
                                               {"tarefas", nullptr, 0, true},
                                               {"segunda-via"}}};

inline constexpr std::string_view uso =
    "uso: contacel-exportar chamadas [INSTANTE | REGISTROS] [--clientes ARQUIVO] [--planilha]\n"
    "     contacel-exportar contas   [INSTANTE | REGISTROS] [--clientes ARQUIVO] [--planilha]\n"
    "     contacel-exportar faturas  [INSTANTE | REGISTROS] [--clientes ARQUIVO]\n"
    "                                [--pasta PASTA] [--forcar] [--emissor EMISSOR.toml]\n"
    "                                [--pix-chave CHAVE --pix-nome NOME --pix-cidade CIDADE]\n"
    "                                [--segunda-via]\n"
    "     contacel-exportar --ajuda | --versao\n"
    "\n"
    "Escreve as chamadas ou as contas em CSV (UTF-8), ou as faturas em PDF, na saida padrao:\n"
    "as de uma execucao de contacel (INSTANTE) ou as de registros de chamadas (REGISTROS).\n"
    "INSTANTE e --semente S, a hora Unix S, ou --instante \"AAAA-MM-DD hh:mm:ss[OFFSET]\", a data\n"
    "e hora locais (de TZ) ou, com OFFSET (Z, +hh:mm, -hh:mm, +hhmm, -hhmm), as desse fuso.\n"
    "Sem INSTANTE nem REGISTROS, o segundo atual. ARQUIVO e o cadastro (clientes.arq se omitido).\n"
    "REGISTROS e --chamadas ARQUIVO, repetivel: registros CDR de uma central (CSV, .gz) ou o\n"
    "CSV de chamadas deste programa; --linhas ARQUIVO diz de que cliente e cada linha (CSV\n"
    "numero,cliente); --mes AAAA-MM cobra so esse mes; --rejeitadas ARQUIVO grava as linhas\n"
    "ilegiveis e as sem cliente nesse CSV e cobra o resto; --tarifas TARIFAS.toml cobra pela\n"
    "tabela de precos da operadora (destinos, horario reduzido, planos por linha na terceira\n"
    "coluna, plano, do CSV de --linhas, franquias e mensalidades); --tarefas N le um arquivo\n"
    "grande sem compressao em N partes ao mesmo tempo (padrao: os nucleos do computador), com\n"
    "a mesma saida.\n"
    "--planilha   CSV de planilha em portugues: ponto e virgula, virgula decimal, BOM e CRLF.\n"
    "--pasta      uma fatura por arquivo, CODIGO-AAAA-MM.pdf.\n"
    "--forcar     substitui os arquivos de --pasta ou --rejeitadas que ja existam.\n"
    "--emissor    a empresa que emite as faturas (nome, CNPJ, endereco, telefone e, se quiser,\n"
    "             o recebedor Pix), num arquivo TOML; as opcoes --pix-* valem mais que ele.\n"
    "--pix-*      um QR Code Pix estatico com o valor a pagar em cada fatura. NOME ate 25\n"
    "             caracteres e CIDADE ate 15, acentos escritos sem eles (Sao Paulo).\n"
    "Com um livro (--clientes LIVRO.db), faturas vai para --pasta e registra no livro cada\n"
    "fatura emitida, com seu numero (AAAA-NNNNNN) e suas chamadas, que nao se cobram de novo.\n"
    "--segunda-via  imprime de novo as faturas ja emitidas, com os mesmos numeros e valores.\n"
    "Saida: 0 feito, 1 erro nos dados ou nos arquivos, 2 erro de uso.\n";

inline constexpr std::string_view pix_juntas =
    "--pix-chave, --pix-nome e --pix-cidade vao juntas, ou com o [pix] de --emissor";

// The value of --tarefas: from 1 to maximo_tarefas threads.
inline constexpr unsigned maximo_tarefas = 256;

// Whether the options given go together for exporting `oque` ("chamadas", "contas" or
// "faturas"): ok, or an Erro of kind uso saying what is wrong.
Erro confere_opcoes(const LinhaDeComando& lc, std::string_view oque);

}  // namespace exportar
