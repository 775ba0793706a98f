#include "leitura.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

constexpr std::size_t mib = std::size_t{1} << 20;

// Fills `b` from `fd` as far as the file goes; 0, or the errno of a failed read.
int le_tudo(int fd, std::span<std::byte> b, std::size_t& lidos) {
    lidos = 0;
    while (lidos < b.size()) {
        const ssize_t n = ::read(fd, b.data() + lidos, b.size() - lidos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        lidos += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

Erro le_arquivo_regular(const char* caminho, std::span<std::byte> destino, std::size_t& lidos,
                        Excesso excesso) {
    lidos = 0;
    // Opened without waiting, so that a FIFO or a device is refused rather than waited on.
    const int fd = ::open(caminho, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    // A socket, which cannot be opened at all, is named as what it is.
    if (fd < 0 && errno == ENXIO) return Erro::recusado(caminho, "nao e um arquivo regular");
    if (fd < 0) return Erro::leitura(caminho, errno);
    const auto grande = [&] {
        const std::size_t n = destino.size();
        return Erro::recusado(
            caminho, n % mib == 0 ? "arquivo com mais de " + std::to_string(n / mib) + " MiB"
                                  : "arquivo com mais de " + std::to_string(n) + " bytes");
    };
    Erro e;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        e = Erro::recusado(caminho, "nao e um arquivo regular");
    } else if (excesso == Excesso::recusa &&
               static_cast<std::size_t>(info.st_size) > destino.size()) {
        e = grande();
    } else if (const int falha = le_tudo(fd, destino, lidos); falha != 0) {
        e = Erro::leitura(caminho, falha);
    } else if (excesso == Excesso::recusa && lidos == destino.size()) {
        // One byte more tells a file that grew while it was read.
        std::byte mais[1];
        std::size_t n = 0;
        if (le_tudo(fd, mais, n) != 0 || n != 0) e = grande();
    }
    ::close(fd);
    if (!e.ok()) lidos = 0;
    return e;
}
