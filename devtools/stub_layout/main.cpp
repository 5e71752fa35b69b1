// stub_layout FILE: gives the linked stub its DOS part and moves its PE
// headers behind it, in place. It must be the last step on the file: strip
// and objcopy write their own DOS stub back.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "dos_part.h"
#include "pe_move.h"

static std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the file");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

static void writeFile(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write the file");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: stub_layout FILE\n");
        return 2;
    }
    try {
        std::vector<uint8_t> image = moveHeaders(readFile(argv[1]), makeDosPart());
        updateChecksum(image);
        writeFile(argv[1], image);
    } catch (const std::exception& e) {
        // Without the file the next build links again; a file left as the
        // linker wrote it would pass for up to date.
        std::remove(argv[1]);
        std::fprintf(stderr, "stub_layout: %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
