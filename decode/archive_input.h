// Byte reader over the archive file for the bit input of the decoder.
#pragma once

#include "platform/platform.h"

int nextArchiveByte(FileHandle file, uint32_t wanted);
