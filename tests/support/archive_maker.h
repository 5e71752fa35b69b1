// Level-2 LZH members made by hand for tests, so that every field, including
// broken ones, can be chosen.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct MemberSpec {
    std::string name;
    std::string directory;  // components separated by '\xFF', with a trailing one
    std::string data;       // stored as it is (-lh0-), or the packed bytes
    char method = '0';
    std::string methodId;                // five bytes in place of "-lh" method "-"
    uint32_t packedSize = 0xFFFFFFFF;    // all ones: the size of data
    uint32_t unpackedSize = 0xFFFFFFFF;  // all ones: the size of data
    uint32_t timeStamp = 0;
    unsigned char attribute = 0x20;
    unsigned char level = 2;
    char osId = 'U';
    int dataCrc = -1;  // -1: the CRC-16 of data
    bool withName = true;
    bool withCrcHeader = true;
    // Further extended headers (type, data), after the name and directory.
    std::vector<std::pair<unsigned char, std::string>> extended;
};

// A little-endian number of the given width, for extended header data.
std::string littleEndian(uint64_t value, int width);

uint16_t referenceCrc16(const std::string& bytes, uint16_t crc = 0);
std::string level2Member(const MemberSpec& spec);
// A stored member with the given name, data and directory.
MemberSpec storedMember(const std::string& name, const std::string& data, const std::string& directory = "");
