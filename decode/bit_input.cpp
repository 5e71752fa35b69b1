#include "decode/bit_input.h"

#include "decode/archive_input.h"
#include "decode/decoder_state.h"

// bitBuffer always holds the next 16 bits; pendingByte keeps the unused rest
// of the last byte read, left-aligned. Past the end of the packed data zero
// bits follow and the file is not touched again, so the archive stays
// positioned at the next member's header. A failed read is kept as the
// decoding's failure and zero bits follow as well, so that the decoder runs
// on harmlessly to its next window boundary, where it stops.
//
// The zero bytes past the end only fill the look-ahead: a valid member's
// codes end within its packed bytes, so bitBuffer holds at most two of them.
// Needing a third means a code reaches past the data; the member is damaged,
// and would otherwise decode zero bits for as long as its size claims.
__attribute__((cold, noinline)) static int readFailed(DecoderState* d) {
    failDecoding(d, DECODE_READ_FAILED);
    d->packedLeft = 0;
    return 0;
}

void shiftInBits(DecoderState* d, unsigned n) {
    while (n > d->pendingBitCount) {
        n -= d->pendingBitCount;
        d->bitBuffer =
            static_cast<uint16_t>((d->bitBuffer << d->pendingBitCount) + (d->pendingByte >> (8 - d->pendingBitCount)));
        if (d->packedLeft != 0) {
            --d->packedLeft;
            int byte = nextArchiveByte(d, d->packedLeft + 1);
            if (byte < 0) byte = readFailed(d);
            d->pendingByte = static_cast<unsigned char>(byte);
        } else {
            d->pendingByte = 0;
            if (d->bytesPastEnd < LOOK_AHEAD_BYTES) ++d->bytesPastEnd;
            else failDecoding(d, DECODE_READ_FAILED);
        }
        d->pendingBitCount = 8;
    }
    d->pendingBitCount = static_cast<unsigned char>(d->pendingBitCount - n);
    d->bitBuffer = static_cast<uint16_t>((d->bitBuffer << n) + (d->pendingByte >> (8 - n)));
    d->pendingByte = static_cast<unsigned char>(d->pendingByte << n);
}

uint16_t takeBits(DecoderState* d, unsigned n) {
    uint16_t bits = static_cast<uint16_t>(d->bitBuffer >> (16 - n));
    shiftInBits(d, n);
    return bits;
}
