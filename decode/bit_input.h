// Bits of one member's packed data, first bit first within each byte.
#pragma once

#include "decode/decoder_state.h"

// The bytes bitBuffer holds beyond the bits already taken.
const unsigned LOOK_AHEAD_BYTES = 2;

void shiftInBits(DecoderState* d, unsigned n);
uint16_t takeBits(DecoderState* d, unsigned n);
