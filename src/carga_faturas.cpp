// The program's side of the bills' module: finds it, loads it once and calls through it.

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "modulo_faturas.h"
#include "versao.h"

namespace {

const ModuloFaturas* modulo = nullptr;

// Where the module is: the package's place for it relative to the program, or beside the
// program as the build leaves it; the package's place as installed when the program cannot
// tell where it is.
std::string arquivo_do_modulo() {
    std::string programa(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", programa.data(), programa.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= programa.size()) return CONTACEL_MODULO_INSTALADO;
    programa.resize(static_cast<std::size_t>(n));
    const std::string pasta = programa.substr(0, programa.rfind('/') + 1);
    std::string arquivo = pasta + CONTACEL_MODULO_RELATIVO;
    if (const std::string junto = pasta + CONTACEL_MODULO_NOME;
        ::access(arquivo.c_str(), F_OK) != 0 && ::access(junto.c_str(), F_OK) == 0)
        return junto;
    return arquivo;
}

}  // namespace

Erro carrega_modulo_faturas() {
    if (modulo != nullptr) return {};
    const std::string arquivo = arquivo_do_modulo();
    void* aberto = ::dlopen(arquivo.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (aberto == nullptr)
        return Erro::sistema(std::string("faturas em PDF indisponiveis: ") + ::dlerror());
    const auto entrada =
        reinterpret_cast<const ModuloFaturas* (*)()>(::dlsym(aberto, entrada_modulo_faturas));
    const ModuloFaturas* m = entrada != nullptr ? entrada() : nullptr;
    if (m == nullptr || std::strcmp(m->versao, versao_contacel) != 0 ||
        m->tamanhos != tamanhos_modulo_faturas) {
        ::dlclose(aberto);
        return Erro::sistema("faturas em PDF indisponiveis: " + arquivo +
                             ": modulo de outra versao do programa");
    }
    modulo = m;
    return {};
}

Erro escreve_faturas(const Contas& c, const OpcoesFaturas& op, const DestinoPdf& destino) {
    if (Erro e = carrega_modulo_faturas(); !e.ok()) return e;
    return modulo->escreve_faturas(c, op, destino);
}

Erro escreve_cada_fatura(const Contas& c, const OpcoesFaturas& op, const DestinoFatura& destino) {
    if (Erro e = carrega_modulo_faturas(); !e.ok()) return e;
    return modulo->escreve_cada_fatura(c, op, destino);
}

std::string sha256_hex(std::span<const std::byte> bytes) {
    if (!carrega_modulo_faturas().ok()) return {};
    return modulo->sha256_hex(bytes);
}
