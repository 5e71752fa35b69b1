// The block decoder of -lh4- to -lh7-.
#pragma once

#include <stdint.h>

const uint16_t FIRST_COPY_SYMBOL = 256;
const uint16_t COPY_LENGTH_BIAS = 253;
const uint32_t MAX_COPY_LENGTH = 256;

void startBitInput(unsigned char methodDigit);
void decodeMember();

// The steps of decodeMember, one symbol at a time: the plain decoding that
// the fast loop must agree with. readBlockHeader and decodeSymbol return 0
// when the decoding is to stop.
void startMember();
int readBlockHeader();
int decodeSymbol();
void finishMember();
