// Byte reader over the archive file for the bit input of the decoder.
#pragma once

#include "platform/platform.h"

// Forgets what the buffer holds, so the next byte comes from the file; every
// member's packed data starts this way.
void resetArchiveInput();
int nextArchiveByte(FileHandle file, uint32_t wanted);
