#pragma once
// Helpers shared by the tests: values, captured standard output, fed standard input, temporary
// folders and customer files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chamada.h"
#include "cliente.h"
#include "clientes.h"
#include "datahora.h"

inline TDataHora dh(int dia, int mes, int ano, int h, int m, int s) {
    return TDataHora{
        {static_cast<std::int8_t>(dia), static_cast<std::int8_t>(mes),
         static_cast<std::int16_t>(ano)},
        {static_cast<std::int8_t>(h), static_cast<std::int8_t>(m), static_cast<std::int8_t>(s)}};
}

inline TData dt(int dia, int mes, int ano) {
    return dh(dia, mes, ano, 0, 0, 0).dat;
}

// A list of customers for the billing, as the tools load one.
inline std::shared_ptr<const Clientes> clientes_de(std::initializer_list<Cliente> lista) {
    auto c = std::make_shared<Clientes>();
    for (const Cliente& cl : lista)
        c->insere(cl);
    return c;
}

inline TCliente cliente_de(std::uint32_t cod, std::string_view nome, std::string_view endereco) {
    TCliente c{};
    c.cod_cli = cod;
    nome.copy(c.nome, sizeof c.nome - 1);
    endereco.copy(c.endereco, sizeof c.endereco - 1);
    return c;
}

// A customer as the listings show one, by the C library's printf.
inline std::string linha_de_cliente(const TCliente& c) {
    std::array<char, 256> b{};
    std::snprintf(b.data(), b.size(), "%03u  %-25s  %-35s", c.cod_cli, c.nome, c.endereco);
    return b.data();
}

// A call of `segundos` seconds, its end stepped from its start.
inline TChamada chamada_de(std::uint32_t ori, std::uint32_t des, TDataHora ini, int segundos) {
    TChamada c{ori, des, ini, ini};
    for (int i = 0; i < segundos; ++i)
        c.fim = mais_1_seg(c.fim);
    return c;
}

// What `f` writes to standard output.
template <typename F>
std::string saida_de(F&& f) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// A folder of its own for one test, removed with everything in it afterwards.
class PastaTemp {
  public:
    PastaTemp() {
        std::string modelo = (std::filesystem::temp_directory_path() / "contacel.XXXXXX").string();
        caminho_ = ::mkdtemp(modelo.data());
    }
    ~PastaTemp() { std::filesystem::remove_all(caminho_); }
    PastaTemp(const PastaTemp&) = delete;
    PastaTemp& operator=(const PastaTemp&) = delete;
    std::filesystem::path operator/(std::string_view nome) const { return caminho_ / nome; }
    const std::filesystem::path& caminho() const { return caminho_; }

  private:
    std::filesystem::path caminho_;
};

inline void grava(const std::filesystem::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string le(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Standard input reads `texto` until the end of the scope, then an empty file.
class EntradaDe {
  public:
    explicit EntradaDe(std::string_view texto) {
        grava(pasta_ / "entrada", texto);
        EXPECT_NE(std::freopen((pasta_ / "entrada").c_str(), "r", stdin), nullptr);
    }
    ~EntradaDe() { static_cast<void>(std::freopen("/dev/null", "r", stdin)); }
    EntradaDe(const EntradaDe&) = delete;
    EntradaDe& operator=(const EntradaDe&) = delete;

  private:
    PastaTemp pasta_;
};

// A customer-file image built field by field.
class ArquivoClientes {
  public:
    explicit ArquivoClientes(std::uint32_t contagem) { u32(contagem); }
    ArquivoClientes& registro(std::uint32_t cod, std::string_view nome, std::string_view endereco,
                              char lixo = '\0') {
        u32(cod);
        texto(nome, lixo);
        texto(endereco, lixo);
        bytes_.append(2, lixo);  // filler
        return *this;
    }
    ArquivoClientes& mais(std::string_view b) {
        bytes_.append(b);
        return *this;
    }
    const std::string& bytes() const { return bytes_; }
    std::span<const std::byte> span() const { return std::as_bytes(std::span(bytes_)); }

  private:
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<char>(v >> (8 * i)));
    }
    // The text, its NUL, then `lixo` up to the field's 51 bytes; a text of 51 bytes has no NUL.
    void texto(std::string_view t, char lixo) {
        bytes_.append(t.substr(0, 51));
        if (t.size() < 51) {
            bytes_.push_back('\0');
            bytes_.append(50 - t.size(), lixo);
        }
    }
    std::string bytes_;
};

// A valid file of `n` customers with the codes 1 to n.
inline ArquivoClientes arquivo_valido(std::uint32_t n) {
    ArquivoClientes a(n);
    for (std::uint32_t i = 1; i <= n; ++i)
        a.registro(i, "Cliente " + std::to_string(i), "Rua " + std::to_string(i), 'x');
    return a;
}
