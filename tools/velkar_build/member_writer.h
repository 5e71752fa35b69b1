// Writing one level-2 member header, the form the stub reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MemberFields {
    char method = '0';  // '0', '5' to '7', or 'd' for a directory entry
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    uint32_t timeStamp = 0;  // the modification time in Unix seconds
    uint16_t attribute = 0x20;
    uint16_t dataCrc = 0;
    std::string fileName;   // in the archive's code page
    std::string directory;  // components each followed by 0xFF; empty for none
    // Windows FILETIME values (100 ns since 1601).
    uint64_t creationTime = 0;
    uint64_t lastWriteTime = 0;
    uint64_t lastAccessTime = 0;
};

// The header with its CRC, written by a Windows system ("W"): attribute and
// FILETIME extended headers besides the name, directory and CRC ones. Its
// length depends only on the names, so a header written with placeholder
// sizes can be rewritten in place.
std::vector<unsigned char> level2Header(const MemberFields& fields);

// The largest header the stub can take: its size field is signed.
const uint32_t MAX_HEADER_SIZE = 0x7FFF;

// Unix seconds (and nanoseconds) as a FILETIME.
uint64_t unixToFileTimeValue(int64_t seconds, uint32_t nanoseconds);
