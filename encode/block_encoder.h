// One block of an LZH stream: its three codes, sent as the decoder reads
// them, then its symbols. Also what a block would cost, so that the encoder
// can choose where blocks end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encode/bit_output.h"
#include "encode/lzh_format.h"

namespace lzh {

// A literal (symbol below 256) or a copy: symbol = length + 253, position =
// distance - 1.
struct Token {
    uint16_t symbol;
    uint16_t position;
};

struct SymbolCounts {
    std::vector<uint32_t> literal = std::vector<uint32_t>(LITERAL_COUNT, 0);
    std::vector<uint32_t> position = std::vector<uint32_t>(MAX_POSITION_CODES, 0);
    uint32_t tokens = 0;

    void add(const Token& token);
    void remove(const Token& token);
    void add(const SymbolCounts& other);
};

// Bits the block would take, its three code descriptions included.
uint64_t blockBits(const SymbolCounts& counts, const Method& method);

// Appends a block of 1 to MAX_BLOCK_SYMBOLS tokens.
void writeBlock(BitOutput& out, const Token* tokens, size_t count, const Method& method);

}  // namespace lzh
