// The block decoder of -lh4- to -lh7-.
#pragma once

#include <stdint.h>

void startBitInput(unsigned char methodDigit);
void decodeMember();
