#pragma once
// Reading a small regular file whole, into a buffer the caller gives: the one reader of the
// customer register and of the CSV files.

#include <cstddef>
#include <span>

#include "erro.h"

// What to do with a file longer than the buffer.
enum class Excesso : bool {
    ignora,  // read only as far as the buffer reaches
    recusa,  // refuse it, also when it grows while it is read
};

// Reads the regular file `caminho` into `destino`; `lidos` gets the bytes read. A folder, a FIFO,
// a device or a socket is refused without waiting on it. The errors name `caminho`.
Erro le_arquivo_regular(const char* caminho, std::span<std::byte> destino, std::size_t& lidos,
                        Excesso excesso);
