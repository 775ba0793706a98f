// Arbitrary bytes as a records file: the parser reads only inside them, hands over rows whose
// dates are real, whose bytes hold no NUL nor line end and whose lines only grow, and gives the
// same rows however the bytes are split into blocks (the first byte chooses a block size),
// reading none past a block's end. The block scanner, which reads whole rows only, splits every
// row it calls plain as separa_campos does, and calls plain every row without quotes, CR or NUL.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "blocos_csv.h"
#include "campos_csv.h"
#include "registros.h"

namespace {

bool data_real(TDataHora d) {
    return d.dat.ano > 0 && d.dat.mes >= 1 && d.dat.mes <= 12 && d.dat.dia >= 1 &&
           d.dat.dia <= dias_no_mes(d.dat.mes, d.dat.ano) && d.hor.hor >= 0 && d.hor.hor <= 23 &&
           d.hor.min >= 0 && d.hor.min <= 59 && d.hor.seg >= 0 && d.hor.seg <= 59;
}

// Every row in one string, its fields apart, checking each as it comes.
struct Resumo final : DestinoRegistros {
    std::string s;
    std::size_t linha = 0;
    void confere_linha(std::size_t l) {
        if (l <= linha) __builtin_trap();
        linha = l;
    }
    void registro(const RegistroChamada& r) override {
        confere_linha(r.linha);
        if (!data_real(r.inicio) || !data_real(r.fim) || r.texto.empty() ||
            r.texto.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos ||
            (r.cobravel && r.formato != FormatoRegistros::proprio && r.segundos == 0))
            __builtin_trap();
        for (const std::string_view v : {r.conta, r.origem, r.destino, r.cod_destino, r.texto}) {
            s += v;
            s += '\0';
        }
        s += std::to_string(r.segundos) + (r.cobravel ? "c" : "n");
    }
    bool rejeitado(const RegistroRejeitado& r) override {
        confere_linha(r.linha);
        if (r.motivo.empty()) __builtin_trap();
        s += "!";
        s += r.motivo;
        s += r.texto;
        return true;
    }
};

std::string le(std::string_view bytes, std::size_t bloco) {
    AnalisadorRegistros a;
    Resumo r;
    bool ok = true;
    for (std::size_t i = 0; ok && i < bytes.size(); i += bloco) {
        // Each block alone in memory of its size, as the last of a mapped file may be: a read
        // past its end is caught.
        const std::string_view b = bytes.substr(i, bloco);
        const auto so = std::make_unique_for_overwrite<char[]>(b.size());
        std::memcpy(so.get(), b.data(), b.size());
        ok = a.consome({so.get(), b.size()}, r);
    }
    if (ok) ok = a.termina(r);
    if (ok != a.erro().ok()) __builtin_trap();
    return r.s + "|" + a.erro().detalhe;
}

// Which rows are plain, a letter each.
std::string compara_varredor(std::string_view bytes, Instrucoes instrucoes) {
    const std::size_t fim = bytes.rfind('\n');
    if (fim == std::string_view::npos) return {};
    const char separador = (static_cast<std::uint8_t>(bytes[0]) & 0x40) != 0 ? ';' : ',';
    const std::size_t maximo = static_cast<std::uint8_t>(bytes[0]) % CamposCsv::capacidade + 1;
    VarredorBloco v(instrucoes);
    if (v.instrucoes() != instrucoes) __builtin_trap();
    std::string simples_ou_nao;
    v.prepara(bytes.substr(0, fim + 1), separador, maximo);
    CamposCsv rapido, cuidadoso;
    std::string_view linha;
    bool simples = false;
    std::size_t inicio = 0;
    while (v.proxima(linha, rapido, simples)) {
        if (linha.data() != bytes.data() + inicio || bytes[inicio + linha.size()] != '\n' ||
            linha.find('\n') != std::string_view::npos)
            __builtin_trap();
        inicio += linha.size() + 1;
        simples_ou_nao += simples ? 's' : 'n';
        if (!simples) {
            if (!linha.empty() &&
                linha.find_first_of(std::string_view("\"\r\0", 3)) == std::string_view::npos)
                __builtin_trap();
            continue;
        }
        separa_campos(linha, separador, maximo, cuidadoso);
        if (!cuidadoso.valido || rapido.n != cuidadoso.n || rapido.mais != cuidadoso.mais ||
            rapido.duplas != cuidadoso.duplas)
            __builtin_trap();
        for (std::size_t i = 0; i < rapido.n; ++i)
            if (rapido.campos[i].data() != cuidadoso.campos[i].data() ||
                rapido.campos[i].size() != cuidadoso.campos[i].size())
                __builtin_trap();
    }
    if (inicio != fim + 1) __builtin_trap();
    return simples_ou_nao;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::string_view bytes(reinterpret_cast<const char*>(dados), tamanho);
    const std::size_t bloco = tamanho == 0 ? 1 : static_cast<std::uint8_t>(bytes[0]) % 64 + 1;
    if (le(bytes, bytes.size() + 1) != le(bytes, bloco)) __builtin_trap();
    const std::string simples = compara_varredor(bytes, Instrucoes::portaveis);
    for (const Instrucoes i : {Instrucoes::sse2, Instrucoes::avx2, Instrucoes::avx512})
        if (tem_instrucoes(i) && compara_varredor(bytes, i) != simples) __builtin_trap();
    return 0;
}
