// Little-endian numbers, the byte order of every field in the archive, the
// settings block and the PE image. Shared by the stub and the host tools.
#pragma once

#include <stdint.h>

inline uint16_t readLittle16(const unsigned char* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

inline uint32_t readLittle32(const unsigned char* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

inline void writeLittle16(unsigned char* bytes, uint16_t value) {
    bytes[0] = static_cast<unsigned char>(value & 0xFF);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

inline void writeLittle32(unsigned char* bytes, uint32_t value) {
    writeLittle16(bytes, static_cast<uint16_t>(value & 0xFFFF));
    writeLittle16(bytes + 2, static_cast<uint16_t>(value >> 16));
}
