// Reading and checking one level-2 member header.
#pragma once

#include <stdint.h>

#include "common/run_state.h"

// One level-2 member header. The raw bytes stay with the walk until the next
// header is read; the names are positions in them.
struct MemberHeader {
    unsigned char* raw;
    uint32_t headerSize;
    unsigned char method;
    uint32_t packedSize;
    uint32_t unpackedSize;
    uint32_t timeStamp;
    uint16_t dataCrc;
    unsigned char osId;
    uint16_t attribute;
    uint32_t creationTime;
    uint32_t lastAccessTime;
    uint32_t lastWriteTime;
    uint16_t headerCrc;
    uint32_t headerCrcPos;
    uint32_t fileNamePos;
    uint32_t fileNameLength;
    uint32_t dirNamePos;
    uint32_t dirNameLength;
};

// What readMemberHeader found: a header, the archive's end, or a failure it
// has reported.
enum class HeaderRead { read, endOfArchive, failed };

// Takes apart a whole level-2 header of size bytes (its size field included)
// into header, which keeps pointing into raw. 0 for a header that is not
// level 2, names no known method, or whose extended headers do not fit
// (this covers a missing CRC header, and a missing file name outside a
// directory entry). The header's CRC is not checked here.
int parseMemberHeader(unsigned char* raw, uint32_t size, MemberHeader* header);

// Reads the next header of the archive into run->header and builds
// memberPath, reporting any failure.
HeaderRead readMemberHeader();
void releaseMemberHeader();
