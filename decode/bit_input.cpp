#include "decode/bit_input.h"

#include "common/run_state.h"
#include "decode/archive_input.h"
#include "decode/decode_failure.h"

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
__attribute__((cold, noinline)) static int readFailed() {
    failDecoding(DECODE_READ_FAILED);
    run->packedLeft = 0;
    return 0;
}

void shiftInBits(unsigned n) {
    while (n > run->pendingBitCount) {
        n -= run->pendingBitCount;
        run->bitBuffer = static_cast<uint16_t>((run->bitBuffer << run->pendingBitCount) +
                                               (run->pendingByte >> (8 - run->pendingBitCount)));
        if (run->packedLeft != 0) {
            --run->packedLeft;
            int byte = nextArchiveByte(run->archiveHandle, run->packedLeft + 1);
            if (byte < 0) byte = readFailed();
            run->pendingByte = static_cast<unsigned char>(byte);
        } else {
            run->pendingByte = 0;
            if (run->bytesPastEnd < LOOK_AHEAD_BYTES) ++run->bytesPastEnd;
            else failDecoding(DECODE_READ_FAILED);
        }
        run->pendingBitCount = 8;
    }
    run->pendingBitCount = static_cast<unsigned char>(run->pendingBitCount - n);
    run->bitBuffer = static_cast<uint16_t>((run->bitBuffer << n) + (run->pendingByte >> (8 - n)));
    run->pendingByte = static_cast<unsigned char>(run->pendingByte << n);
}

uint16_t takeBits(unsigned n) {
    uint16_t bits = static_cast<uint16_t>(run->bitBuffer >> (16 - n));
    shiftInBits(n);
    return bits;
}
