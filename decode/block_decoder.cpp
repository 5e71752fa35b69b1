#include "decode/block_decoder.h"

#include "decode/bit_input.h"
#include "decode/decoder_state.h"
#include "decode/fast_decoder.h"
#include "decode/huffman_table.h"
#include "decode/output_sink.h"

const uint16_t NO_ZERO_RUN = 0xFFFF;

// Position alphabet by the low four bits of the method digit. A digit
// without a row leaves an empty alphabet, which the first block header
// rejects as a bad table.
struct PositionCode {
    uint16_t count;
    uint16_t countBits;
};
struct PositionCodes {
    PositionCode byDigit[16];
};
static constexpr PositionCodes positionCodesByDigit() {
    PositionCodes codes = {};
    for (const LzhMethod& method : LZH_METHODS)
        codes.byDigit[method.digit & 0x0F] = {method.positionCodesRead, method.positionCountBits};
    return codes;
}
static constexpr PositionCodes methodParameters = positionCodesByDigit();

// A position code p stands for p - 1 further bits, so the widest alphabet
// still reaches no further back than the window holds; and its lengths,
// however many the count announces, fit smallLengths with the code-length
// code's run of zeros.
static constexpr bool methodsFitTheDecoder() {
    for (const LzhMethod& method : LZH_METHODS) {
        if (method.positionCodesRead > MAX_POSITION_CODES || method.dictionarySize() > WINDOW_SIZE ||
            (1u << method.positionCountBits) + CODE_LENGTH_ZERO_RUN_INDEX > sizeof(DecoderState::smallLengths))
            return false;
    }
    return (1u << (MAX_POSITION_CODES - 1)) <= WINDOW_SIZE &&
           (1u << CODE_LENGTH_COUNT_BITS) + CODE_LENGTH_ZERO_RUN_INDEX <= sizeof(DecoderState::smallLengths);
}
static_assert(methodsFitTheDecoder(), "every method's tables fit the decoder's state");

// The single-symbol form of a code: every look-up yields the one symbol, and
// its length of 0 costs no bits. A symbol outside the alphabet is corrupt.
static int useSingleSymbol(DecoderState* d, uint16_t only, uint16_t count, unsigned char* lengths, uint16_t* table,
                           unsigned tableBits) {
    if (only >= count) return markBadTable(d);
    for (unsigned i = 0; i < count; ++i) lengths[i] = 0;
    for (unsigned i = 0; i < (1u << tableBits); ++i) table[i] = only;
    return 1;
}

// A length of 7 or more is sent as 7 followed by one 1 bit per further step
// and a closing 0. Lengths beyond 16 cannot belong to a code; rejecting them
// here also bounds the run of ones. The code-length code alone carries a
// 2-bit run of zero lengths after its third length. A count of 0 gives the
// single-symbol form.
static int readSmallLengths(DecoderState* d, uint16_t count, uint16_t countBits, uint16_t zeroRunIndex) {
    unsigned n = takeBits(d, countBits);
    if (n == 0)
        return useSingleSymbol(d, takeBits(d, countBits), count, d->smallLengths, d->smallTable, SMALL_TABLE_BITS);
    unsigned i = 0;
    while (i < n) {
        unsigned length = takeBits(d, 3);
        if (length == 7) {
            for (uint16_t mask = 0x8000; d->bitBuffer & mask; mask >>= 1) ++length;
            if (length > MAX_CODE_LENGTH) return markBadTable(d);
            shiftInBits(d, length - 6);
        }
        d->smallLengths[i++] = static_cast<unsigned char>(length);
        if (i == zeroRunIndex) {
            unsigned zeros = takeBits(d, 2);
            while (zeros-- > 0) d->smallLengths[i++] = 0;
        }
    }
    for (; i < count; ++i) d->smallLengths[i] = 0;
    return buildDecodeTable(d, count, d->smallLengths, SMALL_TABLE_BITS, d->smallTable);
}

// Lengths of the literal/length alphabet, coded with the code-length code:
// symbols 0 to 2 stand for runs of zero lengths, the others for a length
// plus 2. A count or a run that would pass the 510 entries is corrupt.
static int readSymbolLengths(DecoderState* d) {
    unsigned n = takeBits(d, LITERAL_COUNT_BITS);
    if (n == 0)
        return useSingleSymbol(d, takeBits(d, LITERAL_COUNT_BITS), LITERAL_COUNT, d->symbolLengths, d->symbolTable,
                               SYMBOL_TABLE_BITS);
    if (n > LITERAL_COUNT) return markBadTable(d);
    unsigned i = 0;
    while (i < n) {
        uint16_t c = readCode(d, d->smallTable, SMALL_TABLE_BITS, CODE_LENGTH_COUNT, d->smallLengths);
        if (c > 2) {
            d->symbolLengths[i++] = static_cast<unsigned char>(c - 2);
            continue;
        }
        unsigned zeros = c == 0 ? 1 : c == 1 ? takeBits(d, 4) + 3u : takeBits(d, 9) + 20u;
        if (zeros > LITERAL_COUNT - i) return markBadTable(d);
        while (zeros-- > 0) d->symbolLengths[i++] = 0;
    }
    for (; i < LITERAL_COUNT; ++i) d->symbolLengths[i] = 0;
    return buildDecodeTable(d, LITERAL_COUNT, d->symbolLengths, SYMBOL_TABLE_BITS, d->symbolTable);
}

// Every block starts with its symbol count and its three codes. The count is
// 16 bits wide and 0 means 65,536: the 16-bit counter wraps on the first
// symbol taken. A block boundary is one of the places where a failure seen
// so far (a bad table, a failed read) stops the decoding.
int readBlockHeader(DecoderState* d) {
    d->blockSymbolsLeft = takeBits(d, 16);
    if (!readSmallLengths(d, CODE_LENGTH_COUNT, CODE_LENGTH_COUNT_BITS, CODE_LENGTH_ZERO_RUN_INDEX) ||
        !readSymbolLengths(d) || !readSmallLengths(d, d->positionCodeCount, d->positionCountBits, NO_ZERO_RUN) ||
        d->failure != DECODE_OK)
        return 0;
    packBlockCodes(d);
    return 1;
}

// Positions 0 and 1 are their own code; code p above 1 says the position has
// p bits, the top one set and the other p - 1 sent as they are.
static uint16_t nextPosition(DecoderState* d) {
    uint16_t p = readCode(d, d->smallTable, SMALL_TABLE_BITS, d->positionCodeCount, d->smallLengths);
    if (p <= 1) return p;
    return static_cast<uint16_t>((1u << (p - 1)) + takeBits(d, p - 1u));
}

void startBitInput(DecoderState* d, unsigned char methodDigit) {
    const PositionCode& position = methodParameters.byDigit[methodDigit & 0x0F];
    d->positionCodeCount = position.count;
    d->positionCountBits = position.countBits;
    d->bitBuffer = 0;
    d->pendingByte = 0;
    d->pendingBitCount = 0;
    d->bytesPastEnd = 0;
    shiftInBits(d, 16);
    d->blockSymbolsLeft = 0;
}

void startMember(DecoderState* d, unsigned char method, uint32_t packedSize, uint32_t unpackedSize) {
    d->targetSize = unpackedSize;
    d->packedLeft = packedSize;
    d->crc.value = 0;
    startBitInput(d, method);
    d->producedCount = 0;
    d->windowPos = 0;
}

// Each full window goes out at once; the count reported already includes
// every byte of a copy in progress. 0 when the decoding is to stop.
static int flushFullWindow(DecoderState* d, uint32_t done) {
    d->windowPos = 0;
    return flushWindow(d, WINDOW_SIZE) && reportDecodeProgress(d, done, d->targetSize);
}

// The window is both the history and the output buffer, and it is never
// cleared: a copy reaching back before the member's first byte reads what an
// earlier member left there. Copies go byte by byte so that one longer than
// its distance repeats what it has just written. The last copy may run past
// unpackedSize; it is written in full.
int decodeSymbol(DecoderState* d) {
    --d->blockSymbolsLeft;
    uint16_t c = readCode(d, d->symbolTable, SYMBOL_TABLE_BITS, LITERAL_COUNT, d->symbolLengths);
    if (c < FIRST_COPY_SYMBOL) {
        d->window[d->windowPos++] = static_cast<unsigned char>(c);
        if (d->windowPos == WINDOW_SIZE && !flushFullWindow(d, d->producedCount + 1)) return 0;
        ++d->producedCount;
        return 1;
    }
    uint32_t length = c - COPY_LENGTH_BIAS;
    uint32_t from = (d->windowPos - nextPosition(d) - 1) & (WINDOW_SIZE - 1);
    // Saturate rather than wrap: a count that wrapped near 4 GiB would
    // fall below unpackedSize again and the loop might never end.
    uint32_t produced = d->producedCount + length;
    d->producedCount = produced < length ? 0xFFFFFFFF : produced;
    for (uint32_t k = 0; k < length; ++k) {
        d->window[d->windowPos++] = d->window[(from + k) & (WINDOW_SIZE - 1)];
        if (d->windowPos == WINDOW_SIZE && !flushFullWindow(d, d->producedCount)) return 0;
    }
    return 1;
}

void finishMember(DecoderState* d) {
    if (d->windowPos != 0 && flushWindow(d, d->windowPos)) reportDecodeProgress(d, d->producedCount, d->targetSize);
}

// Symbols go one at a time near the edges (a block header, the window's
// end, the end of the input buffer or of the member) and through the fast
// loop everywhere else, which gives the same bytes. A failure ends the
// decoding at the next block or window boundary, before anything more is
// written.
void decodeMember(DecoderState* d, unsigned char method, uint32_t packedSize, uint32_t unpackedSize) {
    startMember(d, method, packedSize, unpackedSize);
    while (d->producedCount < d->targetSize) {
        if (d->blockSymbolsLeft == 0 && !readBlockHeader(d)) return;
        if (!decodeSymbol(d)) return;
        decodeSymbolsFast(d);
    }
    finishMember(d);
}
