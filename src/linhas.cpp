#include "linhas.h"

std::optional<std::size_t> TabelaLinhas::insere(std::string_view, std::uint32_t) {
    return std::nullopt;
}

std::optional<std::uint32_t> TabelaLinhas::cliente(std::string_view) const {
    return std::nullopt;
}

Erro decodifica_linhas(std::string_view, const TLisCli&, TabelaLinhas&) {
    return Erro{TipoErro::sistema, {}, 0, 0, "leitura de linhas ainda por fazer"};
}

Erro le_linhas(const std::string& caminho, const TLisCli& clientes, TabelaLinhas& tabela) {
    Erro e = decodifica_linhas({}, clientes, tabela);
    e.arquivo = caminho;
    return e;
}

std::optional<std::uint32_t> cliente_da_linha(const TabelaLinhas& t, std::string_view src) {
    return t.cliente(src);
}
