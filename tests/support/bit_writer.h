// Packed bit streams made by hand for the decoder tests: bits go into each
// byte from the top down, and canonical codes are computed from lengths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BitWriter {
public:
    // The low count bits of value, highest first.
    void put(uint32_t value, unsigned count);
    // The stream so far, the last byte padded with zero bits.
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
    unsigned freeBits_ = 0;
};

// The canonical code value of each symbol (right-aligned in its length; 0
// where the length is 0): shorter codes first, equal lengths in symbol order.
std::vector<uint32_t> canonicalCodes(const std::vector<int>& lengths);

// Lengths of a complete code that gives every used symbol a code of nearly
// equal length and unused ones none. Needs at least two used symbols.
std::vector<int> flatLengths(const std::vector<bool>& used);
