// Packed streams of the -lh4- to -lh7- format made by hand for the decoder
// tests: blocks with codes the test chooses, and long random ones.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/bit_writer.h"

const int ZERO_RUN_INDEX = 3;
const int NO_ZERO_RUN = -1;

void putSmallLengths(BitWriter& bits, const std::vector<int>& lengths, unsigned countBits, int zeroRunIndex);

// Writes blocks of the -lh4- to -lh7- format with codes chosen by the test.
// A symbol without a code is the test's own mistake and throws.
class PackedWriter {
public:
    explicit PackedWriter(unsigned positionCountBits) : positionCountBits_(positionCountBits) {}

    // The literal/length lengths go out through a code-length code that
    // gives each code-length symbol in use a nearly equal share.
    void block(uint32_t size, const std::vector<int>& literalLengths, const std::vector<int>& positionLengths) {
        literalLengths_ = literalLengths;
        literalCodes_ = canonicalCodes(literalLengths);
        positionLengths_ = positionLengths;
        positionCodes_ = canonicalCodes(positionLengths);
        bits.put(size, 16);

        std::vector<std::pair<int, int>> items;  // code-length symbol, extra bits value
        size_t n = literalLengths.size();
        while (n > 0 && literalLengths[n - 1] == 0) --n;
        for (size_t i = 0; i < n;) {
            size_t run = 0;
            while (i + run < n && literalLengths[i + run] == 0) ++run;
            if (run >= 20) {
                run = std::min<size_t>(run, 531);
                items.push_back({2, int(run - 20)});
            } else if (run >= 3) {
                run = std::min<size_t>(run, 18);
                items.push_back({1, int(run - 3)});
            } else if (run > 0) {
                run = 1;
                items.push_back({0, 0});
            } else {
                items.push_back({literalLengths[i] + 2, 0});
                run = 1;
            }
            i += run;
        }
        std::vector<bool> used(19, false);
        for (const auto& item : items) used[item.first] = true;
        std::vector<int> lengthLengths = flatLengths(used);
        while (!lengthLengths.empty() && lengthLengths.back() == 0) lengthLengths.pop_back();
        putSmallLengths(bits, lengthLengths, 5, ZERO_RUN_INDEX);
        std::vector<uint32_t> lengthCodes = canonicalCodes(lengthLengths);
        bits.put(static_cast<uint32_t>(n), 9);
        for (const auto& [symbol, extra] : items) {
            bits.put(lengthCodes[symbol], lengthLengths[symbol]);
            if (symbol == 1) bits.put(extra, 4);
            if (symbol == 2) bits.put(extra, 9);
        }
        putSmallLengths(bits, positionLengths, positionCountBits_, NO_ZERO_RUN);
    }

    void literal(int c) {
        if (literalLengths_.at(c) == 0) throw std::invalid_argument("a literal/length symbol without a code");
        bits.put(literalCodes_[c], literalLengths_[c]);
    }

    void text(const std::string& s) {
        for (unsigned char c : s) literal(c);
    }

    // Position p goes out as its bit count (0 and 1 as themselves), then
    // the bits below the top one.
    void copy(int length, unsigned position) {
        literal(length + 253);
        unsigned p = 0;
        while ((1u << p) <= position) ++p;
        if (positionLengths_.at(p) == 0) throw std::invalid_argument("a position without a code");
        bits.put(positionCodes_[p], positionLengths_[p]);
        if (p > 1) bits.put(position - (1u << (p - 1)), p - 1);
    }

    BitWriter bits;

private:
    unsigned positionCountBits_;
    std::vector<int> literalLengths_, positionLengths_;
    std::vector<uint32_t> literalCodes_, positionCodes_;
};

// The width of the position-length count of a method.
unsigned countBitsOf(char method);

std::vector<int> randomCompleteCode(size_t count, std::mt19937& random);
// Returns the stream; the bytes it decodes to go into unpackedSize. With
// shortLiterals most literals have 4-bit codes and copies are rarer.
std::string randomStream(char method, uint32_t* unpackedSize, std::mt19937& random, bool shortLiterals = false);
