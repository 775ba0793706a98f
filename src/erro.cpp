#include "erro.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// What a kind says when no detail is given.
std::string_view texto_do_tipo(TipoErro t) {
    switch (t) {
        case TipoErro::nenhum:
            return "sem erro";
        case TipoErro::uso:
            return "uso incorreto";
        case TipoErro::dados:
            return "dados invalidos";
        case TipoErro::leitura:
            return "nao foi possivel ler";
        case TipoErro::gravacao:
            return "erro ao gravar";
        case TipoErro::ja_existe:
            return "o arquivo ja existe (use --forcar para substitui-lo)";
        case TipoErro::ausente:
            return "nao encontrado";
        case TipoErro::recusado:
            return "recusado";
        case TipoErro::sistema:
            return "falha do sistema";
    }
    return {};
}

}  // namespace

std::string descreve_erro(const Erro& e) {
    std::string s;
    if (!e.arquivo.empty()) {
        s = e.arquivo;
        if (e.linha != 0) s += ":" + std::to_string(e.linha);
        s += ": ";
    }
    s += e.detalhe.empty() ? texto_do_tipo(e.tipo) : e.detalhe;
    if (e.sis != 0) {
        s += ": ";
        s += std::strerror(e.sis);
    }
    return s;
}

int status_de_saida(const Erro& e) {
    if (e.ok()) return 0;
    return e.tipo == TipoErro::uso ? 2 : 1;
}

int relata_erro(const char* programa, const Erro& e) {
    if (!e.ok()) std::fprintf(stderr, "%s: %s\n", programa, descreve_erro(e).c_str());
    return status_de_saida(e);
}
