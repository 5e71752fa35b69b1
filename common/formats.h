// The formats Velkar reads and writes, each fact written once: the
// compressed methods and the alphabets of their blocks, the level-2 member
// header, and the stub's own file layout. The decoder, the encoder,
// velkar-build and velkar-run all take them from here.
#pragma once

#include <stdint.h>

// A compressed method, by the digit of its "-lhN-" name. Its blocks announce
// the position alphabet in a count of positionCountBits bits. A writer sends
// one position code per bit of distance (-lh4- shares -lh5-'s codes); the
// decoder reads as many as the widest method with the same count width
// sends, so that a -lh6- block announcing 17 codes is read, not refused.
struct LzhMethod {
    char digit;
    unsigned char dictionaryBits;
    unsigned char positionCodesWritten;
    unsigned char positionCodesRead;
    unsigned char positionCountBits;

    constexpr uint32_t dictionarySize() const { return 1u << dictionaryBits; }
};
constexpr LzhMethod LZH_METHODS[] = {
    {'4', 12, 14, 14, 4},
    {'5', 13, 14, 14, 4},
    {'6', 15, 16, 17, 5},
    {'7', 16, 17, 17, 5},
};
const unsigned char STORED_METHOD = '0';
const unsigned char DIRECTORY_METHOD = 'd';

// The alphabets of a block. Literal/length symbols are the 256 bytes, then
// copy lengths from 3 to 256 (symbol = length + COPY_LENGTH_BIAS). The
// code-length code's symbols 0 to 2 stand for runs of zero lengths, 3 to 18
// for lengths 1 to 16, and a 2-bit run of zeros follows its third length.
const uint16_t LITERAL_COUNT = 510;
const uint16_t LITERAL_COUNT_BITS = 9;
const uint16_t FIRST_COPY_SYMBOL = 256;
const uint16_t COPY_LENGTH_BIAS = 253;
const uint32_t MIN_COPY_LENGTH = 3;
const uint32_t MAX_COPY_LENGTH = 256;
const uint16_t CODE_LENGTH_COUNT = 19;
const uint16_t CODE_LENGTH_COUNT_BITS = 5;
const uint16_t CODE_LENGTH_ZERO_RUN_INDEX = 3;
const unsigned MAX_CODE_LENGTH = 16;
const unsigned MAX_POSITION_CODES = 17;
const uint32_t MAX_DICTIONARY_SIZE = 65536;

// The level-2 member header, which the walk reads and velkar-build writes.
const uint32_t BASE_HEADER_SIZE = 26;  // the fixed fields and the first extended header's size
const uint32_t METHOD_ID_POS = 2;      // "-lh" + method letter + "-"
const uint32_t METHOD_ID_SIZE = 5;
const uint32_t METHOD_LETTER_POS = 5;
const uint32_t PACKED_SIZE_POS = 7;
const uint32_t UNPACKED_SIZE_POS = 11;
const uint32_t TIME_STAMP_POS = 15;
const uint32_t ATTRIBUTE_POS = 19;
const uint32_t LEVEL_POS = 20;  // the header level, at this offset in every level
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

// The stub's file layout. The builder's marker sits in the DOS header's
// reserved words, and the settings block, written by the builder, at 512.
const uint32_t STUB_MARKER_OFFSET = 0x24;
constexpr char STUB_MARKER[] = "Orv's SFX ";
const uint32_t STUB_MARKER_SIZE = sizeof(STUB_MARKER) - 1;

const uint32_t SETTINGS_OFFSET = 512;
const uint32_t SETTINGS_SIZE = 603;

// Bits of SettingsBlock::flags; the others are never read.
const unsigned char FLAG_AUTO_START = 0x01;
const unsigned char FLAG_OVERWRITE = 0x02;
const unsigned char FLAG_TAMPER_CHECK = 0x04;
const unsigned char FLAG_NO_KEEP_NEWER = 0x08;

// Written by the builder at offset 512 of the stub, read once at start-up.
struct __attribute__((packed)) SettingsBlock {
    uint32_t archiveOffset;
    char windowTitle[41];
    char installTitle[41];
    char destDir[256];
    char command[258];
    unsigned char reserved;
    unsigned char flags;
    unsigned char restoreAttributes;
};
static_assert(sizeof(SettingsBlock) == SETTINGS_SIZE, "the settings block is 603 bytes");
