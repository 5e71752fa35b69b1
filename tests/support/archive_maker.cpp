#include "support/archive_maker.h"

std::string littleEndian(uint64_t value, int width) {
    std::string out;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

namespace {

void putLittle(std::string& out, uint32_t value, int width) { out += littleEndian(value, width); }

void putExtended(std::string& out, unsigned char type, const std::string& data) {
    putLittle(out, static_cast<uint32_t>(data.size() + 3), 2);
    out.push_back(static_cast<char>(type));
    out += data;
}

}  // namespace

// Bit by bit, independent of the stub's table-driven CRC.
uint16_t referenceCrc16(const std::string& bytes, uint16_t crc) {
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

std::string level2Member(const MemberSpec& spec) {
    std::string header;
    putLittle(header, 0, 2);
    header += spec.methodId.empty() ? std::string("-lh") + spec.method + "-" : spec.methodId;
    putLittle(header, spec.packedSize == 0xFFFFFFFF ? static_cast<uint32_t>(spec.data.size()) : spec.packedSize, 4);
    putLittle(header, spec.unpackedSize == 0xFFFFFFFF ? static_cast<uint32_t>(spec.data.size()) : spec.unpackedSize, 4);
    putLittle(header, spec.timeStamp, 4);
    header.push_back(static_cast<char>(spec.attribute));
    header.push_back(static_cast<char>(spec.level));
    putLittle(header, spec.dataCrc < 0 ? referenceCrc16(spec.data) : static_cast<uint32_t>(spec.dataCrc), 2);
    header.push_back(spec.osId);

    size_t crcField = header.size() + 3;
    if (spec.withCrcHeader) putExtended(header, 0x00, std::string(2, '\0'));
    if (spec.withName) putExtended(header, 0x01, spec.name);
    if (!spec.directory.empty()) putExtended(header, 0x02, spec.directory);
    for (const auto& extra : spec.extended) putExtended(header, extra.first, extra.second);
    putLittle(header, 0, 2);

    header[0] = static_cast<char>(header.size() & 0xFF);
    header[1] = static_cast<char>(header.size() >> 8);
    if (spec.withCrcHeader) {
        uint16_t crc = referenceCrc16(header);
        header[crcField] = static_cast<char>(crc & 0xFF);
        header[crcField + 1] = static_cast<char>(crc >> 8);
    }
    return header + spec.data;
}

MemberSpec storedMember(const std::string& name, const std::string& data, const std::string& directory) {
    MemberSpec spec;
    spec.name = name;
    spec.data = data;
    spec.directory = directory;
    return spec;
}
