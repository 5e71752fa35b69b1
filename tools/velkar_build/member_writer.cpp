#include "tools/velkar_build/member_writer.h"

#include <stdexcept>

#include "archive/member_header.h"
#include "common/byte_order.h"
#include "decode/crc16.h"

namespace {

const unsigned char OS_ID_WINDOWS = 'W';
const unsigned char BASE_ATTRIBUTE = 0x20;
const int64_t FILETIME_UNIX_EPOCH = 116444736000000000;  // 1970-01-01 in 100 ns steps since 1601

void appendExtended(std::vector<unsigned char>& header, unsigned char type, const std::string& data) {
    size_t sizePos = header.size() - 2;
    writeLittle16(&header[sizePos], static_cast<uint16_t>(data.size() + EXTENDED_OVERHEAD));
    header.push_back(type);
    header.insert(header.end(), data.begin(), data.end());
    header.push_back(0);
    header.push_back(0);
}

std::string little(uint64_t value, int width) {
    std::string bytes;
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return bytes;
}

}  // namespace

uint64_t unixToFileTimeValue(int64_t seconds, uint32_t nanoseconds) {
    int64_t value = seconds * 10000000 + nanoseconds / 100 + FILETIME_UNIX_EPOCH;
    return value < 0 ? 0 : static_cast<uint64_t>(value);
}

std::vector<unsigned char> level2Header(const MemberFields& fields) {
    std::vector<unsigned char> header(BASE_HEADER_SIZE, 0);
    header[METHOD_ID_POS] = '-';
    header[METHOD_ID_POS + 1] = 'l';
    header[METHOD_ID_POS + 2] = 'h';
    header[METHOD_LETTER_POS] = static_cast<unsigned char>(fields.method);
    header[METHOD_ID_POS + 4] = '-';
    writeLittle32(&header[PACKED_SIZE_POS], fields.packedSize);
    writeLittle32(&header[UNPACKED_SIZE_POS], fields.unpackedSize);
    writeLittle32(&header[TIME_STAMP_POS], fields.timeStamp);
    // Some readers take only 0x20 here as the mark of a level-2 header; the
    // stub takes any other attribute from its extended header.
    header[ATTRIBUTE_POS] = BASE_ATTRIBUTE;
    header[LEVEL_POS] = HEADER_LEVEL;
    writeLittle16(&header[DATA_CRC_POS], fields.dataCrc);
    header[OS_ID_POS] = OS_ID_WINDOWS;

    appendExtended(header, EXTENDED_HEADER_CRC, std::string(2, '\0'));
    size_t crcPos = BASE_HEADER_SIZE + 1;
    appendExtended(header, EXTENDED_FILE_NAME, fields.fileName);
    if (!fields.directory.empty()) appendExtended(header, EXTENDED_DIRECTORY_NAME, fields.directory);
    // Most files carry the base attribute, which then needs no header of its own.
    if (fields.attribute != BASE_ATTRIBUTE) appendExtended(header, EXTENDED_ATTRIBUTE, little(fields.attribute, 2));
    appendExtended(header, EXTENDED_FILE_TIMES,
                   little(fields.creationTime, 8) + little(fields.lastWriteTime, 8) + little(fields.lastAccessTime, 8));
    if (header.size() > MAX_HEADER_SIZE) throw std::runtime_error("the member header would be too large");
    writeLittle16(&header[0], static_cast<uint16_t>(header.size()));

    uint16_t table[256];
    fillCrcTable(table, CRC16_POLYNOMIAL);
    writeLittle16(&header[crcPos], crcUpdate(table, 0, header.data(), static_cast<uint32_t>(header.size())));
    return header;
}
