#include "decode/fast_decoder.h"

#include <stdint.h>

#include "decode/block_decoder.h"
#include "decode/decoder_state.h"
#include "decode/huffman_table.h"

// The loop keeps its bits in a machine word and the window position, the
// counts and the table pointers in locals: stores into the window could
// otherwise alias the run's fields and force them to be read again after
// every byte. Both targets are little-endian, so a word of the bit stream,
// which is big-endian, is a load and a byte swap.
#if UINTPTR_MAX > 0xFFFFFFFFu
typedef uint64_t BitWord;
static inline BitWord loadBitWord(const unsigned char* p) {
    BitWord word;
    __builtin_memcpy(&word, p, sizeof(word));
    return __builtin_bswap64(word);
}
#else
typedef uint32_t BitWord;
static inline BitWord loadBitWord(const unsigned char* p) {
    BitWord word;
    __builtin_memcpy(&word, p, sizeof(word));
    return __builtin_bswap32(word);
}
#endif

const unsigned WORD_BITS = sizeof(BitWord) * 8;
// A symbol refills at most three times (before its position, before the
// position's extra bits and after it), each moving on by less than a word
// and reading one word.
const uint32_t INPUT_MARGIN = 3 * sizeof(BitWord);
// No symbol started below this position reaches the window's end.
const uint32_t WINDOW_LIMIT = WINDOW_SIZE - MAX_COPY_LENGTH;

// The bits not yet taken sit at the top of word; count of them are known.
// Bits below those are zero or already the stream's next bits, so a refill
// may OR the same bytes in again.
struct FastBits {
    BitWord word;
    unsigned count;
    const unsigned char* in;
};

static inline void refill(FastBits& b) {
    b.word |= loadBitWord(b.in) >> b.count;
    b.in += (WORD_BITS - 1 - b.count) >> 3;
    b.count |= WORD_BITS - 8;
}

static inline void dropBits(FastBits& b, unsigned n) {
    b.word <<= n;
    b.count -= n;
}

static inline uint16_t lookAhead(const FastBits& b) { return static_cast<uint16_t>(b.word >> (WORD_BITS - 16)); }

// An entry of symbolCodes or positionCodes: the symbol (or tree node) in the
// low bits, its code's length above them, so that one load gives both.
const unsigned CODE_SYMBOL_BITS = 10;
const uint16_t CODE_SYMBOL_MASK = (1u << CODE_SYMBOL_BITS) - 1;
static_assert(TREE_LINKS <= CODE_SYMBOL_MASK + 1u, "every symbol and tree node fits below the length");
static_assert((MAX_CODE_LENGTH << CODE_SYMBOL_BITS | CODE_SYMBOL_MASK) <= 0xFFFF,
              "the longest code's length fits above");
// A symbolCodes entry whose index starts with a literal's code and goes on
// with the whole code of another literal also holds that second literal
// above the first 16 bits, and the two codes' lengths together above it;
// there is no pair where those are 0.
const unsigned PAIR_SECOND_SHIFT = 16;
const unsigned PAIR_LENGTH_SHIFT = 24;

template <typename Entry>
static void packCodes(const uint16_t* table, unsigned tableBits, uint16_t symbolCount, const unsigned char* lengths,
                      Entry* codes) {
    for (uint32_t i = 0; i < (1u << tableBits); ++i) {
        uint16_t s = table[i];
        codes[i] = s < symbolCount ? static_cast<uint16_t>(s | lengths[s] << CODE_SYMBOL_BITS) : s;
    }
}

// The second code's entry is the one at the index's bits after the first
// code, with the bits not yet known as zero, which is the same entry
// whenever that code fits. A block whose literals all have long codes (most
// of binary data) has no pair to look for.
static void addLiteralPairs(const unsigned char* lengths, uint32_t* codes) {
    unsigned shortest = MAX_CODE_LENGTH;
    for (uint32_t c = 0; c < FIRST_COPY_SYMBOL; ++c)
        if (lengths[c] != 0 && lengths[c] < shortest) shortest = lengths[c];
    if (2 * shortest > SYMBOL_TABLE_BITS) return;
    const uint32_t mask = (1u << SYMBOL_TABLE_BITS) - 1;
    for (uint32_t i = 0; i <= mask; ++i) {
        uint32_t first = codes[i] & 0xFFFF;
        unsigned firstLength = first >> CODE_SYMBOL_BITS;
        uint32_t second = codes[(i << firstLength) & mask] & 0xFFFF;
        unsigned secondLength = second >> CODE_SYMBOL_BITS;
        if ((first & CODE_SYMBOL_MASK) < FIRST_COPY_SYMBOL && firstLength != 0 &&
            (second & CODE_SYMBOL_MASK) < FIRST_COPY_SYMBOL && secondLength != 0 &&
            firstLength + secondLength <= SYMBOL_TABLE_BITS)
            codes[i] |= (second & 0xFF) << PAIR_SECOND_SHIFT | (firstLength + secondLength) << PAIR_LENGTH_SHIFT;
    }
}

void packBlockCodes(DecoderState* d) {
    packCodes(d->symbolTable, SYMBOL_TABLE_BITS, LITERAL_COUNT, d->symbolLengths, d->symbolCodes);
    packCodes(d->smallTable, SMALL_TABLE_BITS, d->positionCodeCount, d->smallLengths, d->positionCodes);
    addLiteralPairs(d->symbolLengths, d->symbolCodes);
}

static inline uint16_t fastCode(DecoderState* d, FastBits& b, const uint16_t* codes, unsigned tableBits,
                                uint16_t symbolCount, const unsigned char* lengths) {
    uint16_t entry = codes[b.word >> (WORD_BITS - tableBits)];
    uint16_t s = entry & CODE_SYMBOL_MASK;
    if (s < symbolCount) {
        dropBits(b, entry >> CODE_SYMBOL_BITS);
        return s;
    }
    s = walkCodeTree(d, s, lookAhead(b), static_cast<uint16_t>(tableBits), symbolCount);
    dropBits(b, lengths[s]);
    return s;
}

// A copy longer than its distance reads bytes it has just written. Pieces of
// 8 (or 4) bytes keep that true when the source lies at least 8 bytes back,
// the last piece ending exactly at the copy's end, so nothing past the copy
// is touched: those bytes are still history for copies from far back. A
// source that wraps past the window's start goes byte by byte.
static inline void copyBytes(unsigned char* window, uint32_t pos, uint32_t distance, uint32_t length) {
    unsigned char* out = window + pos;
    if (distance > pos) {
        uint32_t from = pos - distance;
        for (uint32_t k = 0; k < length; ++k) out[k] = window[(from + k) & (WINDOW_SIZE - 1)];
        return;
    }
    const unsigned char* from = out - distance;
    if (distance >= 8) {
        if (length >= 8) {
            uint64_t piece;
            for (uint32_t k = 0; k + 8 <= length; k += 8) {
                __builtin_memcpy(&piece, from + k, 8);
                __builtin_memcpy(out + k, &piece, 8);
            }
            __builtin_memcpy(&piece, from + length - 8, 8);
            __builtin_memcpy(out + length - 8, &piece, 8);
            return;
        }
        if (length >= 4) {
            uint32_t piece;
            __builtin_memcpy(&piece, from, 4);
            __builtin_memcpy(out, &piece, 4);
            __builtin_memcpy(&piece, from + length - 4, 4);
            __builtin_memcpy(out + length - 4, &piece, 4);
            return;
        }
    } else if (length >= 24) {
        // A run of a pattern shorter than 8 bytes: once the first whole
        // periods that reach 8 bytes are in place, 8-byte pieces copy from
        // that far back, which repeats the same pattern.
        static const unsigned char reach[8] = {0, 8, 8, 9, 8, 10, 12, 14};
        uint32_t back = reach[distance];
        uint32_t k = 0;
        for (; k < back; ++k) out[k] = from[k];
        uint64_t piece;
        for (; k + 8 <= length; k += 8) {
            __builtin_memcpy(&piece, out + k - back, 8);
            __builtin_memcpy(out + k, &piece, 8);
        }
        __builtin_memcpy(&piece, out + length - 8 - back, 8);
        __builtin_memcpy(out + length - 8, &piece, 8);
        return;
    }
    // Byte by byte in order, each byte read after the ones before it are
    // written; the shortest copy, the most common, without a loop.
    if (length == 3) {
        out[0] = from[0];
        out[1] = from[1];
        out[2] = from[2];
        return;
    }
    for (uint32_t k = 0; k < length; ++k) out[k] = from[k];
}

// Entry: the plain steps stand between two symbols of a block whose codes
// packBlockCodes has packed. The loop runs only while no failure is pending,
// at least INPUT_MARGIN of the member's bytes lie in the input buffer ahead
// of inputPos, the window position is below WINDOW_LIMIT, and producedCount
// is below targetSize and far enough below 4 GiB for a whole copy; else it
// returns at once and changes nothing.
// Each turn: a symbol is left in the block, INPUT_MARGIN bytes of the member
// lie ahead of the reading position within the buffer, so the symbol's
// refills stay inside it, and the symbol cannot carry the window position
// or the count past the budget taken at entry.
// On return: bitBuffer, pendingByte and pendingBitCount, inputPos,
// packedLeft, windowPos, producedCount and blockSymbolsLeft are what
// decodeSymbol would have left after the same symbols. Nothing has been
// read from the file, written out or reported, and the window has not
// filled; a code that ran off its tree is kept as the failure, as the plain
// steps keep it, for the next boundary to stop at.
void decodeSymbolsFast(DecoderState* d) {
    uint32_t inputPos = d->inputPos;
    if (d->failure != DECODE_OK || inputPos >= INPUT_BUFFER_SIZE) return;
    uint32_t buffered = INPUT_BUFFER_SIZE - inputPos;
    if (buffered > d->packedLeft) buffered = d->packedLeft;
    if (buffered < INPUT_MARGIN) return;

    const unsigned char* const start = d->inputBuffer + inputPos;
    const unsigned char* const inLimit = start + (buffered - INPUT_MARGIN);
    // Every symbol moves the window position and producedCount on alike, so
    // one budget stops the loop before the window's end and at the member's
    // end, and before producedCount could pass 4 GiB, where the plain step
    // saturates it.
    uint32_t pos = d->windowPos;
    uint32_t produced = d->producedCount;
    if (pos >= WINDOW_LIMIT || produced >= d->targetSize || produced >= 0xFFFFFFFFu - MAX_COPY_LENGTH) return;
    uint32_t budget = WINDOW_LIMIT - pos;
    if (budget > d->targetSize - produced) budget = d->targetSize - produced;
    if (budget > 0xFFFFFFFFu - MAX_COPY_LENGTH - produced) budget = 0xFFFFFFFFu - MAX_COPY_LENGTH - produced;
    const uint32_t startPos = pos;
    unsigned char* const window = d->window;
    const uint32_t* const symbolCodes = d->symbolCodes;
    const unsigned char* const symbolLengths = d->symbolLengths;
    const uint16_t* const positionCodes = d->positionCodes;
    const unsigned char* const smallLengths = d->smallLengths;
    const uint16_t positionCount = d->positionCodeCount;
    uint16_t symbolsLeft = d->blockSymbolsLeft;

    FastBits b;
    b.word = static_cast<BitWord>(d->bitBuffer) << (WORD_BITS - 16) | static_cast<BitWord>(d->pendingByte)
                                                                          << (WORD_BITS - 24);
    b.count = 16u + d->pendingBitCount;
    b.in = start;
    refill(b);
    // The next symbol's entry is looked up as soon as the bits before it are
    // dropped, before the refill, so that the look-up need not wait for it:
    // a 64-bit word still holds more than a table index then.
    const bool refillBeforeLookUp = WORD_BITS - 8 - MAX_CODE_LENGTH < SYMBOL_TABLE_BITS;
    const uint32_t posLimit = startPos + budget;
    uint32_t entry = symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
    while (symbolsLeft != 0 && pos < posLimit && b.in <= inLimit) {
        // Two literals are two turns in one: both must be left in the block
        // and in the budget.
        if ((entry >> PAIR_LENGTH_SHIFT) != 0 && symbolsLeft >= 2 && pos + 1 < posLimit) {
            symbolsLeft -= 2;
            window[pos] = static_cast<unsigned char>(entry);
            window[pos + 1] = static_cast<unsigned char>(entry >> PAIR_SECOND_SHIFT);
            pos += 2;
            dropBits(b, entry >> PAIR_LENGTH_SHIFT);
            refill(b);
            entry = symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
            continue;
        }
        --symbolsLeft;
        uint16_t c = entry & CODE_SYMBOL_MASK;
        if (c < LITERAL_COUNT) {
            dropBits(b, (entry & 0xFFFF) >> CODE_SYMBOL_BITS);
        } else {
            c = walkCodeTree(d, c, lookAhead(b), SYMBOL_TABLE_BITS, LITERAL_COUNT);
            dropBits(b, symbolLengths[c]);
        }
        if (c < FIRST_COPY_SYMBOL) {
            window[pos++] = static_cast<unsigned char>(c);
            if (refillBeforeLookUp) refill(b);
            entry = symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
            refill(b);
            continue;
        }
        uint32_t length = c - COPY_LENGTH_BIAS;
        if (b.count < MAX_CODE_LENGTH) refill(b);
        uint32_t p = fastCode(d, b, positionCodes, SMALL_TABLE_BITS, positionCount, smallLengths);
        if (p > 1) {
            unsigned extraBits = p - 1;
            if (b.count < extraBits) refill(b);
            p = (1u << extraBits) + static_cast<uint32_t>(b.word >> (WORD_BITS - extraBits));
            dropBits(b, extraBits);
        }
        copyBytes(window, pos, p + 1, length);
        pos += length;
        refill(b);
        entry = symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
    }

    // Whole bytes read ahead go back to the input buffer; what is left is
    // bitBuffer and the unused rest of the last byte taken.
    unsigned aheadBits = b.count - 16;
    b.in -= aheadBits >> 3;
    unsigned pending = aheadBits & 7;
    d->bitBuffer = lookAhead(b);
    d->pendingByte = static_cast<unsigned char>((b.word >> (WORD_BITS - 24)) & (0xFF00u >> pending));
    d->pendingBitCount = static_cast<unsigned char>(pending);
    uint32_t used = static_cast<uint32_t>(b.in - start);
    d->inputPos = inputPos + used;
    d->packedLeft -= used;
    d->windowPos = pos;
    d->producedCount = produced + (pos - startPos);
    d->blockSymbolsLeft = symbolsLeft;
}
