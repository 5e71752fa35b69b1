// The block decoder's fast loop, for the stretches of a member where no edge
// is near.
#pragma once

#include "decode/decoder_state.h"

// Fills symbolCodes and positionCodes from the block's tables and lengths,
// and blockReach from the position code.
void packBlockCodes(DecoderState* d);

// Decodes the current block's symbols for as long as none of them can reach
// the end of the window (where the window goes out and progress is shown),
// the end of the member or of the block, or the end of the bytes already in
// the input buffer (where a refill would read the file). It leaves every
// field as decoding the same symbols one by one would have.
void decodeSymbolsFast(DecoderState* d);

// The loop is built once for any processor and, on 64-bit x86 hosts, again
// for processors with BMI2 and for those with AVX-512 too; each leaves the
// same fields. decodeSymbolsFast runs the best one the processor has.
typedef void (*FastLoop)(DecoderState* d);
// The loops this processor can run, the best first, ending with 0.
const FastLoop* fastLoops();
// Makes decodeSymbolsFast run loop, or again the best one for 0; for tests.
void useFastLoop(FastLoop loop);
