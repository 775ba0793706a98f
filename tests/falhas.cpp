// Preloaded into a program (LD_PRELOAD), makes the system fail where a test needs it to:
// fsync() and fdatasync() raise the signal whose number is in CONTACEL_SINAL_NO_FSYNC, as if the
// user had pressed Ctrl-C in the middle of a write; with CONTACEL_SEM_ICONV set, no converter
// opens, as on a system without the gconv modules; with CONTACEL_SEM_LINK set, link() fails as a
// file system without hard links makes it; with CONTACEL_FSYNC_PASTA set, flushing a folder fails;
// with CONTACEL_SEM_FSYNC set, fsync() returns at once, as over a disk cache; with
// CONTACEL_SINAL_NO_RENAME set to "N S", the N-th rename() raises signal S once it is done.

#include <dlfcn.h>
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

extern "C" int fsync(int fd) {
    if (const char* v = std::getenv("CONTACEL_SINAL_NO_FSYNC"))
        std::raise(static_cast<int>(std::strtol(v, nullptr, 10)));
    if (std::getenv("CONTACEL_SEM_FSYNC") != nullptr) return 0;
    struct stat info {};
    if (std::getenv("CONTACEL_FSYNC_PASTA") != nullptr && ::fstat(fd, &info) == 0 &&
        S_ISDIR(info.st_mode)) {
        errno = EIO;
        return -1;
    }
    using Fsync = int (*)(int);
    static const auto original = reinterpret_cast<Fsync>(::dlsym(RTLD_NEXT, "fsync"));
    return original(fd);
}

// SQLite flushes with fdatasync: the same signal there, as a kill in the middle of a commit.
extern "C" int fdatasync(int fd) {
    if (const char* v = std::getenv("CONTACEL_SINAL_NO_FSYNC"))
        std::raise(static_cast<int>(std::strtol(v, nullptr, 10)));
    using Fdatasync = int (*)(int);
    static const auto original = reinterpret_cast<Fdatasync>(::dlsym(RTLD_NEXT, "fdatasync"));
    return original(fd);
}

extern "C" iconv_t iconv_open(const char* para, const char* de) {
    if (std::getenv("CONTACEL_SEM_ICONV") != nullptr) {
        errno = EINVAL;
        return reinterpret_cast<iconv_t>(-1);
    }
    using Abre = iconv_t (*)(const char*, const char*);
    static const auto original = reinterpret_cast<Abre>(::dlsym(RTLD_NEXT, "iconv_open"));
    return original(para, de);
}

extern "C" int rename(const char* de, const char* para) {
    using Renomeia = int (*)(const char*, const char*);
    static const auto original = reinterpret_cast<Renomeia>(::dlsym(RTLD_NEXT, "rename"));
    static long feitos = 0;
    const int r = original(de, para);
    if (const char* v = std::getenv("CONTACEL_SINAL_NO_RENAME")) {
        char* resto = nullptr;
        if (++feitos == std::strtol(v, &resto, 10))
            std::raise(static_cast<int>(std::strtol(resto, nullptr, 10)));
    }
    return r;
}

// With CONTACEL_SEM_LINK set, the file system has no hard links, as FAT on a memory stick.
extern "C" int link(const char* de, const char* para) {
    if (std::getenv("CONTACEL_SEM_LINK") != nullptr) {
        errno = EPERM;
        return -1;
    }
    using Liga = int (*)(const char*, const char*);
    static const auto original = reinterpret_cast<Liga>(::dlsym(RTLD_NEXT, "link"));
    return original(de, para);
}
