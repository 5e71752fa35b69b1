#include "tools/velkar_build/builder.h"

#include <cstring>
#include <stdexcept>

#include "archive/member_header.h"
#include "common/byte_order.h"
#include "common/formats.h"
#include "common/run_state.h"
#include "common/windows_names.h"
#include "devtools/stub_layout/pe_move.h"
#include "tools/member_method.h"
#include "tools/terminal_text.h"
#include "tools/velkar_build/execution_level.h"

namespace {

const uint32_t PE_OFFSET_FIELD = 0x3C;
const uint32_t COFF_HEADER_SIZE = 24;  // "PE\0\0" and the file header
const uint32_t SECTION_HEADER_SIZE = 40;

std::runtime_error memberError(unsigned member, const std::string& what) {
    return std::runtime_error("member " + std::to_string(member) + " " + what);
}

void putText(char* field, size_t width, const std::string& text, const char* what) {
    if (text.size() >= width)
        throw std::runtime_error(std::string(what) + " is longer than " + std::to_string(width - 1) + " bytes");
    std::memcpy(field, text.data(), text.size());
}

bool fits(const Bytes& bytes, uint64_t offset, uint64_t size) { return offset + size <= bytes.size(); }

bool looksLikeMethodId(const Bytes& archive, size_t at) {
    if (!fits(archive, at, METHOD_ID_POS + METHOD_ID_SIZE)) return false;
    const unsigned char* id = &archive[at + METHOD_ID_POS];
    return id[0] == '-' && id[1] == 'l' && id[2] == 'h' && id[4] == '-';
}

// The method field of a header that is no method of ours: "-lzs-", "-lh1-".
bool unsupportedMethod(const Bytes& archive, size_t at, std::string* method) {
    if (!fits(archive, at, METHOD_ID_POS + METHOD_ID_SIZE)) return false;
    const unsigned char* id = &archive[at + METHOD_ID_POS];
    if (id[0] != '-' || id[4] != '-') return false;
    method->assign(reinterpret_cast<const char*>(id), METHOD_ID_SIZE);
    if (id[1] == 'l' && id[2] == 'h' && (id[3] == STORED_METHOD || id[3] == DIRECTORY_METHOD)) return false;
    for (const LzhMethod& known : LZH_METHODS)
        if (id[1] == 'l' && id[2] == 'h' && id[3] == static_cast<unsigned char>(known.digit)) return false;
    return true;
}

// The header's bytes are kept in raw, where header points.
bool parsesAt(const Bytes& archive, size_t at, Bytes* raw, MemberHeader* header) {
    if (!fits(archive, at, 2)) return false;
    uint32_t size = readLittle16(&archive[at]);
    if (size == 0 || !fits(archive, at, size)) return false;
    raw->assign(archive.begin() + static_cast<std::ptrdiff_t>(at),
                archive.begin() + static_cast<std::ptrdiff_t>(at + size));
    return parseMemberHeader(raw->data(), size, header) != 0;
}

// With '/' for the separator 0xFF, which no code page's trail byte takes.
std::string nameOf(const MemberHeader& header) {
    std::string name(reinterpret_cast<const char*>(header.raw + header.dirNamePos), header.dirNameLength);
    name.append(reinterpret_cast<const char*>(header.raw + header.fileNamePos), header.fileNameLength);
    for (char& c : name)
        if (static_cast<unsigned char>(c) == DIRECTORY_SEPARATOR) c = '/';
    return name;
}

}  // namespace

void checkStub(const Bytes& stub) {
    const char* notStub = "is not a Velkar stub (no velkar.exe marker); give the velkar.exe that the build makes";
    if (!fits(stub, 0, SETTINGS_OFFSET + SETTINGS_SIZE) || stub[0] != 'M' || stub[1] != 'Z' ||
        std::memcmp(&stub[STUB_MARKER_OFFSET], STUB_MARKER, STUB_MARKER_SIZE) != 0)
        throw std::runtime_error(notStub);
    uint32_t pe = readLittle32(&stub[PE_OFFSET_FIELD]);
    if (!fits(stub, pe, COFF_HEADER_SIZE) || std::memcmp(&stub[pe], "PE\0\0", 4) != 0)
        throw std::runtime_error("is cut short or damaged: its PE header lies outside the file");
    uint32_t sectionCount = readLittle16(&stub[pe + 6]);
    uint32_t optionalSize = readLittle16(&stub[pe + 20]);
    uint64_t sections = uint64_t(pe) + COFF_HEADER_SIZE + optionalSize;
    if (!fits(stub, sections, uint64_t(sectionCount) * SECTION_HEADER_SIZE))
        throw std::runtime_error("is cut short or damaged: its section table lies outside the file");
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const unsigned char* section = &stub[sections + i * SECTION_HEADER_SIZE];
        if (!fits(stub, readLittle32(section + 20), readLittle32(section + 16)))
            throw std::runtime_error("is cut short: a section lies outside the file");
    }
    for (size_t i = SETTINGS_OFFSET; i < SETTINGS_OFFSET + SETTINGS_SIZE; ++i)
        if (stub[i] != 0) throw std::runtime_error("already carries settings; give the bare stub");
}

Bytes stubWithResources(const Bytes& stub, const BuildOptions& options) {
    if (options.icon.empty() && !options.version.given()) return stub;
    Bytes result = stub;
    std::vector<Resource> resources = readResources(result);
    if (!options.icon.empty()) replaceIcon(resources, options.icon);
    if (options.version.given()) replaceVersion(resources, options.version, options.codePage);
    writeResources(result, resources);
    return result;
}

uint32_t checksumField(const Bytes& image) {
    if (!fits(image, PE_OFFSET_FIELD, 4)) return 0;
    uint32_t pe = readLittle32(&image[PE_OFFSET_FIELD]);
    // The optional header must reach past the field.
    if (!fits(image, pe, COFF_HEADER_SIZE) || readLittle16(&image[pe + 20]) < 68) return 0;
    uint32_t field = checksumOffset(image);
    return fits(image, field, 4) && readLittle32(&image[field]) != 0 ? field : 0;
}

Bytes stubWithSettings(const Bytes& stub, const BuildOptions& options) {
    checkStub(stub);
    SettingsBlock block = {};
    block.archiveOffset = static_cast<uint32_t>(stub.size());
    putText(block.windowTitle, sizeof(block.windowTitle), options.title, "the title");
    putText(block.installTitle, sizeof(block.installTitle), options.installTitle, "the install title");
    putText(block.destDir, sizeof(block.destDir), options.dir, "the directory");
    putText(block.command, sizeof(block.command), options.command, "the command");
    block.flags = options.flags;
    block.restoreAttributes = options.restoreAttributes ? '/' : 0;
    Bytes result = stub;
    if (options.requireAdministrator) requireAdministrator(result);
    std::memcpy(&result[SETTINGS_OFFSET], &block, SETTINGS_SIZE);
    return result;
}

ArchiveScan checkArchive(const Bytes& archive) {
    ArchiveScan scan;
    size_t at = 0;
    while (at < archive.size()) {
        unsigned member = scan.members + 1;
        MemberHeader header = {};
        Bytes raw;
        bool parsed = parsesAt(archive, at, &raw, &header);
        // The stub reads two bytes for the size: a lone zero byte that other
        // bytes follow would be taken for part of a header.
        if (!parsed && archive[at] == 0) {
            if (!fits(archive, at, 2) || archive[at + 1] == 0) break;
            scan.note = "the archive's end byte is followed by " + std::to_string(archive.size() - at - 1) +
                        " more bytes, which are left out";
            break;
        }
        std::string method;
        if (!parsed && (unsupportedMethod(archive, at, &method) ||
                        foreignMethod(raw.data(), static_cast<uint32_t>(raw.size()), &method)))
            throw memberError(member, "is packed with method " + terminalText(method) +
                                          ", which Velkar does not unpack (it takes -lh0-, -lh4- to -lh7- and -lhd-)");
        if (!parsed) {
            if (scan.members == 0 && !looksLikeMethodId(archive, at)) throw std::runtime_error("is not an LZH archive");
            if (fits(archive, at, LEVEL_POS + 1) && archive[at + LEVEL_POS] != HEADER_LEVEL)
                throw memberError(member, "has a level-" + std::to_string(archive[at + LEVEL_POS]) +
                                              " header; only level-2 archives can be used");
            throw memberError(member, "has a damaged header");
        }
        std::string name = nameOf(header);
        std::string shown = "\"" + terminalText(name) + "\"";
        if (!headerCrcMatches(raw.data(), header.headerSize, header))
            throw memberError(member, shown + " has a damaged header: its CRC is wrong");
        for (unsigned char byte : name)
            if (byte < 0x20)
                throw memberError(member, shown + " has a name with a control byte, which Windows refuses");
        std::string_view part;
        NameFault fault = windowsPathFault(name, &part);
        if (fault == NameFault::deviceName)
            throw memberError(member, shown + ": \"" + terminalText(std::string(part)) +
                                          "\" is a device name on Windows, which cannot be a file's name");
        if (fault == NameFault::endsInDotOrBlank)
            throw memberError(member, shown + ": \"" + terminalText(std::string(part)) +
                                          "\" ends in a dot or a blank, which Windows drops from names");
        if (header.method == DIRECTORY_METHOD && header.packedSize != 0)
            throw memberError(member, shown + " is a directory entry that carries data");
        if (header.method == STORED_METHOD && header.packedSize != header.unpackedSize)
            throw memberError(member, shown + " is stored, but its original size differs from its stored data");
        uint64_t dataOffset = at + header.headerSize;
        at += header.headerSize;
        if (header.packedSize > archive.size() - at) throw memberError(member, shown + " is cut short");
        at += header.packedSize;
        scan.list.push_back({member, name, static_cast<char>(header.method), dataOffset, header.packedSize,
                             header.unpackedSize, header.dataCrc});
        scan.crcXor ^= header.dataCrc;
        scan.members = member;
        scan.length = at;
    }
    if (scan.members == 0) throw std::runtime_error("holds no members");
    return scan;
}

Bytes buildSelfExtractor(const Bytes& stub, const Bytes& archive, const BuildOptions& options) {
    ArchiveScan scan = checkArchive(archive);
    Bytes result = stubWithSettings(stub, options);
    if (options.flags & FLAG_TAMPER_CHECK) {
        result.push_back(static_cast<unsigned char>(scan.crcXor & 0xFF));
        result.push_back(static_cast<unsigned char>(scan.crcXor >> 8));
    }
    result.insert(result.end(), archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(scan.length));
    result.push_back(0);
    result.push_back(0);
    if (checksumField(stub)) updateChecksum(result);
    return result;
}
