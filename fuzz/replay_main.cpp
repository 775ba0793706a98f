// Runs the fuzz target once on every file of the corpus folders named on the command line, so
// that builds without libFuzzer still check every saved input.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho);

int main(int argc, char** argv) {
    int executados = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& e : std::filesystem::directory_iterator(argv[i])) {
            if (!e.is_regular_file()) continue;
            std::ifstream f(e.path(), std::ios::binary);
            const std::vector<char> b{std::istreambuf_iterator<char>(f), {}};
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
            ++executados;
        }
    }
    std::fprintf(stderr, "%d entradas do corpus executadas\n", executados);
    return executados > 0 ? 0 : 1;
}
