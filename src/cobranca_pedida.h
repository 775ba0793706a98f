#pragma once
// A billing of records files as a command asks for it: the price list, the customers and
// lines of a register and lines file or of a book, the reading, and, with a book, the bills
// made ready to list, to issue or to print again.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cobranca_registros.h"
#include "livro.h"
#include "tarifas.h"

struct PedidoRegistros {
    std::vector<std::string> registros;  // the records files, in order
    std::string clientes;                // a register or a book
    std::string linhas;                  // the lines file (not with a book); empty: none
    std::string tarifas;                 // the price list; empty: the run's tariff
    std::optional<MesAno> mes;
    unsigned tarefas = 1;
    bool guarda_chamadas = false;  // the calls themselves: their CSV, or documents
    bool nomes = true;             // the customers' names are printed, so must convert
    bool aceita_rejeitados = false;
    DialetoCsv dialeto = csv_padrao;
    UsoDasContas uso = UsoDasContas::lista;  // with a book: what its bills are for
};

// What the billing reads before the records, and keeps while the bills are printed. A book
// opened for issuing stays locked until the bills are recorded or it is closed.
struct FontesCobranca {
    Tarifa tarifa;
    std::shared_ptr<Clientes> clientes = std::make_shared<Clientes>();
    TabelaLinhas linhas_do_livro;
    std::unique_ptr<Livro> livro;
    std::unique_ptr<FaturadasDoLivro> faturadas;  // none when the book has issued no bill
};

// Reads the price list and the customers (and a book's lines), refusing bad ones before any
// record is read.
Erro abre_fontes(const PedidoRegistros& p, FontesCobranca& f);

// Bills the records with what abre_fontes read and, with a book, readies the bills for p.uso.
Cobradas cobra_pedido(const PedidoRegistros& p, FontesCobranca& f);
