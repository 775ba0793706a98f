#pragma once
// The customer register as a store, for the tool that keeps it. Every file is read by one
// bounded reader that takes regular files only; every change is one transaction (lock the
// folder, read, change, write the whole register anew, atomically) on the file a name or a
// chain of links stands for; every customer that comes in obeys the rules of regra_cliente.h,
// and a register made some other way is written out faithfully with its faults named.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cliente.h"
#include "csv_clientes.h"
#include "regra_cliente.h"

// What went wrong; `arquivo` names the file it is about.
enum class ErroCad : std::uint8_t {
    nenhum,
    cadastro,            // the register cannot be read as one: `cli`
    csv,                 // the CSV is not a register: `csv`
    regra,               // a customer given breaks a rule: `regra`
    infracao,            // customer `posicao` of a register breaks a rule: `regra`
    ausente,             // no customer has the code `codigo`
    leitura,             // a file could not be opened or read: `sis`
    nao_regular,         // a folder, FIFO, device or socket where a file is to be read
    grande_demais,       // a file to read over `limite_de_leitura`
    ja_existe,           // an existing file that only --forcar replaces
    sem_escrita,         // the register is not writable for this user
    gravacao,            // writing failed: `sis`
    o_proprio_cadastro,  // the CSV to write is the register itself
    conversao,           // the texts cannot be converted at all
};

struct ErroCadastro {
    ErroCad tipo = ErroCad::nenhum;
    std::string arquivo{};
    StatusCli cli{};
    StatusCsv csv{};
    StatusRegra regra{};
    std::uint32_t codigo = 0;
    std::uint32_t posicao = 0;
    int sis = 0;                // errno
    bool parece_texto = false;  // a register that cannot be read looks like a text file
    [[nodiscard]] bool ok() const { return tipo == ErroCad::nenhum; }
};

// "ARQUIVO[:LINHA]: what happened": the one line a program prints after its own name.
std::string descreve_erro_cadastro(const ErroCadastro& e);

inline constexpr std::size_t limite_de_leitura = std::size_t{1} << 20;

// The bytes of the regular file `caminho`, at most `limite_de_leitura` of them. A folder, a FIFO,
// a device or a socket is refused without waiting on it.
ErroCadastro le_arquivo_regular(const std::string& caminho, std::string& bytes);

// The register `caminho` (a file the billing run could read).
ErroCadastro le_cadastro(const std::string& caminho, TLisCli* lc);
// Each customer of `lc` that importar would refuse, as ErroCad::infracao about `arquivo`.
std::vector<ErroCadastro> infracoes(const std::string& arquivo, const TLisCli* lc);
// Reads the register and says whether a run can use it; `avisos` gets its infractions.
ErroCadastro verifica_cadastro(const std::string& caminho, TLisCli* lc,
                               std::vector<ErroCadastro>& avisos);
// The listing of the register: code page 850 as stored, or UTF-8.
ErroCadastro lista_cadastro(const std::string& caminho, bool utf8, std::string& saida);

// Writes `lc` as the register `caminho`; an existing one is replaced only when `forcar`.
ErroCadastro grava_cadastro(const std::string& caminho, const TLisCli* lc, bool forcar);
// Reads the CSV `csv`, in either dialect and in `codificacao`, and writes it as the register
// `caminho`; `lc` gets the customers.
ErroCadastro importa_csv(const std::string& csv, const std::string& caminho, bool forcar,
                         TLisCli* lc, Codificacao codificacao = Codificacao::utf8);
// Writes the register `caminho` as CSV to `csv`: empty or "-" is standard output, and so is any
// name for a descriptor of the process (/dev/stdout, links to /proc/self/fd/N), written through
// that descriptor; an existing file that is not regular is written in place; an existing
// regular file is replaced only when `forcar`. `avisos` gets the infractions of the register.
ErroCadastro exporta_csv(const std::string& caminho, const std::string& csv, bool forcar,
                         std::vector<ErroCadastro>& avisos, DialetoCsv dialeto = csv_padrao);

// The changes, each one transaction. inclui_cliente creates a register that does not exist.
ErroCadastro inclui_cliente(const std::string& caminho, std::uint32_t cod, std::string_view nome,
                            std::string_view endereco);
// The first customer with the code `cod`, as the run finds it, takes the texts given.
ErroCadastro altera_cliente(const std::string& caminho, std::uint32_t cod,
                            std::optional<std::string_view> nome,
                            std::optional<std::string_view> endereco);
ErroCadastro exclui_cliente(const std::string& caminho, std::uint32_t cod);
