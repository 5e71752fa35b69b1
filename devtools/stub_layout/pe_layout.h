// Offsets and sizes of the PE32 format that the post-link step and
// velkar-build's resource rewriter both read and write.
#pragma once

#include <cstdint>

constexpr uint32_t COFF_HEADER_SIZE = 20;
constexpr uint32_t SECTION_HEADER_SIZE = 40;
constexpr uint32_t DEBUG_ENTRY_SIZE = 28;
constexpr uint16_t PE32_MAGIC = 0x10B;

// Optional header fields, from its start.
constexpr uint32_t OPT_SIZE_OF_INITIALIZED_DATA = 8;
constexpr uint32_t OPT_SECTION_ALIGNMENT = 32;
constexpr uint32_t OPT_FILE_ALIGNMENT = 36;
constexpr uint32_t OPT_SIZE_OF_IMAGE = 56;
constexpr uint32_t OPT_SIZE_OF_HEADERS = 60;
constexpr uint32_t OPT_CHECKSUM = 64;
constexpr uint32_t OPT_DIRECTORY_COUNT = 92;
constexpr uint32_t OPT_DIRECTORIES = 96;

// Data directory entries.
constexpr uint32_t DIRECTORY_RESOURCES = 2;
constexpr uint32_t DIRECTORY_CERTIFICATES = 4;
constexpr uint32_t DIRECTORY_RELOCATIONS = 5;
constexpr uint32_t DIRECTORY_DEBUG = 6;
