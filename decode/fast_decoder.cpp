#include "decode/fast_decoder.h"

#include <stdint.h>

#include "decode/block_decoder.h"
#include "decode/decoder_state.h"
#include "decode/fast_loop.h"
#include "decode/huffman_table.h"

// A code of length l up to tableBits fills 2^(tableBits - l) entries in a
// row, so the table goes by those runs rather than entry by entry. A table
// left from an earlier block, whose symbols' lengths are now 0, goes entry
// by entry as before.
template <typename Entry>
static void packCodes(const uint16_t* table, unsigned tableBits, uint16_t symbolCount, const unsigned char* lengths,
                      Entry* codes) {
    const uint32_t size = 1u << tableBits;
    for (uint32_t i = 0; i < size;) {
        uint16_t s = table[i];
        if (s >= symbolCount) {
            codes[i++] = s;
            continue;
        }
        unsigned length = lengths[s];
        uint32_t run = length != 0 && length <= tableBits ? 1u << (tableBits - length) : 1;
        if (run > size - i) run = size - i;
        Entry entry = static_cast<Entry>(s | length << CODE_SYMBOL_BITS);
        for (uint32_t end = i + run; i < end; ++i) codes[i] = entry;
    }
}

// The second code's entry is the one at the index's bits after the first
// code, with the bits not yet known as zero, which is the same entry
// whenever that code fits. Those bits are the same for every first code of
// one length, so only the first such code of each kind works its second
// codes out, by their runs, and the others copy them. A literal goes on with
// another literal, a copy with its position's code. A kind whose second
// codes are all too long (the literals of most binary data) has nothing to
// look for.
static void addPairs(DecoderState* d) {
    uint32_t* codes = d->symbolCodes;
    unsigned shortestLiteral = MAX_CODE_LENGTH + 1, shortestPosition = MAX_CODE_LENGTH + 1;
    for (uint32_t c = 0; c < FIRST_COPY_SYMBOL; ++c)
        if (d->symbolLengths[c] != 0 && d->symbolLengths[c] < shortestLiteral) shortestLiteral = d->symbolLengths[c];
    for (uint32_t p = 0; p < d->positionCodeCount; ++p)
        if (d->smallLengths[p] != 0 && d->smallLengths[p] < shortestPosition) shortestPosition = d->smallLengths[p];
    // where the first code of each length and kind starts, plus one
    uint32_t worked[2][SYMBOL_TABLE_BITS + 1] = {{0}};
    for (uint32_t i = 0; i < (1u << SYMBOL_TABLE_BITS);) {
        uint32_t first = codes[i] & 0xFFFF;
        unsigned firstLength = first >> CODE_SYMBOL_BITS;
        if (firstLength == 0) {
            ++i;
            continue;
        }
        unsigned rest = SYMBOL_TABLE_BITS - firstLength;
        uint32_t run = 1u << rest;
        bool copy = (first & CODE_SYMBOL_MASK) >= FIRST_COPY_SYMBOL;
        if (firstLength + (copy ? shortestPosition : shortestLiteral) <= SYMBOL_TABLE_BITS) {
            uint32_t* pairs = codes + i;
            uint32_t& model = worked[copy][firstLength];
            if (model != 0) {
                for (uint32_t j = 0; j < run; ++j) pairs[j] |= codes[model - 1 + j] & 0xFFFF0000u;
            } else {
                model = i + 1;
                for (uint32_t j = 0; j < run;) {
                    uint32_t second;
                    if (!copy) second = codes[j << firstLength] & 0xFFFF;
                    else if (rest >= SMALL_TABLE_BITS) second = d->positionCodes[j >> (rest - SMALL_TABLE_BITS)];
                    else second = d->positionCodes[j << (SMALL_TABLE_BITS - rest)];
                    unsigned secondLength = second >> CODE_SYMBOL_BITS;
                    uint32_t symbol = second & CODE_SYMBOL_MASK;
                    uint32_t step = 1;
                    if (secondLength != 0 && secondLength <= rest) {
                        step = 1u << (rest - secondLength);
                        uint32_t pair = symbol << PAIR_SECOND_SHIFT | (firstLength + secondLength) << PAIR_LENGTH_SHIFT;
                        if (copy) pair |= COPY_WITH_POSITION;
                        if (copy || symbol < FIRST_COPY_SYMBOL)
                            for (uint32_t k = j; k < j + step; ++k) pairs[k] |= pair;
                    }
                    j += step;
                }
            }
        }
        i += run;
    }
}

// Position p reaches back at most 2^p bytes. A position code without
// lengths (a single symbol, or an earlier block's table left as it was) may
// yield any position of the method.
static uint32_t positionReach(const DecoderState* d) {
    if (d->positionCodeCount == 0) return WINDOW_SIZE;
    unsigned farthest = d->positionCodeCount - 1u;
    for (unsigned p = farthest + 1; p-- > 0;)
        if (d->smallLengths[p] != 0) return 1u << p;
    return 1u << farthest;
}

void packBlockCodes(DecoderState* d) {
    packCodes(d->symbolTable, SYMBOL_TABLE_BITS, LITERAL_COUNT, d->symbolLengths, d->symbolCodes);
    packCodes(d->smallTable, SMALL_TABLE_BITS, d->positionCodeCount, d->smallLengths, d->positionCodes);
    addPairs(d);
    d->blockReach = positionReach(d);
}

namespace {

struct FastLoopList {
    FastLoop loops[4];
};

FastLoopList listFastLoops() {
    FastLoopList list = {};
    unsigned n = 0;
#if VELKAR_X86_FAST_LOOPS
    bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2 && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
        list.loops[n++] = decodeSymbolsFastAvx512;
    if (bmi2) list.loops[n++] = decodeSymbolsFastBmi2;
#endif
    list.loops[n] = decodeSymbolsLoop;
    return list;
}

FastLoop chosenLoop;  // useFastLoop's choice; 0 runs the best

}  // namespace

const FastLoop* fastLoops() {
    static const FastLoopList list = listFastLoops();
    return list.loops;
}

void useFastLoop(FastLoop loop) { chosenLoop = loop; }

void decodeSymbolsFast(DecoderState* d) {
#if VELKAR_X86_FAST_LOOPS
    static const FastLoop best = fastLoops()[0];
    (chosenLoop ? chosenLoop : best)(d);
#else
    decodeSymbolsLoop(d);
#endif
}
