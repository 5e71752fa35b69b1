// The shape of an -lh5-, -lh6- or -lh7- stream as the encoder writes it:
// the three alphabets and how each method bounds its copies.
#pragma once

#include <cstdint>

namespace lzh {

const unsigned MIN_MATCH = 3;
const unsigned MAX_MATCH = 256;
const unsigned LITERAL_SYMBOLS = 510;       // 256 bytes, then copy lengths 3..256
const unsigned COPY_LENGTH_BIAS = 253;      // symbol = length + bias
const unsigned LITERAL_COUNT_BITS = 9;
const unsigned CODE_LENGTH_SYMBOLS = 19;    // 0..2 zero runs, 3..18 lengths 1..16
const unsigned CODE_LENGTH_COUNT_BITS = 5;
const unsigned CODE_LENGTH_ZERO_RUN_INDEX = 3;  // a 2-bit zero run follows the third length
const unsigned MAX_CODE_LENGTH = 16;
const unsigned MAX_BLOCK_SYMBOLS = 65535;   // 0 would mean 65,536, which not every reader takes
const unsigned MAX_POSITION_SYMBOLS = 17;

struct Method {
    char digit;                 // '5', '6' or '7'
    uint32_t dictionarySize;    // 8, 32 or 64 KiB
    unsigned positionSymbols;   // size of the position alphabet the count field announces
    unsigned positionCountBits;
    // Copies reach one byte less than the dictionary, so a reader whose ring
    // buffer is exactly the dictionary never copies over its own source.
    uint32_t maxDistance() const { return dictionarySize - 1; }
};

// 0 for a digit that is not one of the three compressed methods we write.
const Method* methodFor(char digit);

// The position symbol of a copy whose distance is position + 1: 0 and 1
// stand for themselves, p >= 2 for 2^(p-1) plus p-1 further bits.
inline unsigned positionSymbol(uint32_t position) {
    return position == 0 ? 0 : 32 - static_cast<unsigned>(__builtin_clz(position));
}
inline unsigned positionExtraBits(unsigned symbol) { return symbol < 2 ? 0 : symbol - 1; }

}  // namespace lzh
