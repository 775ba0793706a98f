// What the machine can read: the file in blocks of 256 KiB with read(2), each line end found
// with memchr, nothing else. The records reader's cost is measured against it.
//
//   le_memchr ARQUIVO

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int fd = ::open(argv[1], O_RDONLY);
    if (fd < 0) return 1;
    std::vector<char> b(256 * 1024);
    unsigned long linhas = 0;
    for (ssize_t n = 0; (n = ::read(fd, b.data(), b.size())) > 0;) {
        const char* fim = b.data() + n;
        for (const char* p = b.data();
             (p = static_cast<const char*>(
                  std::memchr(p, '\n', static_cast<std::size_t>(fim - p)))) != nullptr;
             ++p)
            ++linhas;
    }
    std::printf("%lu\n", linhas);
    ::close(fd);
    return 0;
}
