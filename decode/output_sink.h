// Where decoded bytes go: the output file, with its CRC-16, or the memory
// sink's text for the reserved members.
#pragma once

#include <stdint.h>

#include "decode/decoder_state.h"

void copyStoredMember(DecoderState* d, int32_t size);
// Each returns 0 when the decoding is to stop: a failure was seen before or
// during the call, or the progress hook asked to stop.
int writeOutput(DecoderState* d, const unsigned char* data, uint32_t length, FileHandle handle);
int flushWindow(DecoderState* d, uint32_t n);
int reportDecodeProgress(DecoderState* d, uint32_t done, uint32_t total);
