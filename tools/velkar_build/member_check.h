// One member's data run through the stub's own decoder on the host layer,
// for --test and for the tests of what the builder packs.
#pragma once

#include <cstdint>
#include <string>

struct MemberData {
    char method;          // '0', '4' to '7'
    uint32_t dataOffset;  // where the packed data start in the file
    uint32_t packedSize;
    uint32_t unpackedSize;
};

// Decodes the member and leaves the CRC-16 of the decoded bytes in crc.
// The bytes go to outputPath, or nowhere when it is empty. False when the
// file cannot be read or the decoder failed (a bad table, a short read).
bool decodeWithStub(const std::string& file, const MemberData& member, uint16_t* crc,
                    const std::string& outputPath = std::string());
