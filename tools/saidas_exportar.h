#pragma once
// Where contacel-exportar writes, and what it never writes over: standard output, the rejected
// rows' file and the folder of bills are each checked against every file the command reads,
// through symbolic and hard links alike, before anything is read or written.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cobranca.h"
#include "erro.h"
#include "faturas.h"
#include "gravacao.h"
#include "linha_exportar.h"

namespace exportar {

// Every file the command reads, as the options name them, the register `clientes` first. A file
// a command comes to read is added here, and so is kept from every output.
std::vector<std::string> arquivos_lidos(const LinhaDeComando& lc, const std::string& clientes);

// Refuses standard output when it is one of `lidos` (a regular file: ">> emissor.toml").
Erro confere_saida_padrao(std::span<const std::string> lidos);

// The rejected rows' file of --rejeitadas: refused when it is standard output (a name for it, or
// the file the bills go to, `saida_padrao`) or one of `lidos`; an existing one replaced only
// with `forcar`. Locked from before the records are read; written whole, and given its name only
// once the bills are out.
class SaidaRejeitadas {
  public:
    Erro prepara(const std::string& nome, bool forcar, bool saida_padrao,
                 std::span<const std::string> lidos);
    Erro escreve(const std::string& csv);
    Erro confirma();

  private:
    std::string nome_;
    Destino destino_;
    std::unique_ptr<Gravacao> gravacao_;
};

// Each bill as pasta/CODIGO-AAAA-MM.pdf, all or none (see GravacaoEmLote). Without `forcar` no
// file is written when any of them exists (a link that leads nowhere too); with it they are
// replaced, a symbolic link as itself, never its target. None may be one of `lidos` (the first,
// the register, is said as such).
// With a book, `livro` is told each bill and its document once it is written beside its name
// (and may stop the set before any file has its name), then `feito` keeps what it was told once
// every file has its name, before a signal lands (see GravacaoEmLote::confirma).
struct RegistroDeFaturas {
    std::function<Erro(const ContaMensal&, std::span<const std::byte>)> cada;
    std::function<Erro()> feito;
};
Erro grava_faturas_na_pasta(const Contas& c, const OpcoesFaturas& op, const std::string& pasta,
                            bool forcar, std::span<const std::string> lidos,
                            const RegistroDeFaturas& livro = {});

}  // namespace exportar
