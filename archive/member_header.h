// Reading and checking one level-2 member header.
#pragma once

#include <stdint.h>

#include "common/run_state.h"

const int HEADER_READ = 1;
const int END_OF_ARCHIVE = 0;
const int HEADER_FAILED = -1;

const uint32_t BASE_HEADER_SIZE = 26;  // the fixed fields and the first extended header's size
const uint32_t LEVEL_POS = 20;         // the header level, at this offset in every level

// Takes apart a whole level-2 header of size bytes (its size field included)
// into header, which keeps pointing into raw. 0 for a header that is not
// level 2, names no known method, or whose extended headers do not fit
// (this covers a missing CRC header, and a missing file name outside a
// directory entry). The header's CRC is not checked here.
int parseMemberHeader(unsigned char* raw, uint32_t size, MemberHeader* header);

// Reads the next header of the archive into run->header and builds
// memberPath, reporting any failure.
int readMemberHeader();
void releaseMemberHeader();
