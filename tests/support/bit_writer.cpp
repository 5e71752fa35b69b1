#include "support/bit_writer.h"

void BitWriter::put(uint32_t value, unsigned count) {
    while (count-- > 0) {
        if (freeBits_ == 0) {
            bytes_.push_back('\0');
            freeBits_ = 8;
        }
        --freeBits_;
        if ((value >> count) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (1 << freeBits_));
    }
}

std::vector<uint32_t> canonicalCodes(const std::vector<int>& lengths) {
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == length) codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

// With k used symbols and 2^(b-1) < k <= 2^b, 2^b - k of them get b - 1 bits
// and the rest b bits, which fills the code space exactly.
std::vector<int> flatLengths(const std::vector<bool>& used) {
    int k = 0;
    for (bool u : used) k += u;
    int bits = 0;
    while ((1 << bits) < k) ++bits;
    int shorter = (1 << bits) - k;
    std::vector<int> lengths(used.size(), 0);
    for (size_t s = 0; s < used.size(); ++s) {
        if (!used[s]) continue;
        lengths[s] = shorter-- > 0 ? bits - 1 : bits;
    }
    return lengths;
}
