#include "pe_move.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/byte_order.h"
#include "devtools/stub_layout/pe_layout.h"

namespace {

[[noreturn]] void reject(const std::string& why) { throw std::runtime_error(why); }

uint32_t get16(const std::vector<uint8_t>& b, uint64_t at) {
    if (at + 2 > b.size()) reject("image cut short");
    return readLittle16(&b[at]);
}

uint32_t get32(const std::vector<uint8_t>& b, uint64_t at) {
    if (at + 4 > b.size()) reject("image cut short");
    return readLittle32(&b[at]);
}

void put32(std::vector<uint8_t>& b, uint64_t at, uint32_t value) {
    if (at + 4 > b.size()) reject("image cut short");
    writeLittle32(&b[at], value);
}

uint32_t alignUp(uint64_t value, uint32_t alignment) {
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

struct Headers {
    uint32_t pe;        // "PE\0\0"
    uint32_t optional;  // optional header
    uint32_t sections;  // section table
    uint32_t sectionCount;
    uint32_t end;  // behind the section table
};

Headers locateHeaders(const std::vector<uint8_t>& image) {
    if (get16(image, 0) != 0x5A4D) reject("no MZ header");
    Headers h;
    h.pe = get32(image, 0x3C);
    if (get32(image, h.pe) != 0x4550) reject("no PE signature");
    h.sectionCount = get16(image, h.pe + 6);
    uint32_t optionalSize = get16(image, h.pe + 20);
    h.optional = h.pe + 4 + COFF_HEADER_SIZE;
    if (optionalSize < OPT_DIRECTORIES || get16(image, h.optional) != PE32_MAGIC) reject("not a PE32 image");
    h.sections = h.optional + optionalSize;
    h.end = h.sections + h.sectionCount * SECTION_HEADER_SIZE;
    if (h.end > image.size()) reject("section table cut short");
    return h;
}

// The directory's RVA and size, or zeros when the header has no such entry.
std::pair<uint32_t, uint32_t> directory(const std::vector<uint8_t>& image, const Headers& h, uint32_t index) {
    if (index >= get32(image, h.optional + OPT_DIRECTORY_COUNT)) return {0, 0};
    uint32_t at = h.optional + OPT_DIRECTORIES + index * 8;
    if (at + 8 > h.sections) return {0, 0};
    return {get32(image, at), get32(image, at + 4)};
}

// File offset of an RVA inside a section's raw data.
uint32_t fileOffsetOf(const std::vector<uint8_t>& image, const Headers& h, uint32_t rva) {
    for (uint32_t i = 0; i < h.sectionCount; ++i) {
        uint32_t s = h.sections + i * SECTION_HEADER_SIZE;
        uint32_t address = get32(image, s + 12);
        uint32_t rawSize = get32(image, s + 16);
        if (rva >= address && rva - address < rawSize) return get32(image, s + 20) + (rva - address);
    }
    reject("RVA outside every section's raw data");
}

}  // namespace

std::vector<uint8_t> moveHeaders(const std::vector<uint8_t>& linked, const std::vector<uint8_t>& dosPart) {
    Headers old = locateHeaders(linked);
    uint32_t fileAlignment = get32(linked, old.optional + OPT_FILE_ALIGNMENT);
    uint32_t oldHeadersSize = get32(linked, old.optional + OPT_SIZE_OF_HEADERS);
    if (fileAlignment == 0 || oldHeadersSize % fileAlignment != 0) reject("unaligned SizeOfHeaders");
    if (oldHeadersSize < old.end || oldHeadersSize > linked.size()) reject("SizeOfHeaders does not cover the headers");
    if (directory(linked, old, DIRECTORY_CERTIFICATES).second != 0) reject("a signed image cannot be moved");

    // The sections keep their order and spacing; only the headers grow.
    uint32_t newHeadersSize = alignUp(dosPart.size() + (old.end - old.pe), fileAlignment);
    uint64_t dataEnd = oldHeadersSize;
    uint32_t firstAddress = UINT32_MAX;
    for (uint32_t i = 0; i < old.sectionCount; ++i) {
        uint32_t s = old.sections + i * SECTION_HEADER_SIZE;
        if (linked[s] == '/') reject("long section names need the symbol table");
        firstAddress = std::min(firstAddress, get32(linked, s + 12));
        uint32_t rawSize = get32(linked, s + 16);
        uint32_t raw = get32(linked, s + 20);
        if (rawSize == 0) continue;
        if (raw < oldHeadersSize || uint64_t{raw} + rawSize > linked.size()) reject("section data outside the image");
        dataEnd = std::max(dataEnd, uint64_t{raw} + rawSize);
    }
    if (newHeadersSize > firstAddress) reject("the moved headers would overlap the first section");

    std::vector<uint8_t> image(dosPart);
    image.insert(image.end(), linked.begin() + old.pe, linked.begin() + old.end);
    image.resize(newHeadersSize, 0);
    image.insert(image.end(), linked.begin() + oldHeadersSize, linked.begin() + dataEnd);

    Headers moved = locateHeaders(image);
    auto shifted = [&](uint32_t offset) { return offset - oldHeadersSize + newHeadersSize; };
    put32(image, moved.pe + 12, 0);  // PointerToSymbolTable
    put32(image, moved.pe + 16, 0);  // NumberOfSymbols
    put32(image, moved.optional + OPT_SIZE_OF_HEADERS, newHeadersSize);
    for (uint32_t i = 0; i < moved.sectionCount; ++i) {
        uint32_t s = moved.sections + i * SECTION_HEADER_SIZE;
        if (get32(image, s + 16) != 0) put32(image, s + 20, shifted(get32(image, s + 20)));
        put32(image, s + 24, 0);  // relocations and line numbers live only in objects
        put32(image, s + 28, 0);
        put32(image, s + 32, 0);
    }

    auto [debugRva, debugSize] = directory(image, moved, DIRECTORY_DEBUG);
    if (debugSize != 0) {
        uint64_t entries = fileOffsetOf(image, moved, debugRva);
        for (uint64_t at = entries; at + DEBUG_ENTRY_SIZE <= entries + debugSize; at += DEBUG_ENTRY_SIZE) {
            uint32_t pointer = get32(image, at + 24);
            if (pointer == 0) continue;
            if (pointer < oldHeadersSize || pointer >= dataEnd) reject("debug data outside the sections");
            put32(image, at + 24, shifted(pointer));
        }
    }
    return image;
}

uint32_t checksumOffset(const std::vector<uint8_t>& image) { return locateHeaders(image).optional + OPT_CHECKSUM; }

uint32_t checksumAdd(uint32_t sum, const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; i += 2) {
        sum += bytes[i] | (i + 1 < size ? bytes[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum;
}

uint32_t checksumFinish(uint32_t sum, uint64_t length) {
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + length);
}

void updateChecksum(std::vector<uint8_t>& image) {
    uint32_t field = checksumOffset(image);
    put32(image, field, 0);
    put32(image, field, checksumFinish(checksumAdd(0, image.data(), image.size()), image.size()));
}
