// Where decoded bytes go: the output file, with its CRC-16, or the text
// buffers of the reserved members.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

void copyStoredMember(int32_t size);
void writeOutput(const unsigned char* data, uint32_t length, FileHandle handle);
void flushWindow(uint32_t n);
