#include "encode/block_encoder.h"

#include <algorithm>

#include "encode/huffman_code.h"

namespace lzh {

void SymbolCounts::add(const Token& token) {
    ++literal[token.symbol];
    if (token.symbol >= 256) ++position[positionSymbol(token.position)];
    ++tokens;
}

void SymbolCounts::add(const SymbolCounts& other) {
    for (size_t i = 0; i < literal.size(); ++i) literal[i] += other.literal[i];
    for (size_t i = 0; i < position.size(); ++i) position[i] += other.position[i];
    tokens += other.tokens;
}

void SymbolCounts::subtract(const SymbolCounts& other) {
    for (size_t i = 0; i < literal.size(); ++i) literal[i] -= other.literal[i];
    for (size_t i = 0; i < position.size(); ++i) position[i] -= other.position[i];
    tokens -= other.tokens;
}

namespace {

const unsigned NO_ZERO_RUN = ~0u;

// One entry of the literal lengths as the code-length code sends it.
struct LengthEntry {
    uint8_t symbol;
    uint8_t extraBits;
    uint16_t extra;
};

// Runs of zero lengths take the cheapest of the three run symbols; 19 zeros
// have no symbol of their own and go as one plus eighteen.
std::vector<LengthEntry> literalLengthEntries(const std::vector<uint8_t>& lengths, unsigned count) {
    std::vector<LengthEntry> entries;
    for (unsigned i = 0; i < count;) {
        if (lengths[i] != 0) {
            entries.push_back({static_cast<uint8_t>(lengths[i] + 2), 0, 0});
            ++i;
            continue;
        }
        unsigned zeros = 0;
        while (i + zeros < count && lengths[i + zeros] == 0) ++zeros;
        i += zeros;
        if (zeros <= 2) {
            for (unsigned k = 0; k < zeros; ++k) entries.push_back({0, 0, 0});
        } else if (zeros <= 18) {
            entries.push_back({1, 4, static_cast<uint16_t>(zeros - 3)});
        } else if (zeros == 19) {
            entries.push_back({0, 0, 0});
            entries.push_back({1, 4, 15});
        } else {
            entries.push_back({2, 9, static_cast<uint16_t>(zeros - 20)});
        }
    }
    return entries;
}

unsigned usedCount(const std::vector<uint8_t>& lengths) {
    unsigned count = static_cast<unsigned>(lengths.size());
    while (count > 0 && lengths[count - 1] == 0) --count;
    return count;
}

unsigned smallLengthBits(unsigned length) { return length < 7 ? 3 : length - 3; }

// Lengths 0 to 6 take three bits; 7 and more are 7 followed by one 1 bit
// per further step and a closing 0.
void putSmallLength(BitOutput& out, unsigned length) {
    if (length < 7) {
        out.put(length, 3);
        return;
    }
    out.put(7, 3);
    out.put(((1u << (length - 7)) - 1) << 1, length - 6);
}

// The zero run after the third code-length length covers at most the
// lengths still announced, so no reader ever steps past the count.
unsigned zeroRunAt(const std::vector<uint8_t>& lengths, unsigned i, unsigned count) {
    unsigned zeros = 0;
    while (zeros < 3 && i + zeros < count && lengths[i + zeros] == 0) ++zeros;
    return zeros;
}

uint64_t smallLengthsBits(const std::vector<uint8_t>& lengths, unsigned countBits, unsigned zeroRunIndex) {
    unsigned count = usedCount(lengths);
    uint64_t bits = countBits;
    for (unsigned i = 0; i < count;) {
        bits += smallLengthBits(lengths[i++]);
        if (i == zeroRunIndex) {
            bits += 2;
            i += zeroRunAt(lengths, i, count);
        }
    }
    return bits;
}

void putSmallLengths(BitOutput& out, const std::vector<uint8_t>& lengths, unsigned countBits, unsigned zeroRunIndex) {
    unsigned count = usedCount(lengths);
    out.put(count, countBits);
    for (unsigned i = 0; i < count;) {
        putSmallLength(out, lengths[i++]);
        if (i == zeroRunIndex) {
            unsigned zeros = zeroRunAt(lengths, i, count);
            out.put(zeros, 2);
            i += zeros;
        }
    }
}

// The one symbol of a code that has fewer than two, or 0 when none is used.
uint16_t onlySymbol(const std::vector<uint32_t>& frequencies) {
    for (size_t i = 0; i < frequencies.size(); ++i)
        if (frequencies[i]) return static_cast<uint16_t>(i);
    return 0;
}

// Everything a block sends before its symbols. A code with fewer than two
// symbols goes in the single-symbol form: a zero count and the symbol, and
// each of its symbols then costs no bits.
struct BlockPlan {
    std::vector<uint8_t> literalLengths;
    std::vector<uint8_t> positionLengths;
    std::vector<uint8_t> codeLengthLengths;
    std::vector<LengthEntry> entries;
    unsigned literalCount = 0;
    uint16_t onlyLiteral = 0;
    uint16_t onlyCodeLength = 0;
    uint16_t onlyPosition = 0;
    uint64_t headerBits = 0;

    BlockPlan(const SymbolCounts& counts, const Method& method) {
        literalLengths = huffmanLengths(counts.literal, MAX_CODE_LENGTH);
        std::vector<uint32_t> positions(counts.position.begin(), counts.position.begin() + method.positionCodesWritten);
        positionLengths = huffmanLengths(positions, MAX_CODE_LENGTH);
        onlyPosition = onlySymbol(positions);
        literalCount = usedCount(literalLengths);
        headerBits = 16;
        if (literalCount == 0) {
            onlyLiteral = onlySymbol(counts.literal);
            headerBits += 2 * CODE_LENGTH_COUNT_BITS + 2 * LITERAL_COUNT_BITS;
        } else {
            entries = literalLengthEntries(literalLengths, literalCount);
            std::vector<uint32_t> entryCounts(CODE_LENGTH_COUNT, 0);
            for (const LengthEntry& entry : entries) ++entryCounts[entry.symbol];
            codeLengthLengths = huffmanLengths(entryCounts, MAX_CODE_LENGTH);
            onlyCodeLength = onlySymbol(entryCounts);
            headerBits += usedCount(codeLengthLengths) == 0
                              ? 2 * CODE_LENGTH_COUNT_BITS
                              : smallLengthsBits(codeLengthLengths, CODE_LENGTH_COUNT_BITS, CODE_LENGTH_ZERO_RUN_INDEX);
            headerBits += LITERAL_COUNT_BITS;
            for (const LengthEntry& entry : entries) headerBits += codeLengthLengths[entry.symbol] + entry.extraBits;
        }
        headerBits += usedCount(positionLengths) == 0
                          ? 2 * method.positionCountBits
                          : smallLengthsBits(positionLengths, method.positionCountBits, NO_ZERO_RUN);
    }

    uint64_t symbolBits(const SymbolCounts& counts) const {
        uint64_t bits = 0;
        for (unsigned s = 0; s < LITERAL_COUNT; ++s) bits += uint64_t(counts.literal[s]) * literalLengths[s];
        for (unsigned p = 0; p < positionLengths.size(); ++p)
            bits += uint64_t(counts.position[p]) * (positionLengths[p] + positionExtraBits(p));
        return bits;
    }

    void putHeader(BitOutput& out, size_t tokenCount, const Method& method) const {
        out.put(static_cast<uint32_t>(tokenCount), 16);
        if (literalCount == 0) {
            out.put(0, CODE_LENGTH_COUNT_BITS);
            out.put(0, CODE_LENGTH_COUNT_BITS);
            out.put(0, LITERAL_COUNT_BITS);
            out.put(onlyLiteral, LITERAL_COUNT_BITS);
        } else {
            if (usedCount(codeLengthLengths) == 0) {
                out.put(0, CODE_LENGTH_COUNT_BITS);
                out.put(onlyCodeLength, CODE_LENGTH_COUNT_BITS);
            } else {
                putSmallLengths(out, codeLengthLengths, CODE_LENGTH_COUNT_BITS, CODE_LENGTH_ZERO_RUN_INDEX);
            }
            std::vector<uint16_t> codes = canonicalCodes(codeLengthLengths);
            out.put(literalCount, LITERAL_COUNT_BITS);
            for (const LengthEntry& entry : entries) {
                out.put(codes[entry.symbol], codeLengthLengths[entry.symbol]);
                out.put(entry.extra, entry.extraBits);
            }
        }
        if (usedCount(positionLengths) == 0) {
            out.put(0, method.positionCountBits);
            out.put(onlyPosition, method.positionCountBits);
        } else {
            putSmallLengths(out, positionLengths, method.positionCountBits, NO_ZERO_RUN);
        }
    }
};

}  // namespace

uint64_t blockBits(const SymbolCounts& counts, const Method& method) {
    BlockPlan plan(counts, method);
    return plan.headerBits + plan.symbolBits(counts);
}

void writeBlock(BitOutput& out, const Token* tokens, size_t count, const Method& method) {
    SymbolCounts counts;
    for (size_t i = 0; i < count; ++i) counts.add(tokens[i]);
    BlockPlan plan(counts, method);
    plan.putHeader(out, count, method);
    std::vector<uint16_t> literalCodes = canonicalCodes(plan.literalLengths);
    std::vector<uint16_t> positionCodes = canonicalCodes(plan.positionLengths);
    for (size_t i = 0; i < count; ++i) {
        const Token& token = tokens[i];
        out.put(literalCodes[token.symbol], plan.literalLengths[token.symbol]);
        if (token.symbol < 256) continue;
        unsigned symbol = positionSymbol(token.position);
        out.put(positionCodes[symbol], plan.positionLengths[symbol]);
        unsigned extraBits = positionExtraBits(symbol);
        out.put(token.position, extraBits);  // the leading 1 falls outside the extra bits
    }
}

}  // namespace lzh
