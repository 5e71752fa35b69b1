// How the encoder writes -lh5-, -lh6- and -lh7- streams over the format's
// own facts (common/formats.h): which methods it writes, how far its copies
// reach, and how a copy's position becomes a code.
#pragma once

#include <cstdint>

#include "common/formats.h"

namespace lzh {

const unsigned MAX_BLOCK_SYMBOLS = 65535;  // 0 would mean 65,536, which not every reader takes

using Method = LzhMethod;

// 0 for a digit that is not one of the three compressed methods we write;
// -lh4- is only read.
const Method* methodFor(char digit);

// Copies reach one byte less than the dictionary, so a reader whose ring
// buffer is exactly the dictionary never copies over its own source.
inline uint32_t maxDistance(const Method& method) { return method.dictionarySize() - 1; }

// The position symbol of a copy whose distance is position + 1: 0 and 1
// stand for themselves, p >= 2 for 2^(p-1) plus p-1 further bits.
inline unsigned positionSymbol(uint32_t position) {
    return position == 0 ? 0 : 32 - static_cast<unsigned>(__builtin_clz(position));
}
inline unsigned positionExtraBits(unsigned symbol) { return symbol < 2 ? 0 : symbol - 1; }

}  // namespace lzh
