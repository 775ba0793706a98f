#include "cobranca_registros.h"

#include <sys/stat.h>

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>
#include <span>
#include <tuple>
#include <utility>

#include "caracteres.h"
#include "clientes.h"
#include "espalha.h"
#include "leitura.h"
#include "telefone.h"

std::optional<MesAno> le_mes(std::string_view t) {
    if (t.size() != 7 || t[4] != '-' || !so_digitos(t.substr(0, 4)) || !so_digitos(t.substr(5, 2)))
        return std::nullopt;
    const int ano = (t[0] - '0') * 1000 + (t[1] - '0') * 100 + (t[2] - '0') * 10 + (t[3] - '0');
    const int mes = (t[5] - '0') * 10 + (t[6] - '0');
    // The years a record may have.
    if (ano == 0 || ano > ultimo_ano || mes < 1 || mes > 12) return std::nullopt;
    return MesAno{static_cast<std::int16_t>(ano), static_cast<std::int8_t>(mes)};
}

std::string descreve_resumo(const ResumoCobranca& r) {
    return fmt::format(
               "{} registros: {} cobrados em {} contas, {} de outros meses, {} nao cobraveis, {} "
               "sem "
               "cliente, {} rejeitados, {} duplicados",
               r.registros, r.cobrados, r.contas, r.outros_meses, r.nao_cobraveis, r.sem_cliente,
               r.rejeitados, r.duplicados) +
           (r.do_livro ? fmt::format(", {} ja faturados", r.ja_faturados) : std::string());
}

std::string descreve_sem_cliente(const ResumoCobranca& r, std::size_t maximo) {
    std::string s;
    const auto& lista = r.sem_cliente_por_chamador;
    for (std::size_t i = 0; i < std::min(maximo, lista.size()); ++i) {
        const SemCliente& c = lista[i];
        s += fmt::format("sem cliente: {}, {} chamada{}, {:02}:{:02}:{:02}\n",
                         c.chamador.empty() ? "(sem origem)" : c.chamador, c.chamadas,
                         c.chamadas == 1 ? "" : "s", c.segundos / 3600, c.segundos / 60 % 60,
                         c.segundos % 60);
    }
    if (lista.size() > maximo) s += fmt::format("sem cliente: e mais {}\n", lista.size() - maximo);
    return s;
}

CobrancaRegistros::CobrancaRegistros(const PedidoCobranca& pedido) : pedido_(pedido) {
    contas_.clientes = pedido.clientes;
    contas_.exatas = true;
    if (pedido_.tarifa->lista()) {
        contas_.tarifa = pedido_.tarifa;
        em_ordem_ = pedido_.tarifa->em_ordem() && !pedido_.guarda_chamadas;
    }
    como_.push_back(0);
    rejeitadas_ = cabecalho_csv({"arquivo", "linha", "motivo", "registro"}, pedido.dialeto);
}

Erro CobrancaRegistros::le(const std::string& arquivo) {
    arquivo_ = arquivo;
    // A PBX row takes 250 bytes or more: room for a key per 256 bytes, up to a few million keys,
    // rather than growing the set over and over; a set that sparse (a third full on a file of
    // billable rows) has a new key find a free place in a probe or two rather than four or five.
    if (struct stat st{}; ::stat(arquivo.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        chaves_.reserva(
            std::min<std::size_t>(static_cast<std::size_t>(st.st_size) / 256, 1U << 23));
    Erro e = le_registros(arquivo, *this, pedido_.tarefas);
    return e.ok() ? erro_ : e;
}

// Inline in its one caller: returned from a call, the answer's parts are stored apart and read
// back as one word, which waits for every store, once a row.
[[gnu::always_inline]] inline std::optional<std::pair<std::uint32_t, std::uint16_t>>
CobrancaRegistros::cliente_de(const RegistroChamada& r, std::optional<Telefone>& origem,
                              LinhasLembradas& lembradas, const TabelaLinhas::Linha** linha) const {
    // The caller is read as a number only when it is not remembered.
    const auto busca = [&] {
        return lembradas.busca(r.origem, [&] {
            if (!origem) origem.emplace(r.origem);
            return pedido_.linhas->busca(*origem);
        });
    };
    if (const auto cod = le_codigo(r.conta); cod && pedido_.clientes->tem(*cod)) {
        // A caller that is a line of that customer keeps its line's plan.
        std::uint16_t plano = 0;
        if (pedido_.tarifa->lista() && pedido_.linhas != nullptr && !r.origem.empty())
            if (const TabelaLinhas::Linha* l = busca(); l != nullptr) {
                if (linha != nullptr) *linha = l;
                if (l->cod_cli == *cod) plano = l->indice_plano;
            }
        return std::pair(*cod, plano);
    }
    if (pedido_.linhas == nullptr || r.origem.empty()) return std::nullopt;
    const TabelaLinhas::Linha* l = busca();
    if (l == nullptr) return std::nullopt;
    if (linha != nullptr) *linha = l;
    return std::pair(l->cod_cli, l->indice_plano);
}

void CobrancaRegistros::anota(std::size_t linha, std::string_view motivo, std::string_view texto) {
    const DialetoCsv d = pedido_.dialeto;
    acrescenta_campo_csv(rejeitadas_, arquivo_, d);
    rejeitadas_ += fmt::format(FMT_COMPILE("{}{}{}"), d.separador, linha, d.separador);
    acrescenta_campo_csv(rejeitadas_, motivo, d);
    rejeitadas_ += d.separador;
    acrescenta_campo_csv(rejeitadas_, texto, d);
    rejeitadas_ += d.fim_de_linha;
}

// Inline in its one caller, as most rows' bill is one found lately.
[[gnu::always_inline]] inline ContaMensal& CobrancaRegistros::conta_de(std::uint32_t cod, TData d) {
    auto& contas = contas_.contas;
    const std::uint64_t chave = chave_conta(cod, d);
    // Most rows are of a few customers and months: a bill found lately is the likely one.
    Recente& recente = recentes_[(cod ^ chave) % recentes_.size()];
    if (recente.conta != 0 && recente.chave == chave)
        return contas[ultima_conta_ = recente.conta - 1];
    // Any other found in one step, however many months the records span.
    const auto [it, nova] = indice_.try_emplace(chave, contas.size());
    if (nova) contas.push_back({cod, d.ano, d.mes, 0, 0, {}, 0});
    ultima_conta_ = it->second;
    recente = {chave, ultima_conta_ + 1};
    return contas[ultima_conta_];
}

std::uint32_t CobrancaRegistros::exibido(std::string_view numero) {
    const std::uint32_t i = escritos_.guarda(numero);
    if (i == como_.size()) como_.push_back(contas_.textos.guarda(numero_exibido(numero)));
    return como_[i];
}

namespace {

// A record's date-time as a number in their order, above 0: its fields are never negative.
std::uint64_t na_ordem(const TDataHora& d) {
    const auto byte = [](std::int8_t v) { return std::uint64_t{static_cast<std::uint8_t>(v)}; };
    return std::uint64_t{static_cast<std::uint16_t>(d.dat.ano)} << 40 | byte(d.dat.mes) << 32 |
           byte(d.dat.dia) << 24 | byte(d.hor.hor) << 16 | byte(d.hor.min) << 8 | byte(d.hor.seg);
}

// What makes a call one call besides its answer time and billed seconds, in the key's order.
constexpr std::array<std::string_view RegistroChamada::*, 6> textos_da_chave{
    &RegistroChamada::origem,    &RegistroChamada::destino, &RegistroChamada::unico,
    &RegistroChamada::sequencia, &RegistroChamada::conta,   &RegistroChamada::cod_destino};

// A key equal for two numbers exactly when a bill shows them alike: a Brazilian mobile or
// landline by its digits, any other text of digits alone by them and their count; 0 for
// anything else.
std::uint64_t chave_numero(const Telefone& t, std::string_view escrito) {
    if (t.forma() == FormaNumero::nacional && (t.movel() || t.fixo()))
        return std::uint64_t{1} << 63U | t.valor();
    if (!t.escrito_em_digitos() || escrito.size() > 17) return 0;
    // These forms keep the digits as written: their value and count.
    if (t.forma() == FormaNumero::digitos || t.forma() == FormaNumero::local ||
        t.forma() == FormaNumero::nao_geografico)
        return std::uint64_t{1} << 62U | *t.chave_numerica();
    std::uint64_t v = 0;
    for (const char c : escrito)
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    return std::uint64_t{1} << 62U | (v * 32 + escrito.size());
}

}  // namespace

std::uint64_t CobrancaRegistros::chave(const RegistroChamada& r) {
    // The key of chave_da_chamada as a number. The lengths of its texts come in first, so that no
    // two ways of cutting the same bytes into fields make the same key, then their bytes; a date
    // and time is written one way only.
    // Read from the row where they are, rather than copied first.
    const auto t = [&](std::size_t i) -> std::string_view { return r.*textos_da_chave[i]; };
    const auto dois = [&](std::size_t i) {
        return t(i).size() | std::uint64_t{t(i + 1).size()} << 32;
    };
    std::uint64_t h = junta(junta(junta(0, dois(0)), dois(2)), dois(4));
    // Unrolled, each text's way through junta_bytes is its own: texts differ in size, but each
    // is mostly the same size row after row.
#pragma GCC unroll 6
    for (std::size_t i = 0; i < textos_da_chave.size(); ++i)
        h = junta_bytes(h, t(i));
    const TDataHora& a = r.inicio;
    const auto u = [](std::int8_t v) { return std::uint64_t{static_cast<std::uint8_t>(v)}; };
    h = junta(h, std::uint64_t{std::bit_cast<std::uint32_t>(a.dat)} << 24 | u(a.hor.hor) << 16 |
                     u(a.hor.min) << 8 | u(a.hor.seg));
    return mistura(junta(h, r.segundos));
}

bool ChavesVistas::contem(std::uint64_t k) const {
    if (k == 0) return zero_;
    const std::size_t m = vagas_.size() - 1;
    for (std::size_t i = k & m;; i = (i + 1) & m) {
        if (vagas_[i] == k) return true;
        if (vagas_[i] == 0) return false;
    }
}

bool ChavesVistas::insere(std::uint64_t k) {
    if (k == 0) return !std::exchange(zero_, true);
    if (4 * (n_ + 1) > 3 * vagas_.size()) cresce(vagas_.size() * 2);
    const std::size_t m = vagas_.size() - 1;
    for (std::size_t i = k & m;; i = (i + 1) & m) {
        if (vagas_[i] == k) return false;
        if (vagas_[i] == 0) {
            vagas_[i] = k;
            ++n_;
            return true;
        }
    }
}

void ChavesVistas::reserva(std::size_t n) {
    std::size_t vagas = vagas_.size();
    while (3 * vagas < 4 * n)
        vagas *= 2;
    if (vagas != vagas_.size()) cresce(vagas);
}

void ChavesVistas::cresce(std::size_t vagas) {
    Vagas antes(vagas);
    antes.swap(vagas_);
    n_ = 0;
    for (const std::uint64_t k : antes)
        if (k != 0) insere(k);
}

bool CobrancaRegistros::do_mes(const RegistroChamada& r) const {
    return !pedido_.mes ||
           (r.inicio.dat.ano == pedido_.mes->ano && r.inicio.dat.mes == pedido_.mes->mes);
}

CobrancaRegistros::Avaliacao CobrancaRegistros::avalia(const RegistroChamada& r,
                                                       std::uint64_t chave, DiaTarifado& dia,
                                                       LinhasLembradas& lembradas) const {
    // The caller's number is read only when a price list or the lines file asks for it.
    std::optional<Telefone> le_origem;
    const TabelaLinhas::Linha* linha = nullptr;
    Avaliacao a{chave, 0, 0, {}, cliente_de(r, le_origem, lembradas, &linha)};
    if (const Tarifa& t = *pedido_.tarifa; a.dono && do_mes(r) && t.lista()) {
        const Telefone& origem = le_origem ? *le_origem : le_origem.emplace(r.origem);
        const Telefone numero(r.destino);
        a.tarifada = t.avalia(area_de(origem, t.ddd), numero,
                              pedido_.linhas != nullptr && pedido_.linhas->busca(numero) != nullptr,
                              r.inicio, a.dono->second, dia);
        if (em_ordem_) {
            a.numero = chave_numero(numero, r.destino);
            a.linha = chave_numero(origem, r.origem);
            // A caller named as a line is that line: the lines file keys a name by its text.
            if (a.linha == 0 && linha != nullptr && origem.forma() == FormaNumero::nome)
                a.linha = std::uint64_t{1} << 61U | reinterpret_cast<std::uintptr_t>(linha);
        }
    }
    return a;
}

std::string chave_da_chamada(const RegistroChamada& r) {
    const TDataHora& d = r.inicio;
    std::string k = fmt::format(FMT_COMPILE("{:04}-{:02}-{:02} {:02}:{:02}:{:02}"), d.dat.ano,
                                d.dat.mes, d.dat.dia, d.hor.hor, d.hor.min, d.hor.seg);
    for (std::size_t i = 0; i < textos_da_chave.size(); ++i) {
        if (i == 2) fmt::format_to(std::back_inserter(k), FMT_COMPILE("|{}"), r.segundos);
        k += '|';
        for (const char c : r.*textos_da_chave[i]) {
            if (c == '|' || c == '\\') k += '\\';
            k += c;
        }
    }
    return k;
}

void CobrancaRegistros::registro(const RegistroChamada& r) {
    registros({&r, 1});
}

void CobrancaRegistros::registros(std::span<const RegistroChamada> rs) {
    // The keys of a few rows first, and their places in the set fetched meanwhile: a set larger
    // than the caches has each row otherwise wait for its place.
    constexpr std::size_t lote = 32;
    std::array<std::uint64_t, lote> chaves;
    for (std::size_t i0 = 0; i0 < rs.size(); i0 += lote) {
        const std::span<const RegistroChamada> l = rs.subspan(i0, std::min(lote, rs.size() - i0));
        for (std::size_t i = 0; i < l.size(); ++i)
            if (l[i].cobravel) chaves_.antecipa(chaves[i] = chave(l[i]));
        for (std::size_t i = 0; i < l.size(); ++i) {
            ++resumo_.registros;
            if (!l[i].cobravel)
                ++resumo_.nao_cobraveis;
            else
                cobra(l[i], avalia(l[i], chaves[i], dia_, lembradas_));
        }
    }
}

void CobrancaRegistros::cobra(const RegistroChamada& r, const Avaliacao& a) {
    if (!chaves_.insere(a.chave)) {
        ++resumo_.duplicados;
        return;
    }
    if (pedido_.faturadas != nullptr && pedido_.faturadas->contem(r)) {
        ++resumo_.ja_faturados;
        return;
    }
    const auto& dono = a.dono;
    if (!dono) {
        ++resumo_.sem_cliente;
        if (pedido_.aceita_rejeitados) anota(r.linha, "sem cliente", r.texto);
        const std::string_view chamador = r.origem.empty() ? r.conta : r.origem;
        auto& lista = resumo_.sem_cliente_por_chamador;
        const auto [it, novo] =
            sem_cliente_.try_emplace(std::string(Telefone(chamador).chave()), lista.size());
        if (novo) lista.push_back({std::string(chamador), 0, 0});
        ++lista[it->second].chamadas;
        lista[it->second].segundos += r.segundos;
        return;
    }
    if (!do_mes(r)) {
        ++resumo_.outros_meses;
        return;
    }
    const std::uint32_t cod = dono->first;
    const Tarifa& t = *pedido_.tarifa;
    const std::optional<ChamadaTarifada>& tarifada = a.tarifada;
    if (t.lista()) {
        if (!tarifada) {
            ++resumo_.rejeitados;
            if (pedido_.aceita_rejeitados)
                anota(r.linha, "sem tarifa", r.texto);
            else if (erro_.ok())
                erro_ = Erro::dados(arquivo_, r.linha, "sem tarifa: " + std::string(r.destino));
            return;
        }
        if (meses_.empty() || meses_.back() != chave_mes(r.inicio.dat))
            meses_.push_back(chave_mes(r.inicio.dat));
    }
    ++resumo_.cobrados;
    if (const std::uint64_t n = na_ordem(r.inicio); n > ultima_na_ordem_) {
        ultima_na_ordem_ = n;
        ultima_ = r.inicio;
    }
    const bool em_ordem = tarifada && em_ordem_;
    const std::int64_t centavos =
        em_ordem   ? 0
        : tarifada ? centavos_de(tarifada->preco, t.regras.segundos_cobrados(r.segundos))
                   : t.centavos(r.segundos);
    if (!pedido_.guarda_chamadas) {
        conta_de(cod, r.inicio.dat).soma(r.segundos, {true, centavos, 0.0F});
        if (!em_ordem) return;
        // The line's calls of this bill: by the line's key, then the bill.
        const std::uint64_t linha = a.linha != 0 ? a.linha : outros_numeros_.guarda(r.origem);
        const TDataHora& i = r.inicio;
        const auto segundo = static_cast<std::uint32_t>(((i.dat.dia - 1) * 24 + i.hor.hor) * 3600 +
                                                        i.hor.min * 60 + i.hor.seg);
        linha_da_conta(linha, ultima_conta_, dono->second)
            .acrescenta({a.numero != 0 ? a.numero : outros_numeros_.guarda(r.destino),
                         tarifada->preco, segundo, tarifada->na_franquia, r.segundos},
                        *this);
        return;
    }
    ChamadaCobrada& c = contas_.chamadas.emplace_back(ChamadaCobrada{
        r.inicio, r.fim, cod, r.segundos, exibido(r.destino), contas_.textos.guarda(r.cod_destino),
        exibido(r.origem), static_cast<std::uint32_t>(contas_.chamadas.size()), centavos});
    if (pedido_.guarda_chaves) contas_.chaves.push_back(chave_da_chamada(r));
    if (tarifada) {
        c.preco = tarifada->preco;
        c.cobrados = static_cast<std::uint32_t>(t.regras.segundos_cobrados(r.segundos));
        c.destino_tarifa = tarifada->destino;
        c.plano = dono->second;
        c.reduzido = tarifada->reduzido;
    }
}

void CobrancaRegistros::novo_pedaco(LinhaDaConta& l) {
    std::vector<Pendente*>& pedacos =
        pedacos_[static_cast<std::size_t>(&l - linhas_das_contas_.data())];
    const std::size_t n = tamanho_do_pedaco(pedacos.size());
    if (blocos_.empty() || blocos_.back().size() + n > por_bloco)
        blocos_.emplace_back().reserve(por_bloco);
    Bloco& b = blocos_.back();
    b.resize(b.size() + n);
    l.proxima = b.data() + b.size() - n;
    l.fim = l.proxima + n;
    pedacos.push_back(l.proxima);
}

CobrancaRegistros::LinhaDaConta& CobrancaRegistros::nova_linha_da_conta(std::uint64_t linha,
                                                                        std::size_t conta,
                                                                        std::uint16_t plano) {
    linhas_das_contas_.push_back(
        {linha, nullptr, nullptr, static_cast<std::uint32_t>(conta), plano});
    pedacos_.emplace_back();
    vaga(linha, conta) = static_cast<std::uint32_t>(linhas_das_contas_.size());
    if (2 * linhas_das_contas_.size() > vagas_.size()) {
        std::vector<std::uint32_t> antes(vagas_.size() * 2);
        antes.swap(vagas_);
        for (const std::uint32_t w : antes)
            if (w != 0) vaga(linhas_das_contas_[w - 1].linha, linhas_das_contas_[w - 1].conta) = w;
    }
    return linhas_das_contas_.back();
}

bool CobrancaRegistros::rejeitado(const RegistroRejeitado& r) {
    ++resumo_.registros;
    ++resumo_.rejeitados;
    if (!pedido_.aceita_rejeitados) return false;
    anota(r.linha, r.motivo, r.texto);
    return true;
}

namespace {

// Things kept in the order they come, in pieces of a fixed size: never copied to grow, and
// each piece allocated once for many, in huge pages: a page fault every 2 MiB of them.
template <class T>
class EmPedacos {
  public:
    T& push_back(const T& v) {
        if (n_++ % pedaco == 0) pedacos_.emplace_back().reserve(pedaco);
        return pedacos_.back().emplace_back(v);
    }
    [[nodiscard]] std::size_t size() const { return n_; }
    T& operator[](std::size_t i) { return pedacos_[i / pedaco][i % pedaco]; }

  private:
    static constexpr std::size_t pedaco = std::bit_ceil(EmPaginasGrandes<T>::pagina / sizeof(T));
    std::vector<std::vector<T, EmPaginasGrandes<T>>> pedacos_;
    std::size_t n_ = 0;
};

}  // namespace

// The rows of a later part of a file. Each billable one is looked at on the part's thread, and
// kept with what it came to and the texts that adding it to the bills may read: the numbers and
// codes when calls are kept or it has no customer, the row itself when it may be written down.
class CobrancaRegistros::Parte final : public ParteRegistros {
  public:
    explicit Parte(CobrancaRegistros& c) : c_(c) {}

    void registro(const RegistroChamada& r) override {
        if (!r.cobravel) {
            ++nao_cobraveis_;
            return;
        }
        const Avaliacao a = c_.avalia(r, chave(r), dia_, lembradas_);
        const PedidoCobranca& p = c_.pedido_;
        Guardado& g = guardados_.push_back(Guardado{r.linha, std::string::npos, a.chave, r.inicio,
                                                    r.fim, r.segundos, 0, sem_avaliacao, 0,
                                                    a.dono.has_value(), false});
        if (a.dono) std::tie(g.cod, g.plano) = *a.dono;
        if (a.tarifada || a.numero != 0 || a.linha != 0) {
            g.avaliacao = static_cast<std::uint32_t>(avaliacoes_.size());
            avaliacoes_.push_back({a.numero, a.linha, a.tarifada.value_or(sem_tarifa)});
        }
        // A book asks for the whole key of a call (chave_da_chamada).
        const bool chave = p.faturadas != nullptr || p.guarda_chaves;
        if (!c_.le_textos(a) && !chave) return;
        g.textos = textos_.size();
        for (const std::string_view t : {r.conta, r.origem, r.destino, r.cod_destino})
            guarda(t);
        if (chave) {
            guarda(r.unico);
            guarda(r.sequencia);
        }
        guarda(p.aceita_rejeitados && (!a.dono || p.tarifa->lista()) ? r.texto
                                                                     : std::string_view{});
    }

    bool rejeitado(const RegistroRejeitado& r) override {
        guardados_.push_back(
            {r.linha, textos_.size(), 0, {}, {}, 0, 0, sem_avaliacao, 0, false, true});
        guarda(r.motivo);
        guarda(r.texto);
        return c_.pedido_.aceita_rejeitados;
    }

    bool repete(std::size_t antes) override {
        c_.resumo_.registros += nao_cobraveis_;
        c_.resumo_.nao_cobraveis += nao_cobraveis_;
        // The places of the keys a few rows ahead fetched meanwhile, as ChavesVistas::antecipa.
        constexpr std::size_t adiante = 16;
        for (std::size_t i = 0; i < std::min(adiante, guardados_.size()); ++i)
            c_.chaves_.antecipa(guardados_[i].chave);
        // One record for every row, each of its fields set again for the next.
        RegistroChamada r{};
        r.cobravel = true;
        for (std::size_t i = 0; i < guardados_.size(); ++i) {
            if (i + adiante < guardados_.size()) c_.chaves_.antecipa(guardados_[i + adiante].chave);
            const Guardado& g = guardados_[i];
            std::size_t p = g.textos;
            const auto texto = [&] {
                if (p == std::string::npos) return std::string_view{};
                std::uint32_t n = 0;
                std::memcpy(&n, textos_.data() + p, sizeof n);
                p += sizeof n + n;
                return std::string_view(textos_).substr(p - n, n);
            };
            if (g.rejeitado) {
                const std::string_view motivo = texto();
                if (!c_.rejeitado({antes + g.linha, motivo, texto()})) return false;
                continue;
            }
            ++c_.resumo_.registros;
            r.linha = antes + g.linha;
            r.inicio = g.inicio;
            r.fim = g.fim;
            r.segundos = g.segundos;
            r.conta = texto();
            r.origem = texto();
            r.destino = texto();
            r.cod_destino = texto();
            if (c_.pedido_.faturadas != nullptr || c_.pedido_.guarda_chaves) {
                r.unico = texto();
                r.sequencia = texto();
            }
            r.texto = texto();
            Avaliacao a{g.chave, {}, {}, {}, {}};
            if (g.dono) a.dono = std::pair(g.cod, g.plano);
            if (g.avaliacao != sem_avaliacao) {
                const Avaliado& v = avaliacoes_[g.avaliacao];
                a.numero = v.numero;
                a.linha = v.linha;
                if (v.tarifada.preco != sem_tarifa.preco) a.tarifada = v.tarifada;
            }
            c_.cobra(r, a);
        }
        return true;
    }

  private:
    // A billable row, or a rejected one (its reason and bytes its texts): its Avaliacao's key
    // and customer, and the rest in avaliacoes_ when it was rated.
    struct Guardado {
        std::size_t linha;   // from the part's start
        std::size_t textos;  // where its texts begin in textos_; npos: none kept
        std::uint64_t chave;
        TDataHora inicio, fim;
        std::uint32_t segundos;
        std::uint32_t cod;
        std::uint32_t avaliacao;  // its place in avaliacoes_, or sem_avaliacao
        std::uint16_t plano;
        bool dono;
        bool rejeitado;
    };
    static constexpr std::uint32_t sem_avaliacao = UINT32_MAX;
    // The rest of a rated row's Avaliacao (its key and customer are in its Guardado): 32 bytes
    // rather than 64, a part's rated rows taking that many fewer pages.
    struct Avaliado {
        std::uint64_t numero, linha;
        ChamadaTarifada tarifada;  // sem_tarifa: none
    };
    static constexpr ChamadaTarifada sem_tarifa{-1, 0, false, false};
    void guarda(std::string_view t) {
        const auto n = static_cast<std::uint32_t>(t.size());
        textos_.append(reinterpret_cast<const char*>(&n), sizeof n).append(t);
    }

    CobrancaRegistros& c_;
    // In pieces: a large part's rows are never copied to grow.
    EmPedacos<Guardado> guardados_;
    EmPedacos<Avaliado> avaliacoes_;
    DiaTarifado dia_;
    LinhasLembradas lembradas_;
    std::string textos_;  // each text kept as its length (4 bytes) and its bytes
    std::uint64_t nao_cobraveis_ = 0;
};

std::unique_ptr<ParteRegistros> CobrancaRegistros::parte() {
    return std::make_unique<Parte>(*this);
}

namespace {

// Sorts keys "second << 32 | place", the second under 2^24 (of a month), by the second, places
// of one second in their order: by the second's bytes, lowest first, each pass keeping the order
// of the one before. No comparison to guess at, as a month's calls come in any order.
void ordena_por_segundo(std::vector<std::uint64_t>& v, std::vector<std::uint64_t>& outro) {
    outro.resize(v.size());
    // The counts of every byte in one pass over the keys.
    std::array<std::array<std::uint32_t, 257>, 3> inicios{};
    for (const std::uint64_t k : v)
        for (std::size_t b = 0; b < inicios.size(); ++b)
            ++inicios[b][((k >> (32 + 8 * b)) & 0xFFU) + 1];
    for (std::size_t b = 0; b < inicios.size(); ++b) {
        const auto desloca = static_cast<unsigned>(32 + 8 * b);
        std::array<std::uint32_t, 257>& inicio = inicios[b];
        if (inicio[((v[0] >> desloca) & 0xFFU) + 1] == v.size()) continue;  // one byte for all
        std::partial_sum(inicio.begin(), inicio.end(), inicio.begin());
        for (const std::uint64_t k : v)
            outro[inicio[(k >> desloca) & 0xFFU]++] = k;
        v.swap(outro);
    }
}

}  // namespace

void CobrancaRegistros::cobra_em_ordem() {
    // Each line's calls of a bill by answer, which keeps the order they were read in within a
    // second. They are few enough to stay in the caches while they are sorted and rated.
    const Tarifa& t = *pedido_.tarifa;
    std::vector<Pendente> chamadas;
    std::vector<std::uint64_t> ordem, outro;  // each call as its answer's second, then its place
    for (std::size_t j = 0; j < linhas_das_contas_.size(); ++j) {
        const LinhaDaConta& l = linhas_das_contas_[j];
        const std::vector<Pendente*>& pedacos = pedacos_[j];
        chamadas.clear();
        for (std::size_t k = 0; k < pedacos.size(); ++k) {
            const Pendente* p = pedacos[k];
            chamadas.insert(chamadas.end(), p,
                            k + 1 == pedacos.size() ? l.proxima : p + tamanho_do_pedaco(k));
        }
        ordem.clear();
        for (std::uint32_t i = 0; i < chamadas.size(); ++i)
            ordem.push_back(std::uint64_t{chamadas[i].inicio} << 32U | i);
        // Keys are unique: a sort by comparison gives the radix sort's order. Up to 16 calls it
        // is an insertion sort, whose few mispredicted branches cost less than the passes over
        // 256 counts; beyond, its comparisons mispredict about every other time.
        if (!std::ranges::is_sorted(ordem)) {
            if (ordem.size() <= 16)
                std::ranges::sort(ordem);
            else
                ordena_por_segundo(ordem, outro);
        }
        ContaMensal& conta = contas_.contas[l.conta];
        ConsumoLinha consumo(t.planos[l.plano].franquia);
        for (const std::uint64_t o : ordem) {
            const Pendente& p = chamadas[o & 0xFFFFFFFFU];
            const ConsumoLinha::Parcela parcela =
                consumo.cobra(t.regras, p.numero, p.inicio, p.segundos, p.preco, p.na_franquia);
            conta.valor_total.centavos += parcela.centavos;
            conta.franquia_usada += parcela.da_franquia;
        }
    }
}

Contas CobrancaRegistros::termina() {
    cobra_em_ordem();
    agrupa_em_contas(contas_);
    if (contas_.tarifa != nullptr) {
        std::vector<LinhaComPlano> linhas;
        if (pedido_.linhas != nullptr)
            pedido_.linhas->para_cada([&](const TabelaLinhas::Linha& l) {
                linhas.push_back(
                    {l.cod_cli, l.indice_plano,
                     contas_.textos.guarda(numero_exibido(pedido_.linhas->numero(l)))});
            });
        std::ranges::sort(meses_);
        meses_.erase(std::unique(meses_.begin(), meses_.end()), meses_.end());
        if (pedido_.mes) meses_ = {chave_mes({1, pedido_.mes->mes, pedido_.mes->ano})};
        cobra_pela_lista(contas_, linhas, meses_);
    }
    resumo_.contas = contas_.contas.size();
    std::ranges::sort(resumo_.sem_cliente_por_chamador,
                      [](const SemCliente& a, const SemCliente& b) {
                          return std::tuple(b.chamadas, b.segundos, a.chamador) <
                                 std::tuple(a.chamadas, a.segundos, b.chamador);
                      });
    return std::move(contas_);
}

Erro acha_planos(TabelaLinhas& linhas, const Tarifa& tarifa, const std::string& arquivo) {
    if (!tarifa.lista()) return {};
    std::vector<std::uint16_t> indices;
    for (const TabelaLinhas::PlanoLido& p : linhas.planos()) {
        const auto it = std::ranges::find(tarifa.planos, p.nome, &Plano::nome);
        if (p.nome.empty())
            indices.push_back(0);
        else if (it == tarifa.planos.end())
            return Erro::dados(arquivo, p.linha, "plano desconhecido: " + p.nome);
        else
            indices.push_back(static_cast<std::uint16_t>(it - tarifa.planos.begin()));
    }
    linhas.poe_planos(indices);
    return {};
}

Cobradas cobra_arquivos(const ArquivosRegistros& a, PedidoCobranca pedido) {
    Cobradas r;
    std::vector<Identidade> vistos;
    for (const std::string& arquivo : a.chamadas) {
        const Identidade id = identidade_lida(arquivo);
        if (const auto antes =
                std::ranges::find_if(vistos, [&](const Identidade& v) { return v.e(id); });
            antes != vistos.end()) {
            r.erro = Erro::recusado(
                arquivo, "e o mesmo arquivo que " +
                             a.chamadas[static_cast<std::size_t>(antes - vistos.begin())] +
                             ": as chamadas seriam cobradas duas vezes");
            return r;
        }
        vistos.push_back(id);
    }
    TabelaLinhas linhas;
    pedido.linhas = a.tabela;
    if (!a.linhas.empty()) {
        if (r.erro = le_linhas(a.linhas, *pedido.clientes, linhas); !r.erro.ok()) return r;
        if (r.erro = acha_planos(linhas, *pedido.tarifa, a.linhas); !r.erro.ok()) return r;
        pedido.linhas = &linhas;
    }
    CobrancaRegistros cobranca(pedido);
    for (const std::string& arquivo : a.chamadas)
        if (r.erro = cobranca.le(arquivo); !r.erro.ok()) return r;
    r.contas = cobranca.termina();
    r.resumo = cobranca.resumo();
    r.ultima = cobranca.ultima();
    r.rejeitadas = cobranca.rejeitadas();
    return r;
}
