// The block decoder of -lh4- to -lh7-.
#pragma once

#include "decode/decoder_state.h"

// The member's packed data start at d->input's position, with the input
// buffer reset; its bytes go to d->output or d->memoryText.
void startBitInput(DecoderState* d, unsigned char methodDigit);
void decodeMember(DecoderState* d, unsigned char method, uint32_t packedSize, uint32_t unpackedSize);

// The steps of decodeMember, one symbol at a time: the plain decoding that
// the fast loop must agree with. readBlockHeader and decodeSymbol return 0
// when the decoding is to stop.
void startMember(DecoderState* d, unsigned char method, uint32_t packedSize, uint32_t unpackedSize);
int readBlockHeader(DecoderState* d);
int decodeSymbol(DecoderState* d);
void finishMember(DecoderState* d);
