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

const int HEADER_READ = 1;
const int END_OF_ARCHIVE = 0;
const int HEADER_FAILED = -1;

// The level-2 layout, shared with the builder, which writes it.
const uint32_t BASE_HEADER_SIZE = 26;  // the fixed fields and the first extended header's size
const uint32_t METHOD_ID_POS = 2;      // "-lh" + method letter + "-"
const uint32_t METHOD_ID_SIZE = 5;
const uint32_t METHOD_LETTER_POS = 5;
const uint32_t PACKED_SIZE_POS = 7;
const uint32_t UNPACKED_SIZE_POS = 11;
const uint32_t TIME_STAMP_POS = 15;
const uint32_t ATTRIBUTE_POS = 19;
const uint32_t LEVEL_POS = 20;         // the header level, at this offset in every level
const uint32_t DATA_CRC_POS = 21;
const uint32_t OS_ID_POS = 23;
const uint32_t FIRST_EXTENDED_SIZE_POS = 24;
const unsigned char HEADER_LEVEL = 2;

// Extended header types; each is its type byte, its data and the size of
// the next one, and its size counts all three.
const unsigned char EXTENDED_HEADER_CRC = 0x00;
const unsigned char EXTENDED_FILE_NAME = 0x01;
const unsigned char EXTENDED_DIRECTORY_NAME = 0x02;
const unsigned char EXTENDED_ATTRIBUTE = 0x40;
const unsigned char EXTENDED_FILE_TIMES = 0x41;  // creation, last write, last access
const uint32_t EXTENDED_OVERHEAD = 3;
const unsigned char DIRECTORY_SEPARATOR = 0xFF;  // between the directory name's components

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
