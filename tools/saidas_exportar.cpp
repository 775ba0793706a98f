#include "saidas_exportar.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "leitura.h"

namespace exportar {

namespace {

// The place in `lidos` of the file `alvo` is; none: lidos.size().
std::size_t lido(std::span<const std::string> lidos, const Identidade& alvo) {
    std::size_t i = 0;
    while (i < lidos.size() && !e_do_lido(alvo, lidos[i]))
        ++i;
    return i;
}

OpcoesGravacao opcoes_de_saida(bool forcar, std::span<const std::string> lidos) {
    OpcoesGravacao og;
    og.substitui = forcar;
    og.protegido = lidos.empty() ? Identidade{} : identidade_de(lidos[0]);
    og.programa = "contacel-exportar";
    return og;
}

}  // namespace

std::vector<std::string> arquivos_lidos(const LinhaDeComando& lc, const std::string& clientes) {
    std::vector<std::string> lidos{clientes};
    for (const std::size_t o : {chamadas_op, linhas_op, emissor_op, tarifas_op})
        for (const std::string_view v : lc.todos[o])
            lidos.emplace_back(v);
    return lidos;
}

Erro confere_saida_padrao(std::span<const std::string> lidos) {
    struct stat info {};
    if (::fstat(STDOUT_FILENO, &info) != 0 || !S_ISREG(info.st_mode)) return {};
    const std::size_t i = lido(lidos, {info.st_dev, info.st_ino, true});
    if (i == lidos.size()) return {};
    return Erro::recusado(lidos[i], i == 0
                                        ? "a saida padrao e o proprio cadastro; nada foi escrito"
                                        : "a saida padrao e este arquivo lido; nada foi escrito");
}

Erro SaidaRejeitadas::prepara(const std::string& nome, bool forcar, bool saida_padrao,
                              std::span<const std::string> lidos) {
    nome_ = nome;
    if (nome.empty()) return {};
    if (Erro e = segue_links(nome, destino_); !e.ok()) return e;
    if (destino_.descritor == STDOUT_FILENO) return Erro::recusado(nome, "e a saida padrao");
    if (destino_.descritor >= 0) return {};
    const Identidade alvo = identidade_de(destino_.caminho);
    // Replaced by a rename, the file would take the bills written to it with it.
    if (saida_padrao && identidade_do_descritor(STDOUT_FILENO).e(alvo))
        return Erro::recusado(nome, "e a saida padrao");
    if (lido(lidos, alvo) != lidos.size()) return Erro::recusado(nome, "e um dos arquivos lidos");
    gravacao_ = std::make_unique<Gravacao>(destino_.caminho, opcoes_de_saida(forcar, lidos));
    return gravacao_->trava();
}

Erro SaidaRejeitadas::escreve(const std::string& csv) {
    const auto bytes = std::as_bytes(std::span(csv));
    if (gravacao_) return gravacao_->escreve(bytes);
    if (destino_.descritor >= 0) return escreve_tudo(destino_.descritor, bytes, nome_);
    return {};
}

Erro SaidaRejeitadas::confirma() {
    return gravacao_ ? gravacao_->confirma() : Erro{};
}

Erro grava_faturas_na_pasta(const Contas& contas, const OpcoesFaturas& op, const std::string& pasta,
                            bool forcar, std::span<const std::string> lidos,
                            const RegistroDeFaturas& livro) {
    // An empty name is the working folder, never the root.
    const std::string prefixo = pasta.empty() ? std::string() : pasta + "/";
    if (struct stat info{}; ::stat(pasta.empty() ? "." : pasta.c_str(), &info) != 0)
        return Erro::gravacao(pasta, errno);
    OpcoesGravacao og = opcoes_de_saida(forcar, lidos);
    og.divide = forcar;
    og.troca_link = true;
    // Each name as it is in the folder: a link there is never followed out of it.
    std::vector<std::string> nomes;
    for (const ContaMensal& c : contas.contas) {
        std::string nome = prefixo + nome_arquivo_fatura(c.cod_cli, c.ano, c.mes);
        const Identidade alvo = identidade_do_nome(nome);
        // Whatever is in the way, a link that leads nowhere too, is replaced only with --forcar.
        if (!forcar && alvo.existe) return Erro::ja_existe(nome);
        if (const std::size_t i = lido(lidos, alvo); i != 0 && i != lidos.size())
            return Erro::recusado(nome, "e um dos arquivos lidos; nada foi escrito");
        nomes.push_back(std::move(nome));
    }
    GravacaoEmLote lote(og);
    if (Erro e = lote.trava(nomes); !e.ok()) return e;
    Erro erro;
    std::size_t k = 0;
    const Erro doc =
        escreve_cada_fatura(contas, op, [&](const std::string&, std::span<const std::byte> pdf) {
            erro = lote.escreve(pdf);
            if (erro.ok() && livro.cada) erro = livro.cada(contas.contas[k++], pdf);
            return erro.ok();
        });
    if (!erro.ok()) return erro;
    if (!doc.ok()) return doc;
    return lote.confirma(livro.feito);
}

}  // namespace exportar
