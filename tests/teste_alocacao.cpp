// A whole run allocates nothing of its own: every allocation made while it runs comes from
// inside the C library (its stream buffers, the FILE of the customer file, the sort's scratch
// space), none from the program's code or the C++ runtime.

#include <dlfcn.h>

#include <array>
#include <cstdlib>
#include <new>

#include "apoio.h"
#include "execucao.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {

// The window being measured and what was allocated in it.
struct Registro {
    bool medindo = false;
    std::size_t novos = 0;
    std::size_t n = 0;
    std::array<void*, 256> chamadores{};
    void anota(void* chamador) {
        if (!medindo) return;
        if (n < chamadores.size()) chamadores[n] = chamador;
        ++n;
    }
};
Registro registro;

}  // namespace

extern "C" void* malloc(std::size_t n) {
    registro.anota(__builtin_return_address(0));
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t t) {
    registro.anota(__builtin_return_address(0));
    return __libc_calloc(n, t);
}
extern "C" void* realloc(void* p, std::size_t n) {
    registro.anota(__builtin_return_address(0));
    return __libc_realloc(p, n);
}
extern "C" void free(void* p) {
    __libc_free(p);
}

void* operator new(std::size_t n) {
    if (registro.medindo) ++registro.novos;
    if (void* p = __libc_malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    __libc_free(p);
}

namespace {

TEST(Alocacao, ExecucaoInteiraSoAlocaDentroDaBibliotecaC) {
    PastaTemp pasta;
    grava(pasta / "clientes.arq", arquivo_valido(8).bytes());
    const std::string caminho = (pasta / "clientes.arq").string();
    EntradaDe entrada("\n");
    std::fflush(stdout);
    const int terminal = ::dup(1);
    ASSERT_NE(std::freopen("/dev/null", "w", stdout), nullptr);

    std::srand(1);
    registro.medindo = true;
    const Erro st = executa(caminho.c_str());
    registro.medindo = false;
    std::fflush(stdout);
    ::dup2(terminal, 1);
    ::close(terminal);
    ASSERT_TRUE(st.ok());

    EXPECT_EQ(registro.novos, 0U);
    // Opening the customer file allocates inside the C library: the interception works.
    EXPECT_GT(registro.n, 0U);
    ASSERT_LE(registro.n, registro.chamadores.size());
    for (std::size_t i = 0; i < registro.n; ++i) {
        Dl_info info{};
        ASSERT_NE(::dladdr(registro.chamadores[i], &info), 0);
        EXPECT_NE(std::string_view(info.dli_fname).find("libc.so"), std::string_view::npos)
            << "allocation from " << info.dli_fname;
    }
}

}  // namespace
