// Byte reader over the archive file for the bit input of the decoder.
#pragma once

#include "decode/decoder_state.h"

// Forgets what the buffer holds, so the next byte comes from the file; every
// member's packed data starts this way.
void resetArchiveInput(DecoderState* d);
int nextArchiveByte(DecoderState* d, uint32_t wanted);
