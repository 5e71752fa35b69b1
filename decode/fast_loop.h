// The block decoder's fast loop and the layout of its table entries. Every
// file that includes this compiles the loop anew for its own processor
// options: decode/fast_decoder.cpp for any processor, and on 64-bit x86
// hosts decode/fast_loop_bmi2.cpp and decode/fast_loop_avx512.cpp for
// processors with those extensions. decodeSymbolsFast (fast_decoder.h)
// describes what the loop does.
#pragma once

#include <stdint.h>

#include "decode/decoder_state.h"
#include "decode/huffman_table.h"

// The loop as decode/fast_loop_bmi2.cpp and decode/fast_loop_avx512.cpp
// build it.
void decodeSymbolsFastBmi2(DecoderState* d);
void decodeSymbolsFastAvx512(DecoderState* d);

#if defined(__AVX512BW__) && defined(__AVX512VL__) && defined(__BMI2__)
#include <immintrin.h>
#define MASKED_COPIES 1
#else
#define MASKED_COPIES 0
#endif

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
// How far past its end a copy may write when the method cannot reach back
// that far; see copyBytes.
const uint32_t OVERCOPY = 16;

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
// there is no pair where those are 0. A copy's entry may hold its
// position's code in the same way, its symbol in place of the second
// literal and the top bit set.
const unsigned PAIR_SECOND_SHIFT = 16;
const unsigned PAIR_LENGTH_SHIFT = 24;
const uint32_t COPY_WITH_POSITION = 0x80000000u;
const uint32_t PAIR_LENGTH_MASK = 0x7F;

// The position code's entry: a symbol with its length, or, with a length
// of 0, a tree node or the one symbol of a single-symbol code, which the
// rare path tells apart.
static inline uint32_t fastPosition(DecoderState* d, FastBits& b) {
    uint16_t entry = d->positionCodes[b.word >> (WORD_BITS - SMALL_TABLE_BITS)];
    uint16_t s = entry & CODE_SYMBOL_MASK;
    if (entry > CODE_SYMBOL_MASK) {
        dropBits(b, entry >> CODE_SYMBOL_BITS);
        return s;
    }
    if (s < d->positionCodeCount) return s;
    s = walkCodeTree(d, s, lookAhead(b), SMALL_TABLE_BITS, d->positionCodeCount);
    dropBits(b, d->smallLengths[s]);
    return s;
}

// A copy longer than its distance reads bytes it has just written. Pieces of
// 8 (or 4) bytes keep that true when the source lies at least 8 bytes back.
// The bytes past the copy are the window's oldest, still history for copies
// from a whole window back, so the last piece normally ends exactly at the
// copy's end. A block whose copies reach back less than a window minus
// OVERCOPY (every block of -lh4- to -lh6-, and -lh7- blocks without its
// farthest positions) may write up to OVERCOPY - 1 bytes past the end
// instead, in whole pieces, without telling the lengths apart: nothing of
// that block reads those bytes before they are written again. Processors
// with AVX-512 write exact pieces instead (MASKED_COPIES). A source
// that wraps past the window's start lies ahead of the output, near the
// window's end. Clear of the output, and far enough from the end for a
// piece to read OVERCOPY past it, it goes in pieces as a source a window
// back would; else byte by byte.
static inline void copyBytes(unsigned char* window, unsigned char* out, uint32_t distance, uint32_t length,
                             bool roomAhead) {
    uint32_t pos = static_cast<uint32_t>(out - window);
    const unsigned char* from = out - distance;
    if (distance > pos) {
        uint32_t start = pos + WINDOW_SIZE - distance;
        if (start + length + OVERCOPY > WINDOW_SIZE || start < pos + length) {
            for (uint32_t k = 0; k < length; ++k) out[k] = window[(start + k) & (WINDOW_SIZE - 1)];
            return;
        }
        from = window + start;
        distance = WINDOW_SIZE;
    }
    if (roomAhead && distance >= 8) {
        uint64_t piece;
        uint32_t k = 0;
        if (distance >= 16) {
            uint64_t second;
            do {
                __builtin_memcpy(&piece, from + k, 8);
                __builtin_memcpy(&second, from + k + 8, 8);
                __builtin_memcpy(out + k, &piece, 8);
                __builtin_memcpy(out + k + 8, &second, 8);
                k += 16;
            } while (k < length);
            return;
        }
        do {
            __builtin_memcpy(&piece, from + k, 8);
            __builtin_memcpy(out + k, &piece, 8);
            k += 8;
        } while (k < length);
        return;
    }
#if MASKED_COPIES
    // A masked store writes only the bytes its mask names, so the last of
    // the 16-byte pieces ends exactly at the copy's end, whatever its length.
    if (distance >= 16) {
        uint32_t k = 0;
        for (; k + 16 < length; k += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)));
        _mm_mask_storeu_epi8(out + k, static_cast<__mmask16>(_bzhi_u32(0xFFFF, length - k)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)));
        return;
    }
#endif
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

// The most bytes the symbol of a symbolCodes entry writes: a code found
// through the tree may be any.
static inline uint32_t symbolBytes(uint32_t entry) {
    uint32_t c = entry & CODE_SYMBOL_MASK;
    if ((entry >> PAIR_LENGTH_SHIFT) != 0 && !(entry & COPY_WITH_POSITION)) return 2;
    if (c < FIRST_COPY_SYMBOL) return 1;
    return c < LITERAL_COUNT ? c - COPY_LENGTH_BIAS : MAX_COPY_LENGTH;
}

// Entry: the plain steps stand between two symbols of a block whose codes
// packBlockCodes has packed. The loop runs only while no failure is pending,
// at least INPUT_MARGIN of the member's bytes lie in the input buffer ahead
// of inputPos, and some room is left both before the window's end, less
// OVERCOPY, and before the member's end; else it returns at once and
// changes nothing.
// Each turn: two symbols are left in the block, INPUT_MARGIN bytes of the
// member lie ahead of the reading position within the buffer, so the
// symbol's refills stay inside it, and the most the next symbol can write
// fits that room, so that it carries neither the window position nor the
// count past it.
// On return: bitBuffer, pendingByte and pendingBitCount, inputPos,
// packedLeft, windowPos, producedCount and blockSymbolsLeft are what
// decodeSymbol would have left after the same symbols. Nothing has been
// read from the file, written out or reported, and the window has not
// filled; a code that ran off its tree is kept as the failure, as the plain
// steps keep it, for the next boundary to stop at.
static void decodeSymbolsLoop(DecoderState* d) {
    uint32_t inputPos = d->inputPos;
    if (d->failure != DECODE_OK || inputPos >= INPUT_BUFFER_SIZE) return;
    uint32_t buffered = INPUT_BUFFER_SIZE - inputPos;
    if (buffered > d->packedLeft) buffered = d->packedLeft;
    if (buffered < INPUT_MARGIN) return;

    const unsigned char* const start = d->inputBuffer + inputPos;
    const unsigned char* const inLimit = start + (buffered - INPUT_MARGIN);
    // Every symbol moves the window position and producedCount on alike, so
    // one room stops the loop before the window's end and the member's, and
    // so before producedCount could pass 4 GiB, where the plain step
    // saturates it.
    uint32_t pos = d->windowPos;
    uint32_t produced = d->producedCount;
    if (pos >= WINDOW_SIZE - OVERCOPY || produced >= d->targetSize) return;
    uint32_t memberLeft = d->targetSize - produced;
    // Writing past a copy needs a block whose copies cannot reach a window
    // back, and the bytes written past must be written again before anything
    // else could read them: by the symbols still left in the block, which
    // are decoded even after a failure, and within this member, since a
    // later one may reach back further.
    bool roomAhead = d->blockReach <= WINDOW_SIZE - OVERCOPY && memberLeft > OVERCOPY;
    uint32_t room = WINDOW_SIZE - OVERCOPY - pos;
    if (room > memberLeft - (roomAhead ? OVERCOPY : 0)) room = memberLeft - (roomAhead ? OVERCOPY : 0);
    // Few locals, so that a 64-bit build keeps all of them in registers: the
    // tables lie at fixed offsets from d, and the window is reached through
    // the output pointer.
    unsigned char* const first = d->window + pos;
    unsigned char* out = first;
    unsigned char* const outLimit = first + room;
    // Below this any symbol fits the room; above it, each is looked at.
    unsigned char* const anySymbolLimit = room > MAX_COPY_LENGTH ? outLimit - MAX_COPY_LENGTH : first;
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
    // Every symbol starts after a refill; a 64-bit word then holds its three
    // codes, the position's further bits included, and needs no other.
    const bool wholeSymbolPerRefill = WORD_BITS - 8 >= 2 * MAX_CODE_LENGTH + MAX_POSITION_CODES - 2;
    uint32_t entry = d->symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
    // The loop leaves a block's last symbol to the plain steps, so that two
    // literals at once always belong to the block.
    while (symbolsLeft > 1 && b.in <= inLimit) {
        if (__builtin_expect(out >= anySymbolLimit, 0) && static_cast<uint32_t>(outLimit - out) < symbolBytes(entry))
            break;
        uint32_t length, p;
        if ((entry >> PAIR_LENGTH_SHIFT) != 0) {
            if (!(entry & COPY_WITH_POSITION)) {
                symbolsLeft -= 2;
                out[0] = static_cast<unsigned char>(entry);
                out[1] = static_cast<unsigned char>(entry >> PAIR_SECOND_SHIFT);
                out += 2;
                dropBits(b, entry >> PAIR_LENGTH_SHIFT);
                entry = d->symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
                refill(b);
                continue;
            }
            --symbolsLeft;
            length = (entry & CODE_SYMBOL_MASK) - COPY_LENGTH_BIAS;
            p = (entry >> PAIR_SECOND_SHIFT) & 0xFF;
            dropBits(b, (entry >> PAIR_LENGTH_SHIFT) & PAIR_LENGTH_MASK);
        } else {
            --symbolsLeft;
            uint16_t c = entry & CODE_SYMBOL_MASK;
            if (c < LITERAL_COUNT) {
                dropBits(b, (entry & 0xFFFF) >> CODE_SYMBOL_BITS);
            } else {
                c = walkCodeTree(d, c, lookAhead(b), SYMBOL_TABLE_BITS, LITERAL_COUNT);
                dropBits(b, d->symbolLengths[c]);
            }
            if (c < FIRST_COPY_SYMBOL) {
                *out++ = static_cast<unsigned char>(c);
                if (refillBeforeLookUp) refill(b);
                entry = d->symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
                refill(b);
                continue;
            }
            length = c - COPY_LENGTH_BIAS;
            if (!wholeSymbolPerRefill && b.count < MAX_CODE_LENGTH) refill(b);
            p = fastPosition(d, b);
        }
        if (p > 1) {
            unsigned extraBits = p - 1;
            if (!wholeSymbolPerRefill && b.count < extraBits) refill(b);
            p = (1u << extraBits) + static_cast<uint32_t>(b.word >> (WORD_BITS - extraBits));
            dropBits(b, extraBits);
        }
        // The next entry first: its look-up then runs alongside the copy,
        // whose stores the compiler could not otherwise move it past.
        refill(b);
        entry = d->symbolCodes[b.word >> (WORD_BITS - SYMBOL_TABLE_BITS)];
        copyBytes(d->window, out, p + 1, length, roomAhead && symbolsLeft >= OVERCOPY);
        out += length;
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
    d->windowPos = static_cast<uint32_t>(out - d->window);
    d->producedCount = produced + static_cast<uint32_t>(out - first);
    d->blockSymbolsLeft = symbolsLeft;
}
