// Member headers as both tools judge them: the header's own CRC, and the
// method of a header that is whole but packed in a way Velkar does not
// unpack, so that a message can name the method instead of calling the
// header damaged.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "archive/member_header.h"
#include "common/formats.h"
#include "decode/crc16.h"

// Whether the header's CRC field matches its bytes (raw holds the whole
// header, size bytes); the field counts as zero.
inline bool headerCrcMatches(const unsigned char* raw, uint32_t size, const MemberHeader& header) {
    std::vector<unsigned char> copy(raw, raw + size);
    copy[header.headerCrcPos] = 0;
    copy[header.headerCrcPos + 1] = 0;
    uint16_t table[256];
    fillCrcTable(table, CRC16_POLYNOMIAL);
    return crcUpdate(table, 0, copy.data(), size) == header.headerCrc;
}

// The method id, as it stands, of a header that would be read with one of
// Velkar's methods and whose CRC is right; false for a header that is
// damaged in any other way or whose method is one of Velkar's.
inline bool foreignMethod(const unsigned char* raw, uint32_t size, std::string* method) {
    if (size < BASE_HEADER_SIZE) return false;
    const unsigned char* id = raw + METHOD_ID_POS;
    bool shaped = std::memcmp(id, "-lh", 3) == 0 && id[4] == '-';
    bool ours = shaped && (id[3] == STORED_METHOD || id[3] == DIRECTORY_METHOD);
    for (const LzhMethod& known : LZH_METHODS)
        ours = ours || (shaped && id[3] == static_cast<unsigned char>(known.digit));
    if (ours) return false;
    std::vector<unsigned char> copy(raw, raw + size);
    std::memcpy(&copy[METHOD_ID_POS], "-lh0-", METHOD_ID_SIZE);
    MemberHeader header = {};
    if (!parseMemberHeader(copy.data(), size, &header) || !headerCrcMatches(raw, size, header)) return false;
    method->assign(reinterpret_cast<const char*>(id), METHOD_ID_SIZE);
    return true;
}
