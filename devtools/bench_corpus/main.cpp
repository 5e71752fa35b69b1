// bench_corpus: writes the benchmark's deterministic corpus into a folder:
// text-like, binary-like and random files, about 50 MB in all, the same
// bytes on every machine.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

// xorshift64*: small, fast and the same everywhere.
struct Random {
    uint64_t state;
    uint64_t next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ull;
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() >> 33) % n; }
};

// Words with a skewed frequency, sentences and line breaks, like prose or
// source code.
std::string textLike(Random& random, size_t size) {
    std::vector<std::string> words;
    for (int i = 0; i < 4000; ++i) {
        std::string word;
        int length = 2 + static_cast<int>(random.below(9));
        for (int k = 0; k < length; ++k) word.push_back(static_cast<char>('a' + random.below(26)));
        words.push_back(word);
    }
    std::string out;
    out.reserve(size + 64);
    int column = 0;
    while (out.size() < size) {
        uint32_t pick = random.below(4000);
        pick = pick * pick / 4000;  // frequent words near the front
        out += words[pick];
        column += static_cast<int>(words[pick].size());
        if (column > 70) {
            out += random.below(5) ? ".\n" : "\n\n";
            column = 0;
        } else {
            out += ' ';
        }
    }
    out.resize(size);
    return out;
}

// Records of small integers, repeated structures and runs of zeros, like
// program images and databases.
std::string binaryLike(Random& random, size_t size) {
    std::string out;
    out.reserve(size + 64);
    uint32_t counter = 0;
    while (out.size() < size) {
        switch (random.below(4)) {
        case 0:
            out.append(16 + random.below(200), '\0');
            break;
        case 1:
            for (int k = 0; k < 8; ++k) {
                uint32_t value = counter++ * 4 + 0x401000;
                out.append(reinterpret_cast<const char*>(&value), 4);
            }
            break;
        case 2:
            for (int k = 0; k < 32; ++k) out.push_back(static_cast<char>(random.below(16)));
            break;
        default:
            out += "\x55\x8b\xec\x83\xec\x10\x53\x56\x57\xe8";
            out.push_back(static_cast<char>(random.below(256)));
            break;
        }
    }
    out.resize(size);
    return out;
}

std::string randomBytes(Random& random, size_t size) {
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(random.next() >> 56);
    return out;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bench_corpus FOLDER\n";
        return 2;
    }
    std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    Random random{0x5EED5EED12345678ull};
    const size_t MB = 1 << 20;
    for (int i = 0; i < 4; ++i) writeFile(folder / ("text" + std::to_string(i) + ".txt"), textLike(random, 5 * MB));
    for (int i = 0; i < 4; ++i) writeFile(folder / ("binary" + std::to_string(i) + ".bin"), binaryLike(random, 5 * MB));
    for (int i = 0; i < 2; ++i)
        writeFile(folder / ("random" + std::to_string(i) + ".dat"), randomBytes(random, 5 * MB));
    std::filesystem::create_directories(folder / "small");
    for (int i = 0; i < 200; ++i)
        writeFile(folder / "small" / ("note" + std::to_string(i) + ".txt"),
                  textLike(random, 2000 + random.below(20000)));
    return 0;
}
