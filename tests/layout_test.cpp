// The laid-out velkar.exe of the windows preset, byte by byte: the DOS header
// with the builder's marker, the zeroed settings block, a DOS program that
// really prints its message, and a PE image that objdump reads.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "support/built_stub.h"
#include "support/command.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const STUB_PATH = VELKAR_STUB;
const uint32_t PE_OFFSET = 0x4D0;

// at() fails the test on a field beyond the file rather than reading past it.
uint32_t u16(const Bytes& b, uint32_t at) { return (void)b.at(at + 1), readLittle16(&b[at]); }
uint32_t u32(const Bytes& b, uint32_t at) { return (void)b.at(at + 3), readLittle32(&b[at]); }

class StubLayout : public ::testing::Test {
protected:
    void SetUp() override {
        stub = readBuiltStub();
        ASSERT_FALSE(stub.empty()) << STUB_PATH << " is missing: build the windows preset first";
        ASSERT_GT(stub.size(), PE_OFFSET + 0x200u);
    }
    Bytes stub;
};

TEST_F(StubLayout, DosHeaderFields) {
    struct Field {
        const char* name;
        uint32_t offset;
        uint32_t expected;
    };
    const Field fields[] = {
        {"e_magic", 0x00, 0x5A4D},  {"e_crlc", 0x06, 0},    {"e_cparhdr", 0x08, 0x20},
        {"e_ip", 0x14, 0x0000},     {"e_cs", 0x16, 0x0026}, {"e_lfanew low", 0x3C, PE_OFFSET},
        {"e_lfanew high", 0x3E, 0},
    };
    for (const Field& f : fields) EXPECT_EQ(u16(stub, f.offset), f.expected) << f.name;

    // DOS loads the file up to the PE header: pages of 512 bytes, the last
    // one holding e_cblp of them (0 meaning all).
    uint32_t pages = u16(stub, 0x04), lastPage = u16(stub, 0x02);
    EXPECT_EQ(pages * 512 - (lastPage ? 512 - lastPage : 0), PE_OFFSET);

    std::string marker(stub.begin() + 0x24, stub.begin() + 0x2E);
    EXPECT_EQ(marker, "Orv's SFX ");
}

TEST_F(StubLayout, ReservedRangesAreZero) {
    struct Range {
        const char* name;
        uint32_t begin;
        uint32_t end;
    };
    const Range ranges[] = {
        {"behind the marker", 0x2E, 0x3C},
        {"between the DOS header and the settings block", 0x40, 0x200},
        {"settings block", 0x200, 0x200 + 603},
        {"behind the settings block", 0x200 + 603, 0x460},
    };
    for (const Range& r : ranges) {
        for (uint32_t at = r.begin; at < r.end; ++at) {
            if (stub[at] != 0) {
                ADD_FAILURE() << r.name << ": byte " << std::hex << at << " is " << int(stub[at]);
                break;
            }
        }
    }
}

// Runs the DOS program as DOS would start it, on just enough of the 8086 to
// cover what it may use, and returns what it printed and its exit code.
struct DosRun {
    std::string printed;
    int exitCode = -1;
    std::string error;
};

DosRun runDosProgram(const Bytes& stub) {
    const uint32_t headerSize = u16(stub, 0x08) * 16;
    const uint32_t imageSize = PE_OFFSET - headerSize;
    const uint16_t loadSegment = 0x100;
    Bytes memory(loadSegment * 16 + imageSize + u16(stub, 0x0A) * 16, 0);
    std::copy(stub.begin() + headerSize, stub.begin() + PE_OFFSET, memory.begin() + loadSegment * 16);

    uint16_t cs = loadSegment + u16(stub, 0x16), ip = u16(stub, 0x14);
    uint16_t ss = loadSegment + u16(stub, 0x0E), sp = u16(stub, 0x10);
    uint16_t ds = loadSegment - 0x10;  // the PSP, as DOS leaves it
    uint16_t ax = 0, dx = 0;
    DosRun dos;
    auto at = [&](uint16_t segment, uint16_t offset) -> uint8_t& {
        static uint8_t outside;
        uint32_t address = segment * 16u + offset;
        if (address >= memory.size()) {
            dos.error = "access outside the program's memory";
            return outside = 0;
        }
        return memory[address];
    };
    auto fetch8 = [&] { return at(cs, ip++); };
    auto fetch16 = [&] {
        uint16_t low = fetch8();
        return static_cast<uint16_t>(low | fetch8() << 8);
    };
    auto push = [&](uint16_t value) {
        sp -= 2;
        at(ss, sp) = static_cast<uint8_t>(value);
        at(ss, sp + 1) = static_cast<uint8_t>(value >> 8);
    };
    auto pop = [&] {
        uint16_t value = static_cast<uint16_t>(at(ss, sp) | at(ss, sp + 1) << 8);
        sp += 2;
        return value;
    };

    for (int step = 0; step < 100 && dos.error.empty(); ++step) {
        uint8_t opcode = fetch8();
        switch (opcode) {
        case 0xEB:
            ip += static_cast<int8_t>(fetch8());
            break;
        case 0xE9:
            ip += fetch16();
            break;
        case 0x0E:
            push(cs);
            break;
        case 0x1E:
            push(ds);
            break;
        case 0x1F:
            ds = pop();
            break;
        case 0x50:
            push(ax);
            break;
        case 0x58:
            ax = pop();
            break;
        case 0xB8:
            ax = fetch16();
            break;
        case 0xBA:
            dx = fetch16();
            break;
        case 0xB4:
            ax = static_cast<uint16_t>((ax & 0xFF) | fetch8() << 8);
            break;
        case 0xB0:
            ax = static_cast<uint16_t>((ax & 0xFF00) | fetch8());
            break;
        case 0x8C:
            if (fetch8() != 0xC8) dos.error = "unsupported mov from a segment register";
            ax = cs;
            break;
        case 0x8E:
            if (fetch8() != 0xD8) dos.error = "unsupported mov to a segment register";
            ds = ax;
            break;
        case 0xCD:
            if (fetch8() != 0x21) {
                dos.error = "interrupt other than 21h";
            } else if (ax >> 8 == 0x09) {
                for (uint16_t p = dx; at(ds, p) != '$' && dos.error.empty() && dos.printed.size() < 256; ++p)
                    dos.printed += static_cast<char>(at(ds, p));
            } else if (ax >> 8 == 0x4C) {
                dos.exitCode = ax & 0xFF;
                return dos;
            } else {
                dos.error = "unsupported DOS call";
            }
            break;
        default: {
            std::ostringstream message;
            message << "unsupported opcode " << std::hex << int(opcode);
            dos.error = message.str();
        }
        }
    }
    if (dos.error.empty()) dos.error = "did not exit";
    return dos;
}

TEST_F(StubLayout, DosProgramPrintsItsMessageAndExitsWithOne) {
    const std::string text = "This program can not be run in DOS mode.\r\n$";
    EXPECT_EQ(stub[0x460], 0xEB) << "a short jump starts the DOS program";
    EXPECT_EQ(std::string(stub.begin() + 0x462, stub.begin() + 0x462 + text.size()), text);

    DosRun result = runDosProgram(stub);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.printed, "This program can not be run in DOS mode.\r\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(StubLayout, DosStackLiesInAllocatedMemoryClearOfTheCode) {
    const uint32_t imageSize = PE_OFFSET - 0x200;
    const uint32_t allocated = imageSize + u16(stub, 0x0A) * 16;
    const uint32_t stackTop = u16(stub, 0x0E) * 16 + u16(stub, 0x10);
    const uint32_t codeEnd = 0x460 + 0x70 - 0x200;
    EXPECT_LE(stackTop, allocated);
    EXPECT_GE(stackTop, codeEnd + 64) << "room for a few pushes above the code";
}

uint32_t peChecksum(Bytes image, uint32_t field) {
    image[field] = image[field + 1] = image[field + 2] = image[field + 3] = 0;
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        sum += image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint32_t>(((sum & 0xFFFF) + (sum >> 16)) + image.size());
}

TEST_F(StubLayout, PeHeadersSitAtTheirOffset) {
    ASSERT_EQ(u32(stub, PE_OFFSET), 0x4550u) << "PE signature";
    const uint32_t sections = u16(stub, PE_OFFSET + 6);
    const uint32_t optional = PE_OFFSET + 24;
    const uint32_t tableEnd = optional + u16(stub, PE_OFFSET + 20) + sections * 40;
    const uint32_t fileAlignment = u32(stub, optional + 36);
    const uint32_t headersSize = u32(stub, optional + 60);

    EXPECT_EQ(u16(stub, PE_OFFSET + 4), 0x14Cu) << "i386";
    EXPECT_EQ(u32(stub, PE_OFFSET + 12), 0u) << "PointerToSymbolTable";
    EXPECT_EQ(u32(stub, PE_OFFSET + 16), 0u) << "NumberOfSymbols";
    EXPECT_EQ(u16(stub, optional), 0x10Bu) << "PE32";
    EXPECT_EQ(u16(stub, optional + 68), 2u) << "GUI subsystem";
    ASSERT_GT(fileAlignment, 0u);
    EXPECT_EQ(headersSize, (tableEnd + fileAlignment - 1) / fileAlignment * fileAlignment) << "SizeOfHeaders";
    uint32_t checksum = u32(stub, optional + 64);
    if (checksum != 0) {
        EXPECT_EQ(checksum, peChecksum(stub, optional + 64));
    }

    // Every section's data lies behind the headers, inside the file, aligned
    // and without overlapping the next.
    uint32_t previousEnd = headersSize;
    for (uint32_t i = 0; i < sections; ++i) {
        uint32_t header = tableEnd - (sections - i) * 40;
        std::string name(stub.begin() + header, stub.begin() + header + 8);
        uint32_t size = u32(stub, header + 16), raw = u32(stub, header + 20);
        if (size == 0) continue;
        EXPECT_GE(raw, previousEnd) << name;
        EXPECT_EQ(raw % fileAlignment, 0u) << name;
        EXPECT_LE(uint64_t{raw} + size, stub.size()) << name;
        previousEnd = raw + size;
    }
}

// objdump is an independent reader of the result: it must accept the file,
// place each section inside it, and find imports of system DLLs only.
TEST_F(StubLayout, ObjdumpReadsTheImageAndItsImports) {
    int status = -1;
    std::string output = runCommand(std::string("i686-w64-mingw32-objdump -p -h '") + STUB_PATH + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("file format pei-i386"), std::string::npos) << output;

    // "  0 .text  00001294  00401000  00401000  00000800  2**2"
    std::regex sectionLine(R"(\n\s*\d+\s+(\S+)\s+([0-9a-f]{8})\s+[0-9a-f]{8}\s+[0-9a-f]{8}\s+([0-9a-f]{8})\s+2\*\*)");
    int sectionCount = 0;
    for (std::sregex_iterator m(output.begin(), output.end(), sectionLine), end; m != end; ++m) {
        uint64_t size = std::stoul((*m)[2], nullptr, 16), offset = std::stoul((*m)[3], nullptr, 16);
        EXPECT_LE(offset + size, stub.size()) << (*m)[1];
        ++sectionCount;
    }
    EXPECT_GT(sectionCount, 0) << output;

    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll",  "gdi32.dll", "comdlg32.dll",
                                           "advapi32.dll", "shell32.dll", "msvcrt.dll"};
    std::set<std::string> imported;
    std::regex dllLine(R"(DLL Name: (\S+))");
    for (std::sregex_iterator m(output.begin(), output.end(), dllLine), end; m != end; ++m) {
        std::string name = (*m)[1];
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imported.insert(name);
        EXPECT_TRUE(allowed.count(name)) << "imports " << name;
    }
    EXPECT_TRUE(imported.count("kernel32.dll")) << output;
}

// A loader refuses an image that asks for a newer system than it is, and Wine
// does not check: 3.10 in both fields is what Windows NT 3.1 and Win32s
// accept. Win32s loads every program into one shared address space, so the
// image must keep its relocations.
TEST_F(StubLayout, LoadsOnWindowsNt31AndWin32s) {
    const uint32_t optional = PE_OFFSET + 24;
    const struct {
        const char* name;
        uint32_t offset;
    } versions[] = {{"OperatingSystemVersion", 40}, {"SubsystemVersion", 48}};
    for (const auto& version : versions) {
        EXPECT_EQ(u16(stub, optional + version.offset), 3u) << "Major" << version.name;
        EXPECT_EQ(u16(stub, optional + version.offset + 2), 10u) << "Minor" << version.name;
    }
    EXPECT_EQ(u16(stub, PE_OFFSET + 22) & 0x0001, 0u) << "IMAGE_FILE_RELOCS_STRIPPED";
    EXPECT_GT(u32(stub, optional + 96 + 5 * 8 + 4), 0u) << "size of the base relocation directory";
}

}  // namespace
