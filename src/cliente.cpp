#include "cliente.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "impressao.h"
#include "leitura.h"

void insere_cliente(TLisCli* lc, TCliente cl) {
    if (lc->ncl >= capacidade_lis_cli) return;
    lc->clientes[lc->ncl] = cl;
    ++lc->ncl;
}

int posicao_do_codigo(const TLisCli* lc, std::uint32_t cod) {
    const std::uint32_t n = std::min(lc->ncl, capacidade_lis_cli);
    for (std::uint32_t i = 0; i < n; ++i)
        if (lc->clientes[i].cod_cli == cod) return static_cast<int>(i);
    return -1;
}

int busca_cliente(const TLisCli* lc, int cod) {
    return posicao_do_codigo(lc, static_cast<std::uint32_t>(cod));
}

void mostre_cli(TCliente cli) {
    imprime(FMT_COMPILE("{}"), cli);
}

void mostre_lis_cli(const TLisCli* lc) {
    const std::uint32_t n = std::min(lc->ncl, capacidade_lis_cli);
    for (std::uint32_t i = 0; i < n; ++i)
        imprime(FMT_COMPILE("{}\n"), lc->clientes[i]);
}

// ---- The customer file ----

namespace {

constexpr std::size_t pos_nome = 4;
constexpr std::size_t pos_endereco = pos_nome + sizeof(TCliente::nome);
static_assert(pos_endereco + sizeof(TCliente::endereco) + 2 == tamanho_registro);

std::uint32_t le_u32(std::span<const std::byte> b) {
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8U |
           static_cast<std::uint32_t>(b[2]) << 16U | static_cast<std::uint32_t>(b[3]) << 24U;
}

void grava_u32(std::span<std::byte> b, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[i] = static_cast<std::byte>(v >> (8U * i));
}

// Copies a text field; false when it holds no NUL.
bool le_texto(std::span<const std::byte> origem, char (&destino)[51]) {
    std::memcpy(destino, origem.data(), sizeof destino);
    return std::memchr(destino, '\0', sizeof destino) != nullptr;
}

}  // namespace

Erro decodifica_lis_cli(std::span<const std::byte> arq, TLisCli* lc) {
    lc->ncl = 0;
    if (arq.empty()) return {};
    if (arq.size() < tamanho_contagem)
        return Erro::dados("arquivo com menos de 4 bytes: contagem de clientes incompleta");

    const std::uint32_t n = le_u32(arq);
    if (n > capacidade_lis_cli)
        return Erro::dados(
            fmt::format("o arquivo declara {} clientes; o maximo e {}", n, capacidade_lis_cli));
    const std::size_t completos = (arq.size() - tamanho_contagem) / tamanho_registro;
    if (completos < n)
        return Erro::dados(fmt::format(
            "o arquivo declara {} clientes, mas traz so {} registros completos", n, completos));

    for (std::uint32_t i = 0; i < n; ++i) {
        const auto reg = arq.subspan(tamanho_contagem + tamanho_registro * i, tamanho_registro);
        TCliente& cl = lc->clientes[i];
        cl.cod_cli = le_u32(reg);
        if (!le_texto(reg.subspan(pos_nome), cl.nome))
            return Erro::dados(
                fmt::format("o nome do cliente {} do arquivo nao termina com NUL", i + 1));
        if (!le_texto(reg.subspan(pos_endereco), cl.endereco))
            return Erro::dados(
                fmt::format("o endereco do cliente {} do arquivo nao termina com NUL", i + 1));
    }
    lc->ncl = n;
    return {};
}

std::size_t codifica_lis_cli(const TLisCli* lc, std::span<std::byte, tamanho_maximo_arq> arq) {
    const std::uint32_t n = std::min(lc->ncl, capacidade_lis_cli);
    std::ranges::fill(arq, std::byte{0});
    grava_u32(arq, n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const TCliente& cl = lc->clientes[i];
        const auto reg = arq.subspan(tamanho_contagem + tamanho_registro * i, tamanho_registro);
        grava_u32(reg, cl.cod_cli);
        std::memcpy(reg.subspan(pos_nome).data(), cl.nome, sizeof cl.nome);
        std::memcpy(reg.subspan(pos_endereco).data(), cl.endereco, sizeof cl.endereco);
    }
    return tamanho_contagem + tamanho_registro * n;
}

Erro le_lis_cli_de(const char* caminho, TLisCli* lc) {
    lc->ncl = 0;
    // A file longer than the fullest list is read only as far as such a list reaches.
    std::array<std::byte, tamanho_maximo_arq> buf{};
    std::size_t lidos = 0;
    Erro e = le_arquivo_regular(caminho, buf, lidos, Excesso::ignora);
    if (e.tipo == TipoErro::leitura && e.sis == ENOENT)
        e = Erro::ausente("arquivo nao encontrado");
    else if (e.tipo == TipoErro::leitura && e.sis == EACCES)
        e = Erro::recusado({}, "sem permissao de leitura");
    else if (e.ok())
        e = decodifica_lis_cli(std::span(buf).first(lidos), lc);
    if (!e.ok()) e.arquivo = caminho;
    return e;
}

void le_lis_cli(TLisCli* lc) {
    static_cast<void>(le_lis_cli_de(arquivo_clientes, lc));
}

Erro confere_cadastro(const TLisCli* lc) {
    constexpr std::uint32_t minimo = 5;
    if (lc->ncl < minimo)
        return Erro::dados(
            fmt::format("o cadastro tem {} clientes; a execucao precisa de pelo menos 5", lc->ncl));
    std::array<bool, minimo + 1> visto{};
    for (std::uint32_t i = 0; i < minimo; ++i) {
        const std::uint32_t cod = lc->clientes[i].cod_cli;
        if (cod < 1 || cod > minimo || visto[cod])
            return Erro::dados("os cinco primeiros clientes devem ter os codigos 1 a 5");
        visto[cod] = true;
    }
    return {};
}

// ---- Random customers ----

namespace {

constexpr std::array<std::string_view, 31> nomes{
    "Geraldo", "Gabriel", "Renato",  "Tobelio", "Roberto", "Priscila", "Marcia",       "Maria",
    "Marcelo", "Sergio",  "Sueli",   "Sara",    "Rui",     "Ana",      "Paulo",        "Felipe",
    "Larissa", "Tiago",   "Pedro",   "Carlos",  "Lorena",  "Aline",    "Gabriela",     "Marcos",
    "Jaime",   "Joaquim", "Ronaldo", "Haroldo", "Regina",  "Joyce",    "Anna Carolina"};

// "Oliveira" stands twice; two surnames differ by index, not by text.
constexpr std::array<std::string_view, 18> sobreN{
    "Oliveira", "Silva", "Sales", "Oliveira", "Lima",   "Ribeiro", "Alves",   "Santos",  "Soares",
    "Souza",    "Lopes", "Gomes", "Bezerra",  "Araujo", "Barreto", "Pereira", "Menezes", "Moreira"};

constexpr std::array<std::string_view, 5> ruas{"Rua Pedro I", "Av. Tiradentes", "Rua Airton Senna",
                                               "Av. Duque de Caxias", "Rua Iracema"};

constexpr std::array<std::string_view, 5> comp{", 1234", ", 4512 ap 101", ", 789 BL 3 AP 202",
                                               ", 45", ", 456 AP 301"};

template <std::size_t N>
std::string_view sorteia(const std::array<std::string_view, N>& tabela) {
    return tabela[static_cast<std::size_t>(std::rand()) % N];
}

// Writes the pieces one after the other and ends them with a NUL.
char* junta(char* destino, std::string_view pedaco) {
    return std::ranges::copy(pedaco, destino).out;
}

}  // namespace

void gere_nome(char* nom) {
    char* p = junta(nom, sorteia(nomes));
    *p++ = ' ';
    const int rs1 = std::rand() % 18;
    p = junta(p, sobreN[static_cast<std::size_t>(rs1)]);
    *p++ = ' ';
    int rs2 = std::rand() % 18;
    while (rs2 == rs1)
        rs2 = std::rand() % 18;
    p = junta(p, sobreN[static_cast<std::size_t>(rs2)]);
    *p = '\0';
}

void gere_endereco(char* ender) {
    char* p = junta(ender, sorteia(ruas));
    p = junta(p, sorteia(comp));
    *p = '\0';
}

TCliente gere_cliente(unsigned cod) {
    TCliente cl{};
    cl.cod_cli = cod;
    gere_nome(cl.nome);
    gere_endereco(cl.endereco);
    return cl;
}

void gere_lis_cli(int nc, TLisCli* lc) {
    lc->ncl = 0;
    const int n = std::min(nc, static_cast<int>(capacidade_lis_cli));
    for (int i = 0; i < n; ++i)
        insere_cliente(lc, gere_cliente(static_cast<unsigned>(i + 1)));
}
