#include "erro.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

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
