#pragma once
// Memory for a large table whose places are read at random, as a set of hashes is: in huge
// pages where the system gives them on asking, so that filling it takes a few page faults
// rather than one every 4 KiB, and reading it misses the TLB far less.

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

template <class T>
struct EmPaginasGrandes {
    using value_type = T;
    static constexpr std::size_t pagina = std::size_t{2} << 20;

    EmPaginasGrandes() = default;
    template <class U>
    explicit EmPaginasGrandes(const EmPaginasGrandes<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n * sizeof(T) < pagina) return std::allocator<T>{}.allocate(n);
        const std::size_t bytes = (n * sizeof(T) + pagina - 1) / pagina * pagina;
        void* p = std::aligned_alloc(pagina, bytes);
        if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        ::madvise(p, bytes, MADV_HUGEPAGE);  // a hint: without huge pages, small ones serve
#endif
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n * sizeof(T) < pagina)
            std::allocator<T>{}.deallocate(p, n);
        else
            std::free(p);
    }
    friend bool operator==(const EmPaginasGrandes&, const EmPaginasGrandes&) {
        return true;
    }
};
