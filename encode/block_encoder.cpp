#include "encode/block_encoder.h"

#include <algorithm>
#include <array>

#include "encode/huffman_code.h"

namespace lzh {

void SymbolCounts::add(const Token& token) {
    ++literal[token.symbol];
    if (token.symbol >= 256) ++position[positionSymbol(token.position)];
    ++tokens;
}

void SymbolCounts::remove(const Token& token) {
    --literal[token.symbol];
    if (token.symbol >= 256) --position[positionSymbol(token.position)];
    --tokens;
}

void SymbolCounts::add(const SymbolCounts& other) {
    for (size_t i = 0; i < literal.size(); ++i) literal[i] += other.literal[i];
    for (size_t i = 0; i < position.size(); ++i) position[i] += other.position[i];
    tokens += other.tokens;
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
template <typename Visit>
void forEachLengthEntry(const uint8_t* lengths, unsigned count, Visit visit) {
    for (unsigned i = 0; i < count;) {
        if (lengths[i] != 0) {
            visit(LengthEntry{static_cast<uint8_t>(lengths[i] + 2), 0, 0});
            ++i;
            continue;
        }
        unsigned zeros = 0;
        while (i + zeros < count && lengths[i + zeros] == 0) ++zeros;
        i += zeros;
        if (zeros <= 2) {
            for (unsigned k = 0; k < zeros; ++k) visit(LengthEntry{0, 0, 0});
        } else if (zeros <= 18) {
            visit(LengthEntry{1, 4, static_cast<uint16_t>(zeros - 3)});
        } else if (zeros == 19) {
            visit(LengthEntry{0, 0, 0});
            visit(LengthEntry{1, 4, 15});
        } else {
            visit(LengthEntry{2, 9, static_cast<uint16_t>(zeros - 20)});
        }
    }
}

template <size_t N>
unsigned usedCount(const std::array<uint8_t, N>& lengths) {
    unsigned count = N;
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
unsigned zeroRunAt(const uint8_t* lengths, unsigned i, unsigned count) {
    unsigned zeros = 0;
    while (zeros < 3 && i + zeros < count && lengths[i + zeros] == 0) ++zeros;
    return zeros;
}

template <size_t N>
uint64_t smallLengthsBits(const std::array<uint8_t, N>& lengths, unsigned countBits, unsigned zeroRunIndex) {
    unsigned count = usedCount(lengths);
    uint64_t bits = countBits;
    for (unsigned i = 0; i < count;) {
        bits += smallLengthBits(lengths[i++]);
        if (i == zeroRunIndex) {
            bits += 2;
            i += zeroRunAt(lengths.data(), i, count);
        }
    }
    return bits;
}

template <size_t N>
void putSmallLengths(BitOutput& out, const std::array<uint8_t, N>& lengths, unsigned countBits, unsigned zeroRunIndex) {
    unsigned count = usedCount(lengths);
    out.put(count, countBits);
    for (unsigned i = 0; i < count;) {
        putSmallLength(out, lengths[i++]);
        if (i == zeroRunIndex) {
            unsigned zeros = zeroRunAt(lengths.data(), i, count);
            out.put(zeros, 2);
            i += zeros;
        }
    }
}

// The one symbol of a code that has fewer than two, or 0 when none is used.
uint16_t onlySymbol(const uint32_t* frequencies, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (frequencies[i]) return static_cast<uint16_t>(i);
    return 0;
}

template <size_t N>
std::vector<uint16_t> codesOf(const std::array<uint8_t, N>& lengths) {
    return canonicalCodes(std::vector<uint8_t>(lengths.begin(), lengths.end()));
}

// Everything a block sends before its symbols. A code with fewer than two
// symbols goes in the single-symbol form: a zero count and the symbol, and
// each of its symbols then costs no bits. Positions past the method's
// alphabet have length 0. Only a plan for writing keeps the entries.
struct BlockPlan {
    std::array<uint8_t, LITERAL_COUNT> literalLengths;
    std::array<uint8_t, MAX_POSITION_CODES> positionLengths{};
    std::array<uint8_t, CODE_LENGTH_COUNT> codeLengthLengths{};
    std::vector<LengthEntry> entries;
    unsigned literalCount = 0;
    uint16_t onlyLiteral = 0;
    uint16_t onlyCodeLength = 0;
    uint16_t onlyPosition = 0;
    uint64_t headerBits = 0;

    BlockPlan(const SymbolCounts& counts, const Method& method, bool forWriting) {
        huffmanLengths(counts.literal.data(), LITERAL_COUNT, MAX_CODE_LENGTH, literalLengths.data());
        huffmanLengths(counts.position.data(), method.positionCodesWritten, MAX_CODE_LENGTH, positionLengths.data());
        onlyPosition = onlySymbol(counts.position.data(), method.positionCodesWritten);
        literalCount = usedCount(literalLengths);
        headerBits = 16;
        if (literalCount == 0) {
            onlyLiteral = onlySymbol(counts.literal.data(), LITERAL_COUNT);
            headerBits += 2 * CODE_LENGTH_COUNT_BITS + 2 * LITERAL_COUNT_BITS;
        } else {
            uint32_t entryCounts[CODE_LENGTH_COUNT] = {};
            uint64_t extraBits = 0;
            forEachLengthEntry(literalLengths.data(), literalCount, [&](const LengthEntry& entry) {
                ++entryCounts[entry.symbol];
                extraBits += entry.extraBits;
                if (forWriting) entries.push_back(entry);
            });
            huffmanLengths(entryCounts, CODE_LENGTH_COUNT, MAX_CODE_LENGTH, codeLengthLengths.data());
            onlyCodeLength = onlySymbol(entryCounts, CODE_LENGTH_COUNT);
            headerBits += usedCount(codeLengthLengths) == 0
                              ? 2 * CODE_LENGTH_COUNT_BITS
                              : smallLengthsBits(codeLengthLengths, CODE_LENGTH_COUNT_BITS, CODE_LENGTH_ZERO_RUN_INDEX);
            headerBits += LITERAL_COUNT_BITS + extraBits;
            for (unsigned symbol = 0; symbol < CODE_LENGTH_COUNT; ++symbol)
                headerBits += uint64_t(entryCounts[symbol]) * codeLengthLengths[symbol];
        }
        headerBits += usedCount(positionLengths) == 0
                          ? 2 * method.positionCountBits
                          : smallLengthsBits(positionLengths, method.positionCountBits, NO_ZERO_RUN);
    }

    uint64_t symbolBits(const SymbolCounts& counts) const {
        uint64_t bits = 0;
        for (unsigned s = 0; s < LITERAL_COUNT; ++s) bits += uint64_t(counts.literal[s]) * literalLengths[s];
        for (unsigned p = 0; p < MAX_POSITION_CODES; ++p)
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
            std::vector<uint16_t> codes = codesOf(codeLengthLengths);
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

// Counts with every used symbol raised to at least `floor`: flatter codes
// whose lengths the block's header may describe in fewer bits.
SymbolCounts flattened(const SymbolCounts& counts, uint32_t floor) {
    SymbolCounts flat = counts;
    for (uint32_t& count : flat.literal)
        if (count) count = std::max(count, floor);
    for (uint32_t& count : flat.position)
        if (count) count = std::max(count, floor);
    return flat;
}

}  // namespace

uint64_t blockBits(const SymbolCounts& counts, const Method& method) {
    BlockPlan plan(counts, method, false);
    return plan.headerBits + plan.symbolBits(counts);
}

void writeBlock(BitOutput& out, const Token* tokens, size_t count, const Method& method) {
    SymbolCounts counts;
    for (size_t i = 0; i < count; ++i) counts.add(tokens[i]);
    // Huffman's lengths are the cheapest for the symbols alone, not with the
    // header that describes them: the block goes with the cheapest of its own
    // code (floor 1) and a few flatter ones.
    uint32_t chosenFloor = 1;
    uint64_t cheapest = UINT64_MAX;
    for (uint32_t floor : {1u, 2u, 3u, 4u, 6u}) {
        BlockPlan flatter(flattened(counts, floor), method, false);
        uint64_t bits = flatter.headerBits + flatter.symbolBits(counts);
        if (bits < cheapest) {
            cheapest = bits;
            chosenFloor = floor;
        }
    }
    BlockPlan plan(flattened(counts, chosenFloor), method, true);
    plan.putHeader(out, count, method);
    std::vector<uint16_t> literalCodes = codesOf(plan.literalLengths);
    std::vector<uint16_t> positionCodes = codesOf(plan.positionLengths);
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
