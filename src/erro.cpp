#include "erro.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

constexpr const char* ciclo = "ciclo de links simbolicos";

// The words a kind says by itself, before the detail; empty where the detail says it all.
std::string_view texto_do_tipo(TipoErro t) {
    switch (t) {
        case TipoErro::leitura:
            return "nao foi possivel ler";
        case TipoErro::gravacao:
            return "erro ao gravar";
        case TipoErro::ja_existe:
            return "o arquivo ja existe (use --forcar para substitui-lo)";
        default:
            return {};
    }
}

void junta(std::string& s, std::string_view parte) {
    if (parte.empty()) return;
    if (!s.empty() && !s.ends_with(": ")) s += ": ";
    s += parte;
}

}  // namespace

Erro Erro::uso(std::string detalhe) {
    return {.tipo = TipoErro::uso, .detalhe = std::move(detalhe)};
}

Erro Erro::dados(std::string detalhe) {
    return {.tipo = TipoErro::dados, .detalhe = std::move(detalhe)};
}

Erro Erro::dados(std::string arquivo, std::size_t linha, std::string detalhe) {
    return {TipoErro::dados, std::move(arquivo), linha, 0, std::move(detalhe)};
}

Erro Erro::leitura(std::string arquivo, int sis, std::string detalhe) {
    if (sis == ELOOP) return recusado(std::move(arquivo), ciclo);
    return {TipoErro::leitura, std::move(arquivo), 0, sis, std::move(detalhe)};
}

Erro Erro::gravacao(std::string arquivo, int sis) {
    if (sis == ELOOP) return recusado(std::move(arquivo), ciclo);
    return {.tipo = TipoErro::gravacao, .arquivo = std::move(arquivo), .sis = sis};
}

Erro Erro::ja_existe(std::string arquivo) {
    return {.tipo = TipoErro::ja_existe, .arquivo = std::move(arquivo)};
}

Erro Erro::ausente(std::string detalhe) {
    return {.tipo = TipoErro::ausente, .detalhe = std::move(detalhe)};
}

Erro Erro::recusado(std::string arquivo, std::string detalhe, int sis) {
    return {TipoErro::recusado, std::move(arquivo), 0, sis, std::move(detalhe)};
}

Erro Erro::sistema(std::string detalhe, int sis) {
    return {.tipo = TipoErro::sistema, .sis = sis, .detalhe = std::move(detalhe)};
}

std::string descreve_erro(const Erro& e) {
    std::string s;
    if (!e.arquivo.empty()) {
        s = e.arquivo;
        if (e.linha != 0) s += ":" + std::to_string(e.linha);
        s += ": ";
    }
    if (e.ok()) {
        junta(s, "sem erro");
        return s;
    }
    junta(s, texto_do_tipo(e.tipo));
    junta(s, e.detalhe);
    if (e.sis != 0) junta(s, std::strerror(e.sis));
    return s;
}

int status_de_saida(const Erro& e) {
    if (e.ok()) return 0;
    return e.tipo == TipoErro::uso ? 2 : 1;
}

int relata_erro(const char* programa, const Erro& e) {
    if (e.ok()) return 0;
    std::fprintf(stderr, "%s: %s\n", programa, descreve_erro(e).c_str());
    if (e.tipo == TipoErro::uso)
        std::fprintf(stderr, "Tente '%s --ajuda' para mais informacoes.\n", programa);
    return status_de_saida(e);
}
