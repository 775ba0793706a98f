#include "registros.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "campos_csv.h"

namespace {

constexpr std::string_view cabecalho_proprio =
    "origem,destino,telefone_destino,inicio,fim,duracao,valor";
constexpr std::string_view cabecalho_proprio_planilha =
    "origem;destino;telefone_destino;inicio;fim;duracao;valor";
constexpr std::string_view bom = "\xEF\xBB\xBF";

// A row longer than this is refused (and only this much of it kept): a file without line ends
// must not fill the memory.
constexpr std::size_t maximo_linha = 64 * 1024;
// A NUL byte among the first bytes of a file makes it binary, as grep decides.
constexpr std::size_t inicio_conferido = 4096;

// The fields of each layout, from 0, and how many the layout has.
struct Layout {
    std::size_t campos;
    std::size_t conta, origem, destino, inicio, atendimento, fim, segundos, disposicao, flags;
};
// The fields of a layout that are looked at: the only ones the block scanner hands over.
constexpr std::uint32_t lidos(const Layout& l) {
    std::uint32_t u = 0;
    for (const std::size_t i : {l.conta, l.origem, l.destino, l.inicio, l.atendimento, l.fim,
                                l.segundos, l.disposicao, l.flags})
        u |= std::uint32_t{1} << i;
    return u;
}
constexpr Layout layout_csv{16, 0, 1, 2, 9, 10, 11, 13, 14, 15};
constexpr Layout layout_custom{19, 15, 1, 2, 8, 9, 10, 12, 13, 14};
// The own CSV: origem, destino, telefone_destino, inicio, fim, duracao, valor.
constexpr std::size_t campos_proprio = 7;

constexpr std::array<std::string_view, 5> disposicoes{"ANSWERED", "NO ANSWER", "BUSY", "FAILED",
                                                      "CONGESTION"};

constexpr std::string_view motivo_campos_de_menos = "campos de menos";
constexpr std::string_view motivo_campos_demais = "campos demais";
constexpr std::string_view motivo_aspas = "aspas sem fechamento ou texto depois das aspas";
constexpr std::string_view motivo_data = "data e hora fora do formato AAAA-MM-DD hh:mm:ss";
constexpr std::string_view motivo_data_impossivel = "data impossivel";
constexpr std::string_view motivo_segundos = "segundos que nao sao um inteiro nao negativo";
constexpr std::string_view motivo_longo = "registro longo demais";
constexpr std::string_view motivo_desconhecido =
    "nao e um registro de chamada (nem do PBX nem de contacel-exportar chamadas)";

bool e_digito(char c) {
    return c >= '0' && c <= '9';
}

// Eight bytes of `t` from `i`, the first in the lowest byte.
std::uint64_t oito(std::string_view t, std::size_t i) {
    std::uint64_t x = 0;
    std::memcpy(&x, t.data() + i, sizeof x);
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    return x;
}

// Whether the bytes of `x` under `digitos` (0xFF each) are ASCII digits: their high half 3,
// and still 3 with 6 added. A byte's carry reaches the next only from a byte that is no digit.
bool sao_digitos(std::uint64_t x, std::uint64_t digitos) {
    const std::uint64_t altos = digitos & 0xF0F0F0F0F0F0F0F0;
    const std::uint64_t tres = digitos & 0x3030303030303030;
    return (x & altos) == tres && ((x + (digitos & 0x0606060606060606)) & altos) == tres;
}

// "AAAA-MM-DD hh:mm:ss", a real date and time; the reason when it is not. Read eight bytes at
// a time: "AAAA-MM-", "DD hh:mm" and "hh:mm:ss"; a date the same as the one before is not
// looked at again.
std::string_view le_data_hora(std::string_view t, TDataHora& dh, DataLida& antes) {
    if (t.size() != 19) return motivo_data;
    const std::uint64_t a = oito(t, 0), b = oito(t, 8), c = oito(t, 11);
    constexpr std::uint64_t sep_a = 0xFF0000FF00000000, sep_c = 0x0000FF0000FF0000;
    constexpr std::uint64_t dia = 0xFFFF;  // of b
    const bool mesma = a == antes.a && (b & dia) == antes.dia;
    if ((b & 0xFF0000) != 0x200000 || (c & sep_c) != 0x00003A00003A0000 ||
        !sao_digitos(c, ~sep_c) ||
        (!mesma &&
         ((a & sep_a) != 0x2D00002D00000000 || !sao_digitos(a, ~sep_a) || !sao_digitos(b, dia))))
        return motivo_data;
    const auto digito = [](std::uint64_t x, unsigned i) {
        return static_cast<int>((x >> (8 * i)) & 0xFF) - '0';
    };
    if (!mesma) {
        const int ano = digito(a, 0) * 1000 + digito(a, 1) * 100 + digito(a, 2) * 10 + digito(a, 3);
        const int mes = digito(a, 5) * 10 + digito(a, 6);
        const int d = digito(b, 0) * 10 + digito(b, 1);
        if (ano == 0 || mes == 0 || mes > 12 || d == 0 ||
            d > ndm[static_cast<std::size_t>(mes)] + (mes == 2 ? e_bissexto(ano) : 0))
            return motivo_data_impossivel;
        antes = {a,
                 b & dia,
                 {static_cast<std::int8_t>(d), static_cast<std::int8_t>(mes),
                  static_cast<std::int16_t>(ano)}};
    }
    const int h = digito(c, 0) * 10 + digito(c, 1);
    const int m = digito(c, 3) * 10 + digito(c, 4);
    const int s = digito(c, 6) * 10 + digito(c, 7);
    if (h > 23 || m > 59 || s > 59) return motivo_data_impossivel;
    dh.dat = antes.dat;
    dh.hor = {static_cast<std::int8_t>(h), static_cast<std::int8_t>(m),
              static_cast<std::int8_t>(s)};
    return {};
}

// Digits only, of a number that fits in 32 bits (leading zeros as many as written).
bool le_segundos(std::string_view t, std::uint32_t& s) {
    if (t.empty()) return false;
    std::uint64_t v = 0;
    for (const char c : t) {
        if (!e_digito(c)) return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > UINT32_MAX) return false;
    }
    s = static_cast<std::uint32_t>(v);
    return true;
}

// A spreadsheet shows a field opened by one of these as a formula: the spreadsheet dialect
// writes an apostrophe before it, which is not part of the text.
std::string_view sem_apostrofo(std::string_view t) {
    if (t.size() >= 2 && t[0] == '\'' &&
        std::string_view("=+-@\t\r").find(t[1]) != std::string_view::npos)
        t.remove_prefix(1);
    return t;
}

}  // namespace

bool AnalisadorRegistros::rejeita(std::string_view motivo, std::string_view texto,
                                  DestinoRegistros& destino) {
    if (destino.rejeitado({linha_, motivo, texto})) return true;
    erro_ = Erro{TipoErro::dados, {}, linha_, 0, std::string(motivo)};
    return false;
}

std::string_view AnalisadorRegistros::campo(std::size_t i) {
    if (i >= campos_.n) return {};
    const std::string_view c = campos_.campos[i];
    if ((campos_.duplas & (1U << i)) == 0) return c;
    return desfaz_aspas(c, sem_aspas_);
}

bool AnalisadorRegistros::detecta(std::string_view linha, DestinoRegistros& destino) {
    if (linha == cabecalho_proprio || linha == cabecalho_proprio_planilha) {
        formato_ = FormatoRegistros::proprio;
        separador_ = linha[6];
        return true;
    }
    separa_campos(linha, ',', layout_custom.campos, campos_);
    const auto disposicao_em = [&](std::size_t i) {
        return campos_.n > i && std::ranges::find(disposicoes, campo(i)) != disposicoes.end();
    };
    if (campos_.valido && campos_.n >= layout_csv.campos && disposicao_em(layout_csv.disposicao))
        formato_ = FormatoRegistros::pbx_csv;
    else if (campos_.valido && campos_.n >= layout_custom.campos &&
             disposicao_em(layout_custom.disposicao))
        formato_ = FormatoRegistros::pbx_custom;
    else
        return rejeita(motivo_desconhecido, linha, destino);
    return registro_pbx(linha, destino);
}

std::uint32_t AnalisadorRegistros::campos_lidos() const {
    if (formato_ == FormatoRegistros::proprio) return (std::uint32_t{1} << campos_proprio) - 1;
    return lidos(formato_ == FormatoRegistros::pbx_csv ? layout_csv : layout_custom);
}

std::size_t AnalisadorRegistros::campos_do_formato() const {
    if (formato_ == FormatoRegistros::proprio) return campos_proprio;
    return formato_ == FormatoRegistros::pbx_csv ? layout_csv.campos : layout_custom.campos;
}

bool AnalisadorRegistros::registro_pbx(std::string_view linha, DestinoRegistros& destino) {
    separa_campos(linha, ',', campos_do_formato(), campos_);
    return avalia_pbx(linha, destino);
}

bool AnalisadorRegistros::avalia_pbx(std::string_view linha, DestinoRegistros& destino) {
    const Layout& l = formato_ == FormatoRegistros::pbx_csv ? layout_csv : layout_custom;
    if (!campos_.valido) return rejeita(motivo_aspas, linha, destino);
    if (campos_.n < l.campos) return rejeita(motivo_campos_de_menos, linha, destino);
    sem_aspas_.clear();
    sem_aspas_.reserve(linha.size());
    RegistroChamada r{};
    r.linha = linha_;
    r.formato = *formato_;
    r.texto = linha;
    r.conta = campo(l.conta);
    r.origem = campo(l.origem);
    r.destino = campo(l.destino);
    TDataHora partida{};
    if (const std::string_view m = le_data_hora(campo(l.inicio), partida, data_lida_); !m.empty())
        return rejeita(m, linha, destino);
    r.inicio = partida;
    if (const std::string_view atendimento = campo(l.atendimento); !atendimento.empty())
        if (const std::string_view m = le_data_hora(atendimento, r.inicio, data_lida_); !m.empty())
            return rejeita(m, linha, destino);
    r.fim = partida;
    if (const std::string_view fim = campo(l.fim); !fim.empty())
        if (const std::string_view m = le_data_hora(fim, r.fim, data_lida_); !m.empty())
            return rejeita(m, linha, destino);
    if (!le_segundos(campo(l.segundos), r.segundos))
        return rejeita(motivo_segundos, linha, destino);
    r.cobravel = r.segundos > 0 && campo(l.disposicao) == "ANSWERED" && campo(l.flags) != "OMIT";
    destino.registro(r);
    return true;
}

bool AnalisadorRegistros::registro_proprio(std::string_view linha, DestinoRegistros& destino) {
    separa_campos(linha, separador_, campos_proprio, campos_);
    return avalia_proprio(linha, destino);
}

bool AnalisadorRegistros::avalia_proprio(std::string_view linha, DestinoRegistros& destino) {
    if (!campos_.valido) return rejeita(motivo_aspas, linha, destino);
    if (campos_.n < campos_proprio) return rejeita(motivo_campos_de_menos, linha, destino);
    if (campos_.mais) return rejeita(motivo_campos_demais, linha, destino);
    sem_aspas_.clear();
    sem_aspas_.reserve(linha.size());
    RegistroChamada r{};
    r.linha = linha_;
    r.formato = FormatoRegistros::proprio;
    r.texto = linha;
    r.conta = campo(0);
    r.cod_destino = campo(1);
    r.destino = separador_ == ';' ? sem_apostrofo(campo(2)) : campo(2);
    if (const std::string_view m = le_data_hora(campo(3), r.inicio, data_lida_); !m.empty())
        return rejeita(m, linha, destino);
    if (const std::string_view m = le_data_hora(campo(4), r.fim, data_lida_); !m.empty())
        return rejeita(m, linha, destino);
    if (!le_segundos(campo(5), r.segundos)) return rejeita(motivo_segundos, linha, destino);
    r.cobravel = true;
    destino.registro(r);
    return true;
}

bool AnalisadorRegistros::linha(std::string_view linha, bool longa, DestinoRegistros& destino) {
    ++linha_;
    if (linha_ == 1 && linha.starts_with(bom)) linha.remove_prefix(bom.size());
    if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
    if (longa || linha.size() > maximo_linha)
        return rejeita(motivo_longo, linha.substr(0, maximo_linha), destino);
    if (linha.empty()) return true;
    if (!formato_) return detecta(linha, destino);
    if (*formato_ == FormatoRegistros::proprio) return registro_proprio(linha, destino);
    return registro_pbx(linha, destino);
}

bool AnalisadorRegistros::linhas_completas(std::string_view bytes, DestinoRegistros& destino,
                                           std::size_t& usados) {
    usados = 0;
    // Row by row until the first row has told the kind of file,
    while (!formato_) {
        const void* nl = std::memchr(bytes.data() + usados, '\n', bytes.size() - usados);
        if (nl == nullptr) return true;
        const auto fim = static_cast<std::size_t>(static_cast<const char*>(nl) - bytes.data());
        const bool ok = linha(bytes.substr(usados, fim - usados), false, destino);
        usados = fim + 1;
        if (!ok) return false;
    }
    // then the rest of the block's whole rows in one pass, each row that is not plain (and each
    // one too long) as any row.
    const std::size_t fim = bytes.rfind('\n');
    if (fim == std::string_view::npos || fim < usados) return true;
    varredor_.prepara(bytes.substr(usados, fim + 1 - usados),
                      *formato_ == FormatoRegistros::proprio ? separador_ : ',',
                      campos_do_formato(), campos_lidos());
    std::string_view l;
    bool simples = false;
    while (varredor_.proxima(l, campos_, simples)) {
        usados = static_cast<std::size_t>(l.data() - bytes.data()) + l.size() + 1;
        bool ok = false;
        if (!simples || l.size() > maximo_linha) {
            ok = linha(l, false, destino);
        } else {
            ++linha_;
            ok = *formato_ == FormatoRegistros::proprio ? avalia_proprio(l, destino)
                                                        : avalia_pbx(l, destino);
        }
        if (!ok) return false;
    }
    return true;
}

void AnalisadorRegistros::guarda(std::string_view resto) {
    const std::size_t cabe = maximo_linha + 1 - std::min(pendente_.size(), maximo_linha + 1);
    if (resto.size() > cabe) longa_ = true;
    pendente_.append(resto.substr(0, cabe));
}

bool AnalisadorRegistros::consome(std::span<const char> bloco, DestinoRegistros& destino) {
    if (!erro_.ok()) return false;
    std::string_view b(bloco.data(), bloco.size());
    if (!conferido_) {
        // The first bytes wait until there are enough of them to tell a binary file.
        inicio_.append(b);
        if (inicio_.size() < inicio_conferido) return true;
        return confere_inicio(destino);
    }
    if (!pendente_.empty() || longa_) {
        // The row begun in an earlier block ends at the first line end of this one.
        const std::size_t nl = b.find('\n');
        guarda(b.substr(0, nl));
        if (nl == std::string_view::npos) return true;
        b.remove_prefix(nl + 1);
        const bool ok = linha(pendente_, longa_, destino);
        pendente_.clear();
        longa_ = false;
        if (!ok) return false;
    }
    std::size_t usados = 0;
    if (!linhas_completas(b, destino, usados)) return false;
    guarda(b.substr(usados));
    return true;
}

bool AnalisadorRegistros::confere_inicio(DestinoRegistros& destino) {
    conferido_ = true;
    if (inicio_.find('\0', 0) < inicio_conferido) {
        erro_ = Erro{TipoErro::dados,
                     {},
                     0,
                     0,
                     "arquivo binario, nao e um arquivo de registros de chamadas"};
        return false;
    }
    std::string inicio = std::move(inicio_);
    inicio_ = std::string();
    return consome(inicio, destino);
}

bool AnalisadorRegistros::termina(DestinoRegistros& destino) {
    if (!erro_.ok()) return false;
    if (!conferido_ && !confere_inicio(destino)) return false;
    if (pendente_.empty() && !longa_) return true;
    const bool ok = linha(pendente_, longa_, destino);
    pendente_.clear();
    longa_ = false;
    return ok;
}

namespace {

constexpr std::size_t tamanho_bloco = 256 * 1024;

// The file's descriptor, closed on every way out.
class Descritor {
  public:
    explicit Descritor(int fd) : fd_(fd) {}
    ~Descritor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descritor(const Descritor&) = delete;
    Descritor& operator=(const Descritor&) = delete;
    [[nodiscard]] int fd() const { return fd_; }
    int solta() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// read(2) as much as fits, past interruptions; -1 on failure.
ssize_t le_bloco(int fd, char* b, std::size_t n) {
    for (;;) {
        const ssize_t lidos = ::read(fd, b, n);
        if (lidos >= 0 || errno != EINTR) return lidos;
    }
}

}  // namespace

Erro le_registros(const std::string& caminho, DestinoRegistros& destino) {
    const auto falha = [&](TipoErro t, int sis, std::string detalhe = {}) {
        return Erro{t, caminho, 0, sis, std::move(detalhe)};
    };
    Descritor d(::open(caminho.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (d.fd() < 0) return falha(TipoErro::leitura, errno);
    struct stat info {};
    if (::fstat(d.fd(), &info) != 0) return falha(TipoErro::leitura, errno);
    if (S_ISDIR(info.st_mode))
        return falha(TipoErro::recusado, 0, "e uma pasta, nao um arquivo de registros");
    if (!S_ISREG(info.st_mode))
        return falha(TipoErro::recusado, 0, "nao e um arquivo comum (um dispositivo, um FIFO?)");

    AnalisadorRegistros a;
    const auto parou = [&] {
        Erro e = a.erro();
        e.arquivo = caminho;
        return e;
    };
    const auto bloco = std::make_unique_for_overwrite<char[]>(tamanho_bloco);
    std::array<unsigned char, 2> magica{};
    const bool gzip = ::pread(d.fd(), magica.data(), magica.size(), 0) == 2 && magica[0] == 0x1F &&
                      magica[1] == 0x8B;
    if (gzip) {
        // Compressed records (rotated logs) are read through zlib, whatever their name.
        gzFile gz = ::gzdopen(d.fd(), "rb");
        if (gz == nullptr) return falha(TipoErro::sistema, ENOMEM);
        d.solta();
        ::gzbuffer(gz, 128 * 1024);
        int lidos = 0;
        while ((lidos = ::gzread(gz, bloco.get(), tamanho_bloco)) > 0)
            if (!a.consome({bloco.get(), static_cast<std::size_t>(lidos)}, destino)) {
                ::gzclose_r(gz);
                return parou();
            }
        int z = Z_OK;
        const std::string detalhe = lidos < 0 ? ::gzerror(gz, &z) : "";
        const int fecho = ::gzclose_r(gz);
        if (lidos < 0 || fecho != Z_OK)
            return falha(TipoErro::leitura, z == Z_ERRNO ? errno : 0,
                         lidos < 0 ? "arquivo compactado corrompido (" + detalhe + ")"
                                   : "arquivo compactado incompleto");
    } else {
        ssize_t lidos = 0;
        while ((lidos = le_bloco(d.fd(), bloco.get(), tamanho_bloco)) > 0)
            if (!a.consome({bloco.get(), static_cast<std::size_t>(lidos)}, destino)) return parou();
        if (lidos < 0) return falha(TipoErro::leitura, errno);
    }
    if (!a.termina(destino)) return parou();
    return {};
}
