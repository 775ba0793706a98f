#include "csv_clientes.h"

#include <csv.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "regra_cliente.h"

namespace {

constexpr std::array<const char*, 3> nomes_campos{"codigo", "nome", "endereco"};

ErroCsv erro_csv(ErroRegra e) {
    switch (e) {
        case ErroRegra::nenhum:
            return ErroCsv::nenhum;
        case ErroRegra::codigo_invalido:
            return ErroCsv::codigo_invalido;
        case ErroRegra::codigo_repetido:
            return ErroCsv::codigo_repetido;
        case ErroRegra::texto_invalido:
            return ErroCsv::texto_invalido;
        case ErroRegra::clientes_demais:
            return ErroCsv::clientes_demais;
    }
    return ErroCsv::texto_invalido;
}

// What the parser's callbacks build, row by row.
struct Leitura {
    TLisCli* lc;
    StatusCsv st{};
    std::size_t linha = 1;   // the line of the byte being fed
    std::size_t inicio = 0;  // the line the current row starts on, once it has a byte
    bool cabecalho = true;   // the next row is the header
    std::vector<std::string> campos{};

    void falha(ErroCsv e, std::uint8_t campo = 0, ErroTexto t = ErroTexto::nenhum) {
        if (st.ok()) st = {e, linha, campo, t};
    }

    void fim_de_linha() {
        inicio = 0;
        if (!st.ok()) return;
        if (cabecalho) {
            cabecalho = false;
            const bool certo =
                campos.size() == nomes_campos.size() && std::ranges::equal(campos, nomes_campos);
            if (!certo) falha(ErroCsv::sem_cabecalho);
        } else if (campos.size() > nomes_campos.size()) {
            falha(ErroCsv::campos_demais);
        } else if (campos.size() < nomes_campos.size()) {
            falha(ErroCsv::campos_de_menos);
        } else {
            cliente();
        }
        campos.clear();
    }

    void cliente() {
        const StatusRegra r = insere_validado(lc, le_codigo(campos[0]), campos[1], campos[2]);
        if (!r.ok()) falha(erro_csv(r.erro), r.campo, r.texto);
    }
};

void ao_campo(void* dados, std::size_t n, void* leitura) {
    auto& l = *static_cast<Leitura*>(leitura);
    if (l.st.ok()) l.campos.emplace_back(static_cast<const char*>(dados), n);
}

void ao_fim_de_linha(int, void* leitura) {
    static_cast<Leitura*>(leitura)->fim_de_linha();
}

// Fields are taken as they are: no blank is trimmed.
int nenhum_espaco(unsigned char) {
    return 0;
}

}  // namespace

std::optional<std::uint32_t> le_codigo(std::string_view texto) {
    std::uint32_t cod = 0;
    const auto [fim, ec] = std::from_chars(texto.data(), texto.data() + texto.size(), cod);
    if (texto.empty() || ec != std::errc{} || fim != texto.data() + texto.size() || cod == 0)
        return std::nullopt;
    return cod;
}

void acrescenta_texto_csv(std::string& linha, const char (&texto)[sizeof(TCliente::nome)]) {
    acrescenta_campo_csv(linha, texto_utf8({texto, ::strnlen(texto, sizeof texto)}));
}

void acrescenta_campo_csv(std::string& linha, std::string_view campo) {
    if (campo.find_first_of(",\"\r\n") == std::string_view::npos) {
        linha += campo;
        return;
    }
    std::string q(campo.size() * 2 + 2, '\0');
    q.resize(csv_write(q.data(), q.size(), campo.data(), campo.size()));
    linha += q;
}

StatusCsv decodifica_csv_clientes(std::span<const std::byte> csv, TLisCli* lc) {
    lc->ncl = 0;
    constexpr std::array<std::byte, 3> bom{std::byte{0xEF}, std::byte{0xBB}, std::byte{0xBF}};
    if (csv.size() >= bom.size() && std::ranges::equal(csv.first(bom.size()), bom))
        csv = csv.subspan(bom.size());

    csv_parser p{};
    if (csv_init(&p, CSV_STRICT | CSV_STRICT_FINI) != 0) return {ErroCsv::aspas_sem_fim};
    csv_set_space_func(&p, nenhum_espaco);
    Leitura l{lc};
    // Fed one byte at a time, so that every row and field is known by its line.
    for (const std::byte b : csv) {
        if (l.inicio == 0 && b != std::byte{'\r'} && b != std::byte{'\n'}) l.inicio = l.linha;
        if (csv_parse(&p, &b, 1, ao_campo, ao_fim_de_linha, &l) != 1)
            l.falha(ErroCsv::aspas_sem_fim);
        if (!l.st.ok()) break;
        if (b == std::byte{'\n'}) ++l.linha;
    }
    if (l.st.ok() && csv_fini(&p, ao_campo, ao_fim_de_linha, &l) != 0) {
        // A quote still open at the end: the row it opened in is the one to look at.
        l.linha = l.inicio != 0 ? l.inicio : l.linha;
        l.falha(ErroCsv::aspas_sem_fim);
    }
    csv_free(&p);
    if (l.st.ok() && l.cabecalho) l.falha(ErroCsv::sem_cabecalho);
    if (!l.st.ok()) lc->ncl = 0;
    return l.st;
}

std::string codifica_csv_clientes(const TLisCli* lc) {
    std::string out = cabecalho_csv_clientes;
    out += '\n';
    const std::uint32_t n = std::min(lc->ncl, capacidade_lis_cli);
    for (std::uint32_t i = 0; i < n; ++i) {
        const TCliente& cl = lc->clientes[i];
        out += std::to_string(cl.cod_cli);
        out += ',';
        acrescenta_texto_csv(out, cl.nome);
        out += ',';
        acrescenta_texto_csv(out, cl.endereco);
        out += '\n';
    }
    return out;
}

std::string descreve_erro_csv(StatusCsv st) {
    const std::string s;
    switch (st.erro) {
        case ErroCsv::nenhum:
            return s + "sem erro";
        case ErroCsv::aspas_sem_fim:
            return s + "aspas sem fechamento ou texto depois das aspas";
        case ErroCsv::sem_cabecalho:
            return s + "falta o cabecalho " + cabecalho_csv_clientes;
        case ErroCsv::campos_demais:
            return s + "campos demais (esperados codigo,nome,endereco)";
        case ErroCsv::campos_de_menos:
            return s + "campos de menos (esperados codigo,nome,endereco)";
        case ErroCsv::codigo_invalido:
            return s + "codigo invalido (um numero de 1 a 4294967295)";
        case ErroCsv::codigo_repetido:
            return s + "codigo repetido";
        case ErroCsv::clientes_demais:
            return s + "clientes demais (o maximo e 20)";
        case ErroCsv::texto_invalido:
            return s + descreve_erro_texto(st.texto, nomes_campos[st.campo]);
    }
    return s;
}
