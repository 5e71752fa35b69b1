// Canonical Huffman codes as LZH sends them: lengths limited to 16 bits,
// codes handed out by length, then by symbol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzh {

// Code lengths for the given symbol frequencies, none longer than maxLength.
// Symbols of frequency 0 get length 0. With fewer than two used symbols no
// complete code exists; the one used symbol (if any) then gets length 0 and
// the caller sends the single-symbol form.
std::vector<uint8_t> huffmanLengths(const std::vector<uint32_t>& frequencies, unsigned maxLength);
void huffmanLengths(const uint32_t* frequencies, size_t count, unsigned maxLength, uint8_t* lengths);

// The code of every symbol with a non-zero length, to be sent top bit first.
std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t>& lengths);

}  // namespace lzh
