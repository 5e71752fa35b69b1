#include "dos_part.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

constexpr uint32_t DOS_HEADER_PARAGRAPHS = 0x20;
constexpr uint32_t DOS_PROGRAM_OFFSET = 0x460;
constexpr uint32_t DOS_PROGRAM_SIZE = 0x70;

// The DOS load image starts behind the 512-byte header, so the settings block
// is its first part and the code segment begins 0x260 bytes in.
constexpr uint16_t CODE_SEGMENT = (DOS_PROGRAM_OFFSET - DOS_HEADER_PARAGRAPHS * 16) / 16;

// The load image ends where the PE header starts; DOS allocates 256 bytes
// behind it for the stack.
constexpr uint16_t IMAGE_PARAGRAPHS = (PE_HEADER_OFFSET - DOS_HEADER_PARAGRAPHS * 16) / 16;
constexpr uint16_t STACK_PARAGRAPHS = 0x10;

void put16(std::vector<uint8_t>& bytes, uint32_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(std::vector<uint8_t>& bytes, uint32_t offset, uint32_t value) {
    put16(bytes, offset, static_cast<uint16_t>(value));
    put16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

// Jumps over its message, points DS at its own segment (DOS starts an EXE
// with DS at the PSP), prints the "$"-terminated text and exits with 1.
std::vector<uint8_t> dosProgram() {
    constexpr std::string_view text = "This program can not be run in DOS mode.\r\n$";
    constexpr uint8_t textStart = 2;
    std::vector<uint8_t> code = {0xEB, static_cast<uint8_t>(text.size())};  // jmp short over the text
    code.insert(code.end(), text.begin(), text.end());
    // One instruction a line.
    // clang-format off
    const uint8_t instructions[] = {
        0x0E,                    // push cs
        0x1F,                    // pop ds
        0xBA, textStart, 0x00,   // mov dx, text
        0xB4, 0x09,              // mov ah, 09h: print string
        0xCD, 0x21,              // int 21h
        0xB8, 0x01, 0x4C,        // mov ax, 4C01h: exit with 1
        0xCD, 0x21,              // int 21h
    };
    // clang-format on
    code.insert(code.end(), std::begin(instructions), std::end(instructions));
    code.resize(DOS_PROGRAM_SIZE, 0);
    return code;
}

}  // namespace

std::vector<uint8_t> makeDosPart() {
    std::vector<uint8_t> bytes(PE_HEADER_OFFSET, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put16(bytes, 0x02, PE_HEADER_OFFSET % 512);          // e_cblp: bytes in the last page
    put16(bytes, 0x04, (PE_HEADER_OFFSET + 511) / 512);  // e_cp: pages in the file
    put16(bytes, 0x08, DOS_HEADER_PARAGRAPHS);           // e_cparhdr
    put16(bytes, 0x0A, STACK_PARAGRAPHS);                // e_minalloc
    put16(bytes, 0x0C, 0xFFFF);                          // e_maxalloc
    put16(bytes, 0x0E, IMAGE_PARAGRAPHS);                // e_ss
    put16(bytes, 0x10, STACK_PARAGRAPHS * 16);           // e_sp
    put16(bytes, 0x14, 0x0000);                          // e_ip
    put16(bytes, 0x16, CODE_SEGMENT);                    // e_cs
    put16(bytes, 0x18, 0x40);                            // e_lfarlc: no relocations
    std::memcpy(&bytes[STUB_MARKER_OFFSET], STUB_MARKER, STUB_MARKER_SIZE);
    put32(bytes, 0x3C, PE_HEADER_OFFSET);  // e_lfanew

    std::vector<uint8_t> program = dosProgram();
    std::copy(program.begin(), program.end(), bytes.begin() + DOS_PROGRAM_OFFSET);
    return bytes;
}
