#include "linhas.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "campos_csv.h"
#include "csv_clientes.h"

namespace {

constexpr std::string_view bom = "\xEF\xBB\xBF";
// A lines file lists the lines of a few hundred customers; anything much larger is not one.
constexpr std::size_t maximo_arquivo = 64 * 1024 * 1024;

bool e_digito(char c) {
    return c >= '0' && c <= '9';
}

// What a line is compared by: a number's digits, the trunk prefix 0 or the country code 55
// before a Brazilian number of 10 or 11 digits left out; an extension name as written. The digits
// are gathered in `b`.
std::string_view chave(std::string_view numero, std::array<char, 32>& b) {
    const bool e_numero =
        std::ranges::any_of(numero, e_digito) && std::ranges::all_of(numero, [](char c) {
            return e_digito(c) || std::string_view(" +()-.").find(c) != std::string_view::npos;
        });
    if (!e_numero) return numero;
    std::size_t n = 0;
    for (const char c : numero) {
        if (!e_digito(c)) continue;
        if (n == b.size()) return numero;  // no phone number is this long
        b[n++] = c;
    }
    std::string_view digitos(b.data(), n);
    if ((digitos.size() == 11 || digitos.size() == 12) && digitos.starts_with('0'))
        digitos.remove_prefix(1);
    else if ((digitos.size() == 12 || digitos.size() == 13) && digitos.starts_with("55"))
        digitos.remove_prefix(2);
    return digitos;
}

// Reads the whole regular file `caminho` into `bytes`.
Erro le_arquivo(const std::string& caminho, std::string& bytes) {
    // Opened without waiting, so that a FIFO or a device is refused rather than waited on.
    const int fd = ::open(caminho.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Erro::leitura(caminho, errno);
    struct stat info {};
    Erro e{};
    if (::fstat(fd, &info) != 0)
        e = Erro::leitura(caminho, errno);
    else if (!S_ISREG(info.st_mode))
        e = Erro::recusado(caminho, "nao e um arquivo comum");
    else if (static_cast<std::size_t>(info.st_size) > maximo_arquivo)
        e = Erro::dados(caminho, 0, "grande demais para um arquivo de linhas");
    bytes.resize(e.ok() ? static_cast<std::size_t>(info.st_size) : 0);
    std::size_t lidos = 0;
    while (e.ok() && lidos < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + lidos, bytes.size() - lidos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) e = Erro::leitura(caminho, errno);
        if (n <= 0) break;
        lidos += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(lidos);
    return e;
}

}  // namespace

std::optional<std::size_t> TabelaLinhas::insere(std::string_view numero, std::uint32_t cod_cli,
                                                std::size_t linha) {
    std::array<char, 32> b{};
    const std::string_view k = chave(numero, b);
    if (const auto it = linhas_.find(k); it != linhas_.end()) return it->second.linha;
    linhas_.emplace(std::string(k), Linha{cod_cli, linha});
    return std::nullopt;
}

std::optional<std::uint32_t> TabelaLinhas::cliente(std::string_view numero) const {
    std::array<char, 32> b{};
    const auto it = linhas_.find(chave(numero, b));
    if (it == linhas_.end()) return std::nullopt;
    return it->second.cod_cli;
}

Erro decodifica_linhas(std::string_view csv, const TLisCli& clientes, TabelaLinhas& tabela) {
    if (csv.starts_with(bom)) csv.remove_prefix(bom.size());
    CamposCsv c;
    std::string sem_aspas;
    char separador = '\0';  // none until the header is read
    std::size_t linha = 0;
    while (!csv.empty()) {
        ++linha;
        const std::size_t nl = csv.find('\n');
        std::string_view l = csv.substr(0, nl);
        csv.remove_prefix(nl == std::string_view::npos ? csv.size() : nl + 1);
        if (l.ends_with('\r')) l.remove_suffix(1);
        if (l.empty()) continue;
        if (separador == '\0') {
            for (const char s : {',', ';'}) {
                separa_campos(l, s, 2, c);
                if (c.valido && c.n == 2 && !c.mais && c.campos[0] == "numero" &&
                    c.campos[1] == "cliente")
                    separador = s;
            }
            if (separador == '\0')
                return Erro::dados({}, linha, "falta o cabecalho numero,cliente ou numero;cliente");
            continue;
        }
        separa_campos(l, separador, 2, c);
        if (!c.valido)
            return Erro::dados({}, linha, "aspas sem fechamento ou texto depois das aspas");
        if (c.n < 2 || c.mais)
            return Erro::dados({}, linha,
                               std::string(c.mais ? "campos demais" : "campos de menos") +
                                   " (esperados numero" + separador + "cliente)");
        sem_aspas.clear();
        sem_aspas.reserve(l.size());
        std::string_view numero =
            (c.duplas & 1U) != 0 ? desfaz_aspas(c.campos[0], sem_aspas) : c.campos[0];
        // The spreadsheet dialect writes an apostrophe before a "+" that is not a formula.
        if (separador == ';' && numero.size() >= 2 && numero[0] == '\'' &&
            std::string_view("=+-@").find(numero[1]) != std::string_view::npos)
            numero.remove_prefix(1);
        if (numero.empty()) return Erro::dados({}, linha, "numero vazio");
        const std::optional<std::uint32_t> cod = le_codigo(c.campos[1]);
        if (!cod) return Erro::dados({}, linha, "codigo de cliente invalido");
        const std::span<const TCliente> lista(clientes.clientes,
                                              std::min(clientes.ncl, capacidade_lis_cli));
        if (std::ranges::none_of(lista, [&](const TCliente& cl) { return cl.cod_cli == *cod; }))
            return Erro::dados({}, linha,
                               "o cliente " + std::to_string(*cod) + " nao esta no cadastro");
        if (const auto antes = tabela.insere(numero, *cod, linha))
            return Erro::dados(
                {}, linha,
                "o numero " + std::string(numero) + " ja esta na linha " + std::to_string(*antes));
    }
    if (separador == '\0')
        return Erro::dados({}, 1, "falta o cabecalho numero,cliente ou numero;cliente");
    return {};
}

Erro le_linhas(const std::string& caminho, const TLisCli& clientes, TabelaLinhas& tabela) {
    std::string bytes;
    if (Erro e = le_arquivo(caminho, bytes); !e.ok()) return e;
    Erro e = decodifica_linhas(bytes, clientes, tabela);
    if (!e.ok()) e.arquivo = caminho;
    return e;
}

std::optional<std::uint32_t> cliente_da_linha(const TabelaLinhas& t, std::string_view src) {
    return t.cliente(src);
}
