// bench_crc: the CRC-16 alone, the part of our decoding time that does not
// depend on the packing: reads the files into memory, feeds them through
// crcFeed in pieces of 65,536 bytes as the output sink does, and prints the
// best time of RUNS in seconds.
// usage: bench_crc RUNS FILE...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/crc16.h"
#include "decode/decoder_state.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_crc RUNS FILE...\n");
        return 2;
    }
    int runs = std::atoi(argv[1]);
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "bench_crc: cannot read %s\n", argv[i]);
            return 1;
        }
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    Crc16 crc;
    buildCrcTable(&crc, CRC16_POLYNOMIAL);
    double best = 1e9;
    unsigned folded = 0;
    for (int r = 0; r < runs; ++r) {
        auto start = std::chrono::steady_clock::now();
        for (const std::string& file : files) {
            crc.value = 0;
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(file.data());
            for (size_t at = 0; at < file.size(); at += WINDOW_SIZE) {
                size_t piece = file.size() - at < WINDOW_SIZE ? file.size() - at : WINDOW_SIZE;
                crcFeed(&crc, bytes + at, static_cast<int32_t>(piece));
            }
            folded ^= crc.value;
        }
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best) best = took.count();
    }
    // The CRCs go out too, so that the work cannot be left out.
    std::printf("%.4f %04x\n", best, folded);
    return 0;
}
