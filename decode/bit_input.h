// Bits of one member's packed data, first bit first within each byte.
#pragma once

#include <stdint.h>

void shiftInBits(unsigned n);
uint16_t takeBits(unsigned n);
