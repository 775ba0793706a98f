#pragma once
// The customer register as a store, for the tool that keeps it. Every file is read by one
// bounded reader that takes regular files only; every change is one transaction (lock the
// file, read, change, write the whole register anew, atomically) on the file a name or a
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
#include "erro.h"

// The most bytes a CSV file read may have.
inline constexpr std::size_t limite_de_leitura = std::size_t{1} << 20;
// The most bytes a book's CSV may have.
inline constexpr std::size_t limite_do_livro = std::size_t{512} << 20;

// The register `caminho` (a file the billing run could read).
Erro le_cadastro(const std::string& caminho, TLisCli* lc);
// Each customer of `lc` that importar would refuse, as an error about `arquivo`; when no text can
// be judged, that (TipoErro::sistema) is all it says.
std::vector<Erro> infracoes(const std::string& arquivo, const TLisCli* lc);
// Reads the register and says whether a run can use it; `avisos` gets its infractions.
Erro verifica_cadastro(const std::string& caminho, TLisCli* lc, std::vector<Erro>& avisos);
// The listing of the register: code page 850 as stored, or UTF-8.
Erro lista_cadastro(const std::string& caminho, bool utf8, std::string& saida);

// Writes `lc` as the register `caminho`; an existing one is replaced only when `forcar`.
Erro grava_cadastro(const std::string& caminho, const TLisCli* lc, bool forcar);
// The customers of the CSV file `csv`, in either dialect and in `codificacao`, under the rules
// of `guarda`; the errors name the file and line.
Erro le_csv_clientes(const std::string& csv, Guarda guarda, Codificacao codificacao,
                     Clientes& clientes);
// Writes `n` random customers (codes 1 to n, at most 20) drawn from the seed `semente` as the
// register `caminho`.
Erro gera_cadastro(const std::string& caminho, int n, unsigned semente, bool forcar);
// Reads the CSV `csv` and writes it as the register `caminho`; `clientes` gets the customers.
Erro importa_csv(const std::string& caminho, const std::string& csv, bool forcar,
                 Clientes& clientes, Codificacao codificacao = Codificacao::utf8);
// Writes the register `caminho` as CSV to `csv`; `avisos` gets the infractions of the register.
Erro exporta_csv(const std::string& caminho, const std::string& csv, bool forcar,
                 std::vector<Erro>& avisos, DialetoCsv dialeto = csv_padrao);
// Writes `texto` as the CSV `csv`: empty or "-" is standard output, and so is any name for a
// descriptor of the process (/dev/stdout, links to /proc/self/fd/N), written through that
// descriptor; an existing file that is not regular is written in place; an existing regular
// file is replaced only when `forcar`; the file `lido`, which the CSV comes from, never.
Erro escreve_csv(const std::string& csv, std::string_view texto, bool forcar,
                 const std::string& lido);

// The changes, each one transaction. inclui_cliente creates a register that does not exist. A
// register with more names (hard links) is changed only when `divide`: this name gets the new
// contents, the others keep the old ones.
Erro inclui_cliente(const std::string& caminho, std::uint32_t cod, std::string_view nome,
                    std::string_view endereco, bool divide = false);
// The first customer with the code `cod`, as the run finds it, takes the texts given.
Erro altera_cliente(const std::string& caminho, std::uint32_t cod,
                    std::optional<std::string_view> nome, std::optional<std::string_view> endereco,
                    bool divide = false);
Erro exclui_cliente(const std::string& caminho, std::uint32_t cod, bool divide = false);
