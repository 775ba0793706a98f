// The records reader (both PBX layouts, the own calls CSV, bad rows, any split into blocks,
// files), phone numbers as written and the lines file.

#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "apoio.h"
#include "linhas.h"
#include "registros.h"
#include "telefone.h"

namespace {

std::string iso(TDataHora d) {
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", d.dat.ano, d.dat.mes, d.dat.dia,
                       d.hor.hor, d.hor.min, d.hor.seg);
}

// What a reading hands over, one line of text per row.
struct Coleta final : DestinoRegistros {
    std::vector<std::string> linhas;
    std::vector<std::string> chamadas;  // each row's uniqueid/sequence
    bool aceita = true;                 // rejected rows do not stop the reading
    void registro(const RegistroChamada& r) override {
        chamadas.push_back(fmt::format("{}/{}", r.unico, r.sequencia));
        constexpr std::array<const char*, 3> formatos{"proprio", "csv", "custom"};
        linhas.push_back(fmt::format("{} {} {}|{}|{}|{} {} {} {}s{} [{}]", r.linha,
                                     formatos.at(static_cast<std::size_t>(r.formato)), r.conta,
                                     r.origem, r.destino, r.cod_destino, iso(r.inicio), iso(r.fim),
                                     r.segundos, r.cobravel ? " cobravel" : "", r.texto.size()));
    }
    bool rejeitado(const RegistroRejeitado& r) override {
        linhas.push_back(fmt::format("{} rejeitado: {} [{}]", r.linha, r.motivo, r.texto.size()));
        return aceita;
    }
};

Coleta coleta(std::string_view bytes, std::size_t bloco) {
    AnalisadorRegistros a;
    Coleta c;
    for (std::size_t i = 0; i < bytes.size(); i += bloco) {
        // Each block alone in memory of its size, as the last of a mapped file may be: the
        // sanitizer catches a read past its end.
        const std::string_view b = bytes.substr(i, bloco);
        const auto so = std::make_unique_for_overwrite<char[]>(b.size());
        std::memcpy(so.get(), b.data(), b.size());
        if (!a.consome({so.get(), b.size()}, c)) return c;
    }
    a.termina(c);
    return c;
}

std::vector<std::string> le(std::string_view bytes, std::size_t bloco) {
    return coleta(bytes, bloco).linhas;
}

// A row of the "csv" layout with its start, answer, end, billsec, disposition and amaflags.
std::string pbx(std::string_view inicio, std::string_view atendimento, std::string_view fim,
                std::string_view billsec, std::string_view disposicao = "ANSWERED",
                std::string_view flags = "DOCUMENTATION") {
    return fmt::format(
        R"("2","1001","85988774123","from-internal","""Ramal 1001"" <1001>","SIP/1001-0001",)"
        R"("SIP/tronco-0002","Dial","SIP/tronco/85988774123,60,tT","{}","{}","{}",67,{},"{}","{}",)"
        R"("1709643600.1","")",
        inicio, atendimento, fim, billsec, disposicao, flags);
}

// `linha` with its first `de` made `para`.
std::string com(std::string linha, std::string_view de, std::string_view para) {
    return linha.replace(linha.find(de), de.size(), para);
}

struct Caso {
    const char* nome;
    std::string bytes;
    std::vector<std::string> linhas;
};

// Each file, whole and in every split into blocks, hands over the same rows.
TEST(Registros, CadaFormatoComSuasPeculiaridades) {
    const std::string a = "2024-03-05 10:00:00", b = "2024-03-05 10:00:07",
                      c = "2024-03-05 10:01:07";
    const std::vector<Caso> casos{
        {"vazio", "", {}},
        {"csv com aspas, CRLF, linha em branco e ultima sem fim de linha",
         pbx(a, b, c, "60") + "\r\n\r\n" + pbx(a, "", c, "0", "NO ANSWER") + "\n" +
             pbx(a, b, c, "60", "ANSWERED", "OMIT"),
         {"1 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [253]",
          "3 csv 2|1001|85988774123| 2024-03-05 10:00:00 2024-03-05 10:01:07 0s [234]",
          "4 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s [244]"}},
        {"csv sem aspas, 16 campos, campos vazios, bytes fora do UTF-8",
         ",client1,3232,ctx,\xE9ramal\xFF,,,,,2023-12-31 23:59:59,,,27,27,ANSWERED,\n"
         "x,\"a,b\",\"\"\"9\"\"\",,,,,,,2024-02-29 00:00:00,,2024-02-29 00:00:01,1,1,BUSY,"
         "DOCUMENTATION,u,v,w,x,y\n",
         {"1 csv |client1|3232| 2023-12-31 23:59:59 2024-01-01 00:00:26 27s cobravel [67]",
          "2 csv x|a,b|\"9\"| 2024-02-29 00:00:00 2024-02-29 00:00:01 1s [95]"}},
        {"custom",
         R"("""Fulano"" <1001>","1001","3232","ctx","SIP/1","SIP/2","Dial","x",)"
         R"("2024-03-05 10:00:00","2024-03-05 10:00:03","2024-03-05 10:00:10","10","7",)"
         R"("ANSWERED","BILLING","7","1709.2","","12")"
         "\n",
         {"1 custom 7|1001|3232| 2024-03-05 10:00:03 2024-03-05 10:00:10 7s cobravel [183]"}},
        {"proprio, as duas formas",
         "origem,destino,telefone_destino,inicio,fim,duracao,valor\n"
         "1,2,(85) 9 8877-4123,2017-11-02 08:00:00,2017-11-02 08:01:40,100,0.70\n"
         "3,4,\"x,y\",2017-12-31 23:59:00,2018-01-01 00:00:10,70,0.49\n",
         {"2 proprio 1||(85) 9 8877-4123|2 2017-11-02 08:00:00 2017-11-02 08:01:40 100s cobravel "
          "[69]",
          "3 proprio 3||x,y|4 2017-12-31 23:59:00 2018-01-01 00:00:10 70s cobravel [57]"}},
        {"proprio de planilha",
         "\xEF\xBB\xBForigem;destino;telefone_destino;inicio;fim;duracao;valor\r\n"
         "1;2;'+5585988774123;2017-11-02 08:00:00;2017-11-02 08:01:40;100;0,70\r\n",
         {"2 proprio 1||+5585988774123|2 2017-11-02 08:00:00 2017-11-02 08:01:40 100s cobravel "
          "[68]"}},
        {"proprio com a linha que chamou, nas duas formas",
         "origem,destino,telefone_destino,inicio,fim,duracao,valor,linha\n"
         "1,2,(85) 9 8877-4123,2017-11-02 08:00:00,2017-11-02 08:01:40,100,0.70,(85) 3234-5678\n"
         "1,,3,2017-11-02 08:00:00,2017-11-02 08:01:40,100,0.70,\n",
         {"2 proprio 1|(85) 3234-5678|(85) 9 8877-4123|2 2017-11-02 08:00:00 2017-11-02 08:01:40 "
          "100s cobravel [84]",
          "3 proprio 1||3| 2017-11-02 08:00:00 2017-11-02 08:01:40 100s cobravel [54]"}},
        {"proprio de planilha com a linha",
         "origem;destino;telefone_destino;inicio;fim;duracao;valor;linha\r\n"
         "1;2;3;2017-11-02 08:00:00;2017-11-02 08:01:40;100;0,70;'+5585988776655\r\n",
         {"2 proprio 1|+5585988776655|3|2 2017-11-02 08:00:00 2017-11-02 08:01:40 100s cobravel "
          "[70]"}},
        {"proprio de planilha com as colunas da tarifa",
         "origem;destino;telefone_destino;inicio;fim;duracao;valor;linha;destino;faixa;"
         "segundos_cobrados\r\n"
         "1;2;3;2017-11-02 08:00:00;2017-11-02 08:01:40;100;0,70;1002;Ramal;normal;0\r\n",
         {"2 proprio 1|1002|3|2 2017-11-02 08:00:00 2017-11-02 08:01:40 100s cobravel [74]"}},
        {"proprio com uma coluna a mais que nao e a linha",
         "origem,destino,telefone_destino,inicio,fim,duracao,valor,linhas\n",
         {"1 rejeitado: nao e um registro de chamada (nem do PBX nem de contacel-exportar "
          "chamadas) [63]"}},
        {"linhas ilegiveis: cada motivo",
         pbx(a, b, c, "60") + "\n" + pbx("2023-02-29 10:00:00", "", c, "1") + "\n" +
             pbx(a, "2024-03-05 24:00:00", c, "1") + "\n" + pbx(a, b, "05/03/2024 10:01", "1") +
             "\n" + pbx(a, b, c, "-1") + "\n" + pbx(a, b, c, "1.5") + "\n" + pbx(a, b, c, "") +
             "\n" + pbx(a, b, c, "99999999999") + "\n" + "a,b,c\n" + "\"a,b\n" + "\"a\"b,c\n" +
             pbx("2024-03-32 10:00:00", "", c, "1") + "\n" +
             pbx("2024-03-3x 10:00:00", "", c, "1") + "\n" +
             pbx("2024-04-05 10:00:00", "2024-04-31 10:00:00", "", "1") + "\n" +
             pbx("9999-12-31 25:00:00", "", "", "0") + "\n",
         {"1 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [253]",
          "2 rejeitado: data impossivel [233]", "3 rejeitado: data impossivel [252]",
          "4 rejeitado: data e hora fora do formato AAAA-MM-DD hh:mm:ss [249]",
          "5 rejeitado: segundos que nao sao um inteiro nao negativo [253]",
          "6 rejeitado: segundos que nao sao um inteiro nao negativo [254]",
          "7 rejeitado: segundos que nao sao um inteiro nao negativo [251]",
          "8 rejeitado: segundos grandes demais [262]", "9 rejeitado: campos de menos [5]",
          "10 rejeitado: aspas sem fechamento ou texto depois das aspas [4]",
          "11 rejeitado: aspas sem fechamento ou texto depois das aspas [6]",
          "12 rejeitado: data impossivel [233]",
          "13 rejeitado: data e hora fora do formato AAAA-MM-DD hh:mm:ss [233]",
          "14 rejeitado: data impossivel [233]", "15 rejeitado: data impossivel [214]"}},
        {"a primeira data com bytes que nenhuma data tem",
         pbx(std::string(8, '\xFF') + "31 10:00:00", "", c, "1") + "\n",
         {"1 rejeitado: data e hora fora do formato AAAA-MM-DD hh:mm:ss [233]"}},
        {"fins de linha CR, CRLF e LF misturados",
         pbx(a, b, c, "60") + "\r" + pbx(a, b, c, "60") + "\r\n\r" + pbx(a, b, c, "60") + "\n" +
             pbx(a, b, c, "60") + "\r",
         {"1 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [253]",
          "2 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [253]",
          "4 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [253]",
          "5 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [253]"}},
        {"disposicoes e flags pelo sentido",
         pbx(a, b, c, "60", "answered") + "\n" + pbx(a, b, c, "60", "ANSWERED ", " omit") + "\n" +
             pbx(a, b, c, "60", "ANSWERED", "1") + "\n" + pbx(a, b, c, "60", "ANSWERED", "3") +
             "\n" + pbx(a, b, c, "60", "ATENDIDA") + "\n" + pbx(a, b, c, "0", "no answer", "2") +
             "\n",
         {"1 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [253]",
          "2 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s [246]",
          "3 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s [241]",
          "4 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel [241]",
          "5 rejeitado: disposicao desconhecida [253]",
          "6 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 0s [241]"}},
        {"linhas que nao podem ser verdade, bytes que nao se copiam",
         std::string(4096, '\n') + pbx(a, b, c, "61") + "\n" + pbx(a, b, c, "62") + "\n" +
             pbx(a, "2024-03-05 10:00:05", "2024-03-05 10:01:05", "4000000000") + "\n" +
             pbx(a, b, "2024-03-05 10:02:00", "68") + "\n" + pbx(b, a, c, "1") + "\n" +
             pbx(a, c, b, "0") + "\n" + com(pbx(a, b, c, "60"), "Ramal", std::string(1, '\0')) +
             "\n" + com(pbx(a, b, c, "60"), "\"1001\"", "\"Jo\xE3o\"") + "\n" +
             com(pbx(a, b, c, "60"), "\"85988774123\"", "\"8598877\xC0\"") + "\n" +
             com(pbx(a, b, c, "60"), "\"85988774123\"", "\"85\xEF\xBF\xBF\"") + "\n" +
             pbx("9999-12-31 10:00:00", "", "", "0") + "\n" + pbx(a, "", "", "0") + "\n" +
             com(pbx(a, b, c, "60"), "\"1001\"", "\"\xE3\"") + "\n" +
             com(pbx(a, b, c, "60"), "\"1001\"", "\"10011001100110011001\xE3\"") + "\n" +
             pbx(a, b, "", "60") + "\n" + pbx(a, b, c, "00000061") + "\n" + pbx(a, b, c, "6:") +
             "\n" + pbx("9998-12-31 23:59:50", "9998-12-31 23:59:55", "", "10") + "\n",
         {"4097 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 61s cobravel "
          "[253]",
          "4098 rejeitado: segundos incoerentes [253]",
          "4099 rejeitado: segundos incoerentes [261]",
          "4100 rejeitado: segundos incoerentes [253]", "4101 rejeitado: datas fora de ordem [252]",
          "4102 rejeitado: datas fora de ordem [252]", "4103 rejeitado: byte nulo [249]",
          "4104 rejeitado: texto que nao e UTF-8 [253]",
          "4105 rejeitado: texto que nao e UTF-8 [250]",
          "4106 rejeitado: texto que nao e UTF-8 [247]",  // U+FFFF, which no PDF text may hold
          "4107 rejeitado: ano depois de 9998 [214]",
          "4108 csv 2|1001|85988774123| 2024-03-05 10:00:00 2024-03-05 10:00:00 0s [214]",
          "4109 rejeitado: texto que nao e UTF-8 [250]",
          "4110 rejeitado: texto que nao e UTF-8 [270]",
          "4111 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel "
          "[234]",
          "4112 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 61s cobravel "
          "[259]",
          "4113 rejeitado: segundos que nao sao um inteiro nao negativo [253]",
          "4114 rejeitado: ano depois de 9998 [234]"}},
        {"a primeira linha desconhecida nao decide o formato",
         "codigo,nome,endereco\n" + pbx(a, b, c, "60") + "\n",
         {"1 rejeitado: nao e um registro de chamada (nem do PBX nem de contacel-exportar "
          "chamadas) [20]",
          "2 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel "
          "[253]"}},
        {"proprio com campos demais e de menos",
         "origem,destino,telefone_destino,inicio,fim,duracao,valor\n1,2,3,4,5,6,7,8\n1,2\n",
         {"2 rejeitado: campos demais [15]", "3 rejeitado: campos de menos [3]"}},
        {"linha longa demais",
         "x" + std::string(70000, 'y') + "\n" + pbx(a, b, c, "60"),
         {"1 rejeitado: registro longo demais [65536]",
          "2 csv 2|1001|85988774123| 2024-03-05 10:00:07 2024-03-05 10:01:07 60s cobravel "
          "[253]"}},
    };
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.nome);
        EXPECT_EQ(le(caso.bytes, caso.bytes.size() + 1), caso.linhas);
        const std::size_t passo = caso.bytes.size() > 5000 ? 997 : 1;
        for (std::size_t bloco = 1; bloco <= caso.bytes.size(); bloco += passo)
            ASSERT_EQ(le(caso.bytes, bloco), caso.linhas) << "em blocos de " << bloco;
    }
}

// What tells a call from another: the uniqueid, which the default layout may lack or follow
// with more fields, quoted or not, and the custom layout's sequence; read alike in any blocks.
TEST(Registros, UniqueidESequencia) {
    const std::string a = "2024-03-05 10:00:00", b = "2024-03-05 10:00:07";
    const std::string csv = std::string(4096, '\n') + pbx(a, b, b, "1") + "\n" +
                            com(pbx(a, b, b, "1"), R"("1709643600.1","")", "\"u\"\"1\"") + "\n" +
                            com(pbx(a, b, b, "1"), R"(,"1709643600.1","")", "") + "\n" +
                            com(pbx(a, b, b, "1"), R"("1709643600.1","")", "u2,x,\"y") + "\n";
    const std::string custom =
        std::string(4096, '\n') +
        R"("7","1001","3232","ctx","SIP/1","SIP/2","Dial","x","2024-03-05 10:00:00",)"
        R"(,"2024-03-05 10:00:10","10","7","ANSWERED","BILLING","7","1709.2","","1""2")"
        "\n";
    for (std::size_t bloco = 1; bloco <= 8192; bloco *= 2) {
        EXPECT_EQ(coleta(csv, bloco).chamadas,
                  (std::vector<std::string>{"1709643600.1/", "u\"1/", "/", "u2/"}))
            << bloco;
        EXPECT_EQ(coleta(custom, bloco).chamadas, std::vector<std::string>{"1709.2/1\"2"}) << bloco;
    }
}

TEST(Registros, ArquivoBinarioParaALeitura) {
    std::string binario =
        "\x7F"
        "ELF" +
        std::string(1, '\0') + "\n" + std::string(5000, 'x');
    for (const std::size_t bloco : {std::size_t{1}, std::size_t{100}, binario.size()}) {
        AnalisadorRegistros a;
        Coleta c;
        bool ok = true;
        for (std::size_t i = 0; ok && i < binario.size(); i += bloco)
            ok = a.consome(std::string_view(binario).substr(i, bloco), c);
        EXPECT_FALSE(ok && a.termina(c));
        EXPECT_EQ(a.erro().detalhe, "arquivo binario, nao e um arquivo de registros de chamadas");
        EXPECT_TRUE(c.linhas.empty());
    }
}

TEST(Registros, Arquivos) {
    const PastaTemp pasta;
    const auto grava = [&](const char* nome, const std::string& bytes) {
        std::ofstream(pasta / nome, std::ios::binary) << bytes;
        return (pasta / nome).string();
    };
    const std::string linha = pbx("2024-03-05 10:00:00", "", "2024-03-05 10:00:09", "9");
    std::string muitas;
    for (int i = 0; i < 3000; ++i)
        muitas += linha + "\n";
    const std::string gz = (pasta / "registros.gz").string();
    gzFile g = gzopen(gz.c_str(), "wb");
    gzwrite(g, muitas.data(), static_cast<unsigned>(muitas.size()));
    gzclose(g);
    std::ifstream entrada(gz, std::ios::binary);
    const std::string comprimido{std::istreambuf_iterator<char>(entrada), {}};
    const std::string ruim = (pasta / "ruim.csv").string();

    struct Arquivo {
        std::string caminho;
        std::size_t linhas;
        std::string erro;
    };
    const std::vector<Arquivo> arquivos{
        {grava("vazio", ""), 0, ""},
        {grava("texto.csv", muitas), 3000, ""},
        {gz, 3000, ""},
        {grava("duas.gz", comprimido + comprimido), 6000, ""},
        {grava("cortado.gz", comprimido.substr(0, comprimido.size() - 9)), 0,
         "nao foi possivel ler: arquivo compactado incompleto"},
        {grava("estragado.gz",
               comprimido.substr(0, 40) + "\xFF\xFF\xFF\xFF" + comprimido.substr(44)),
         0, "nao foi possivel ler: arquivo compactado corrompido"},
        {grava("ruim.csv", linha + "\n" + linha + "\nx,y\n" + linha + "\n"), 2,
         ":3: campos de menos"},
        {pasta.caminho().string(), 0, ": nao e um arquivo regular"},
        {"/dev/null", 0, ": nao e um arquivo regular"},
        {(pasta / "nenhum").string(), 0, ": nao foi possivel ler: No such file or directory"},
    };
    // Mapped a page or the usual window at a time, or read with read(2), as where it cannot be
    // mapped.
    for (const Arquivo& arq : arquivos)
        for (const std::size_t janela : {Tarefas{}.janela, std::size_t{4096}, std::size_t{0}}) {
            SCOPED_TRACE(arq.caminho + " " + std::to_string(janela));
            Coleta c;
            c.aceita = false;
            const Erro e = le_registros(arq.caminho, c, {.janela = janela});
            if (arq.erro.empty()) {
                EXPECT_TRUE(e.ok()) << descreve_erro(e);
                EXPECT_EQ(c.linhas.size(), arq.linhas);
            } else {
                EXPECT_EQ(status_de_saida(e), 1);
                EXPECT_TRUE(descreve_erro(e).ends_with(arq.erro)) << descreve_erro(e);
                EXPECT_TRUE(descreve_erro(e).starts_with(arq.caminho));
                if (arq.linhas != 0) {
                    EXPECT_EQ(c.linhas.size(), arq.linhas + 1);
                }
            }
        }
    // A file that shrinks while mapped: a message and an error's status, not a bare SIGBUS; and
    // when its new end falls within a page mapped, whose rest reads as zeros, an error too.
    struct Encolhe final : DestinoRegistros {
        std::string caminho;
        off_t ate = 0;
        void registro(const RegistroChamada&) override {
            if (const off_t n = std::exchange(ate, -1);
                n >= 0 && ::truncate(caminho.c_str(), n) != 0)
                std::abort();
        }
        bool rejeitado(const RegistroRejeitado&) override { return true; }
    } encolhe;
    encolhe.caminho = grava("encolhe.csv", muitas);
    const std::string mudou = ": nao foi possivel ler: o arquivo mudou durante a leitura";
    EXPECT_EXIT(le_registros(encolhe.caminho, encolhe), testing::ExitedWithCode(1),
                "^[^:]+: " + encolhe.caminho + mudou + "\n$");
    encolhe.caminho = grava("encolhe.csv", muitas);
    encolhe.ate = static_cast<off_t>(muitas.size() - 10);
    EXPECT_EQ(descreve_erro(le_registros(encolhe.caminho, encolhe)), encolhe.caminho + mudou);
    // "-" is standard input, compressed or not; a folder there cannot be read, and is no
    // corrupt compressed file.
    for (const std::string& arquivo :
         {gz, (pasta / "texto.csv").string(), pasta.caminho().string()}) {
        const int salvo = ::dup(STDIN_FILENO);
        const int fd = ::open(arquivo.c_str(), O_RDONLY | O_CLOEXEC);
        ::dup2(fd, STDIN_FILENO);
        ::close(fd);
        Coleta c;
        const Erro e = le_registros("-", c);
        ::dup2(salvo, STDIN_FILENO);
        ::close(salvo);
        if (arquivo == pasta.caminho().string()) {
            EXPECT_EQ(descreve_erro(e), "-: nao foi possivel ler: Is a directory");
            continue;
        }
        EXPECT_TRUE(e.ok()) << descreve_erro(e);
        EXPECT_EQ(c.linhas.size(), 3000U) << arquivo;
    }
}

// Numbers as PBXs and people write them: what each is, and how a bill shows it.
TEST(Telefone, GrafiasReais) {
    struct Grafia {
        std::string_view escrito;
        FormaNumero forma;
        std::string_view chave;
        std::string_view exibido;  // empty: as written
    };
    using enum FormaNumero;
    const Grafia casos[] = {
        {"11963391451", nacional, "+5511963391451", "(11) 9 6339-1451"},
        {"(85) 9 8877-4123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"+55 (85) 98877-4123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"+5585988774123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"5585988774123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"085988774123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"0 55 85 98877 4123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"0 21 85 98877.4123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"0055 85 98877 4123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"005585988774123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"00 21 55 85 98877 4123", nacional, "+5585988774123", "(85) 9 8877-4123"},
        {"8532345678", nacional, "+558532345678", "(85) 3234-5678"},
        {"55988774123", nacional, "+5555988774123", "(55) 9 8877-4123"},  // area code 55
        {"89025356928", nacional, "+5589025356928", ""},                  // no mobile starts with 0
        {"8598874123", nacional, "+558598874123", ""},                    // nor a landline with 9
        {"+14155552671", internacional, "+14155552671", ""},
        {"00 21 351 21 000 0000", internacional, "+351210000000", ""},
        {"+55 20 3234-5678", internacional, "+552032345678", ""},  // no area code 20
        {"+1 2345 6789 0123 4567", internacional, "+12345678901234567", ""},
        {"+1 2345 6789 0123 45678", internacional, "+123456789012345678", ""},
        {"98877-4123", local, "988774123", ""},
        {"3234 5678", local, "32345678", ""},
        {"0800 123 4567", nao_geografico, "08001234567", ""},
        {"211553", digitos, "211553", ""},
        {"21-1553", digitos, "211553", ""},
        {"190", digitos, "190", ""},
        {"1234", digitos, "1234", ""},  // 4 to 7 digits read as one word
        {"01234", digitos, "01234", ""},
        {"1234567", digitos, "1234567", ""},
        {"0800123456", digitos, "0800123456", ""},
        {"client1", nome, "client1", ""},
        {"*97", nome, "*97", ""},
        {"+", nome, "+", ""},
        {"85+988774123", nome, "85+988774123", ""},
        {"85988774123:", nome, "85988774123:", ""},  // the bytes on either side of the digits
        {"8598877/4123", nome, "8598877/4123", ""},
        {"", nome, "", ""},
    };
    for (const Grafia& c : casos) {
        SCOPED_TRACE(c.escrito);
        const Telefone t(c.escrito);
        EXPECT_EQ(t.forma(), c.forma);
        EXPECT_EQ(t.chave(), c.chave);
        const std::string exibido = t.exibido();
        EXPECT_EQ(exibido, c.exibido.empty() ? c.escrito : c.exibido);
        // What a bill shows, typed again, is the same line.
        EXPECT_EQ(Telefone(exibido).chave(), c.chave);
        // The key as a number: the digits' value and count, and whether it has a "+".
        const bool mais = c.chave.starts_with('+');
        const std::string d(c.chave.substr(mais ? 1 : 0));
        if (c.forma == nome || d.size() > 17) {
            EXPECT_FALSE(t.chave_numerica());
            continue;
        }
        EXPECT_EQ(t.valor(), std::stoull(d));
        EXPECT_EQ(t.chave_numerica(), (mais ? 1ULL << 62U : 0) | (std::stoull(d) * 32 + d.size()));
    }
    const Telefone celular("+55 85 98877-4123"), lisboa("+351 21 000 0000");
    EXPECT_EQ(std::tuple(celular.pais(), celular.ddd(), celular.assinante(), celular.movel()),
              std::tuple("55", "85", "988774123", true));
    EXPECT_EQ(std::tuple(lisboa.pais(), lisboa.assinante(), lisboa.internacional()),
              std::tuple("351", "210000000", "351210000000"));
    EXPECT_TRUE(Telefone("3234-5678").fixo());
}

TEST(Linhas, NumerosPorDigitosRamaisComoEscritos) {
    const auto lista = clientes_de({{1, "Nome", "Rua"}, {7, "Nome", "Rua"}, {12, "Nome", "Rua"}});
    const Clientes& cad = *lista;
    TabelaLinhas t;
    const Erro e = decodifica_linhas(
        "\xEF\xBB\xBFnumero;cliente\r\n"
        "(85) 9 8877-4123;1\r\n"
        "\r\n"
        "client1;7\r\n"
        "\"21 1553\";12\r\n"
        "'+55 11 3232-0000;12\r\n",
        cad, t);
    ASSERT_TRUE(e.ok()) << descreve_erro(e);
    EXPECT_EQ(t.tamanho(), 4U);
    const std::vector<std::pair<std::string_view, std::optional<std::uint32_t>>> consultas{
        {"85988774123", 1},
        {"+5585988774123", 1},
        {"5585988774123", 1},
        {"(85) 98877-4123", 1},
        {"085988774123", 1},
        {"0 55 85 98877 4123", 1},
        {"005585988774123", 1},
        {"988774123", {}},
        {"client1", 7},
        {"Client1", {}},
        {"client1 ", {}},
        {"211553", 12},
        {"21-1553", 12},
        {"1132320000", 12},
        {"+551132320000", 12},
        {"", {}},
        {"55", {}},
    };
    // The same lines added at once, as from a book: of two alike the first stays, and the
    // others keep their numbers as written.
    TabelaLinhas lote;
    for (const auto& [numero, cod] :
         std::vector<std::pair<std::string_view, std::uint32_t>>{{"(85) 9 8877-4123", 1},
                                                                 {"client1", 7},
                                                                 {"0 55 85 98877 4123", 3},
                                                                 {"21 1553", 12},
                                                                 {"client1", 3},
                                                                 {"+55 11 3232-0000", 12}})
        lote.acrescenta(numero, cod);
    lote.indexa();
    std::vector<std::string_view> escritos;
    lote.para_cada([&](const TabelaLinhas::Linha& l) { escritos.push_back(lote.numero(l)); });
    EXPECT_EQ(escritos, (std::vector<std::string_view>{"(85) 9 8877-4123", "client1", "21 1553",
                                                       "+55 11 3232-0000"}));
    for (const auto& [src, cod] : consultas) {
        EXPECT_EQ(cliente_da_linha(t, src), cod) << src;
        EXPECT_EQ(cliente_da_linha(lote, src), cod) << src;
    }
    // Callers remembered by their texts answer as the table does, looked up again or not: more
    // of them than are remembered, alike in their first or last eight bytes or but in size.
    TabelaLinhas muitas;
    std::vector<std::string> chamadores;
    for (int i = 0; i < 1500; ++i) {
        chamadores.push_back(i % 2 == 0 ? fmt::format("{}", 85988770000 + i)
                                        : fmt::format("client{}", i * 7919 % 100000));
        if (i % 3 == 0) muitas.acrescenta(chamadores.back(), static_cast<std::uint32_t>(i + 1));
    }
    for (const auto& c : consultas)
        chamadores.emplace_back(c.first);
    muitas.indexa();
    LinhasLembradas lembradas;
    for (int vez = 0; vez < 2; ++vez)
        for (const std::string& c : chamadores)
            EXPECT_EQ(lembradas.busca(c, [&] { return muitas.busca(c); }), muitas.busca(c)) << c;
    // Customers known by their codes alone, numbered in turn or far apart.
    for (const std::vector<std::uint32_t>& codigos :
         {std::vector<std::uint32_t>{1, 2, 63, 64, 130}, {1, 2, 63, 64, 130, 4000000000}}) {
        Clientes so;
        so.conhece(codigos);
        for (const std::uint32_t cod : {0U, 1U, 3U, 63U, 64U, 65U, 130U, 4000000000U, 4000000001U})
            EXPECT_EQ(so.tem(cod), std::ranges::binary_search(codigos, cod)) << cod;
    }
    // Customers listed, codes small and large, and found no more once removed.
    Clientes listados;
    for (const std::uint32_t cod : {1U, 64U, 65535U, 65536U, 4000000000U})
        listados.insere({cod});
    listados.remove(1);
    const std::vector<std::uint32_t> ficam{1, 65535, 65536, 4000000000};
    for (const std::uint32_t cod : {0U, 1U, 63U, 64U, 65535U, 65536U, 4000000000U, 4000000001U})
        EXPECT_EQ(listados.tem(cod), std::ranges::binary_search(ficam, cod)) << cod;
}

TEST(Linhas, ErrosNomeiamALinha) {
    const auto lista = clientes_de({{1, "Nome", "Rua"}});
    const Clientes& cad = *lista;
    const std::vector<std::pair<std::string, std::string>> casos{
        {"", "1: falta o cabecalho numero,cliente ou numero;cliente"},
        {"numero,codigo\n1,1\n", "1: falta o cabecalho numero,cliente ou numero;cliente"},
        {"numero,cliente\n85988774123,1\n+55 (85) 98877-4123,1\n",
         "3: o numero +55 (85) 98877-4123 ja esta na linha 2"},
        {"numero,cliente\n0055 85 98877 4123,1\n(85) 9 8877-4123,1\n",
         "3: o numero (85) 9 8877-4123 ja esta na linha 2"},
        {"numero,cliente\r1001,1\r\r1001,1\r", "4: o numero 1001 ja esta na linha 2"},
        {"numero,cliente\n1001,2\n", "2: o cliente 2 nao esta no cadastro"},
        {"numero,cliente\n1001,x\n", "2: codigo de cliente invalido"},
        {"numero,cliente\n1001\n", "2: campos de menos (esperados numero,cliente)"},
        {"numero;cliente\n1001;1;2\n", "2: campos demais (esperados numero;cliente)"},
        {"numero,cliente\n,1\n", "2: numero vazio"},
        {std::string("numero,cliente\n859\0"
                     "88,1\n",
                     24),
         "2: numero com byte nulo"},
        {"numero,cliente\nJo\xE3o,1\n", "2: numero que nao e UTF-8"},
        {"numero,cliente\n\"1001,1\n", "2: aspas sem fechamento ou texto depois das aspas"},
    };
    for (const auto& [csv, erro] : casos) {
        TabelaLinhas t;
        const Erro e = decodifica_linhas(csv, cad, t);
        EXPECT_EQ(e.tipo, TipoErro::dados) << csv;
        EXPECT_EQ(fmt::format("{}: {}", e.linha, e.detalhe), erro) << csv;
    }
    const PastaTemp pasta;
    TabelaLinhas t;
    std::ofstream(pasta / "linhas.csv") << "numero,cliente\n1001,1\n1001,1\n";
    EXPECT_EQ(descreve_erro(le_linhas((pasta / "linhas.csv").string(), cad, t)),
              (pasta / "linhas.csv").string() + ":3: o numero 1001 ja esta na linha 2");
    EXPECT_EQ(le_linhas(pasta.caminho().string(), cad, t).tipo, TipoErro::recusado);
}

}  // namespace
