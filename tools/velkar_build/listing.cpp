#include "tools/velkar_build/listing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "archive/member_header.h"
#include "common/byte_order.h"
#include "common/formats.h"
#include "common/run_state.h"
#include "tools/member_method.h"
#include "tools/terminal_text.h"
#include "tools/velkar_build/builder.h"
#include "tools/velkar_build/code_page.h"
#include "tools/velkar_build/icon_file.h"
#include "tools/velkar_build/member_check.h"
#include "tools/velkar_build/system.h"
#include "tools/velkar_build/version_resource.h"

namespace {

// Bytes in the code page as UTF-8 for the terminal; what is no text of the
// code page shows its bytes.
std::string shownText(const std::string& bytes, int codePage) {
    std::string utf8;
    if (fromCodePage(bytes, codePage, &utf8)) return terminalText(utf8);
    std::string shown;
    for (unsigned char byte : bytes) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += byte >= 0x20 && byte < 0x7F ? std::string(1, static_cast<char>(byte)) : std::string(escaped);
    }
    return shown;
}

std::string quoted(const char* field, size_t width, int codePage) {
    return "\"" + shownText(std::string(field, strnlen(field, width)), codePage) + "\"";
}

std::string counted(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string flagNames(unsigned flags) {
    std::string names;
    auto add = [&](unsigned bit, const char* name) {
        if (!(flags & bit)) return;
        if (!names.empty()) names += ", ";
        names += name;
    };
    add(FLAG_AUTO_START, "auto-start");
    add(FLAG_OVERWRITE, "overwrite");
    add(FLAG_TAMPER_CHECK, "tamper check");
    add(FLAG_NO_KEEP_NEWER, "no keep-newer");
    return names.empty() ? "none" : names;
}

void printSettings(const SettingsBlock& block, int codePage, std::ostream& out) {
    out << "settings block:\n"
        << "  archive offset      " << block.archiveOffset << "\n"
        << "  title               " << quoted(block.windowTitle, sizeof(block.windowTitle), codePage)
        << (block.windowTitle[0] ? "" : " (\"" DEFAULT_WINDOW_TITLE "\")") << "\n"
        << "  install title       " << quoted(block.installTitle, sizeof(block.installTitle), codePage) << "\n"
        << "  directory           " << quoted(block.destDir, sizeof(block.destDir), codePage) << "\n"
        << "  command             " << quoted(block.command, sizeof(block.command), codePage) << "\n"
        << "  flags               0x" << std::hex << std::setw(2) << std::setfill('0') << unsigned(block.flags)
        << std::dec << std::setfill(' ') << " (" << flagNames(block.flags) << ")\n"
        << "  restore attributes  " << (block.restoreAttributes ? "on" : "off") << "\n";
}

// The icon's images and the version information of the program in front of
// the archive; false when its resources cannot be read.
bool printResources(std::ifstream& in, uint64_t imageSize, std::ostream& out) {
    std::vector<unsigned char> image(imageSize);
    in.seekg(0);
    std::vector<Resource> resources;
    std::vector<std::string> icon;
    std::vector<std::pair<std::string, std::string>> version;
    try {
        if (!in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size())))
            throw std::runtime_error("it is cut short");
        resources = readResources(image);
        icon = describeIcon(resources);
        version = describeVersion(resources);
    } catch (const std::runtime_error& error) {
        in.clear();
        out << "  resources: " << error.what() << "\n";
        return false;
    }
    out << "icon:" << (icon.empty() ? " none" : "") << "\n";
    for (const std::string& line : icon) out << "  " << line << "\n";
    out << "version information:" << (version.empty() ? " none" : "") << "\n";
    for (const auto& [key, text] : version)
        out << "  " << std::left << std::setw(19) << key << std::right << " " << text << "\n";
    return true;
}

// A trail byte 0x5C belongs to its character and is no separator.
std::string memberName(const MemberHeader& header, int codePage) {
    std::string name(reinterpret_cast<const char*>(header.raw + header.dirNamePos), header.dirNameLength);
    name.append(reinterpret_cast<const char*>(header.raw + header.fileNamePos), header.fileNameLength);
    std::string shown;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        unsigned char byte = i < name.size() ? static_cast<unsigned char>(name[i]) : 0;
        if (i < name.size() && isLeadByte(codePage, byte)) {
            ++i;
            continue;
        }
        if (i < name.size() && byte != DIRECTORY_SEPARATOR && byte != '\\') continue;
        shown += shownText(name.substr(start, i - start), codePage);
        if (i < name.size()) shown += '/';
        start = i + 1;
    }
    return shown;
}

std::string timeText(uint32_t unixTime) {
    std::tm parts = utcTime(unixTime);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string ratioText(uint64_t packed, uint64_t original) {
    if (original == 0) return "   -  ";
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << std::setw(5) << 100.0 * double(packed) / double(original) << "%";
    return text.str();
}

bool readHeader(std::ifstream& in, uint64_t at, std::vector<unsigned char>& raw, uint64_t fileSize) {
    if (raw.size() < 2 || at + raw.size() > fileSize) return false;
    in.seekg(static_cast<std::streamoff>(at));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size())));
}

}  // namespace

int listSelfExtractor(const std::string& path, bool test, int codePage, std::ostream& out) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot be read: " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    uint64_t fileSize = static_cast<uint64_t>(in.tellg());
    std::vector<unsigned char> head(SETTINGS_OFFSET + SETTINGS_SIZE);
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size())) ||
        std::memcmp(&head[STUB_MARKER_OFFSET], STUB_MARKER, STUB_MARKER_SIZE) != 0)
        throw std::runtime_error(path + ": is not a Velkar file");
    SettingsBlock block;
    std::memcpy(&block, &head[SETTINGS_OFFSET], SETTINGS_SIZE);
    printSettings(block, codePage, out);

    int problems = 0;
    auto problem = [&](const std::string& what) {
        out << "  " << what << "\n";
        ++problems;
    };
    if (block.archiveOffset > fileSize) problem("the archive offset lies behind the end of the file");
    else if (!printResources(in, block.archiveOffset, out)) ++problems;
    uint64_t at = block.archiveOffset;
    uint16_t tamperValue = 0;
    if (block.flags & FLAG_TAMPER_CHECK) {
        unsigned char value[2] = {};
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(value), 2)) problem("the tamper value is missing");
        tamperValue = readLittle16(value);
        at += 2;
    }
    out << "\nmethod     packed   original  ratio  time                 crc   name" << (test ? "  (test)" : "") << "\n";
    uint64_t totalPacked = 0, totalOriginal = 0;
    uint16_t crcXor = 0;
    unsigned members = 0;
    while (at + 2 <= fileSize) {
        unsigned char sizeBytes[2];
        in.seekg(static_cast<std::streamoff>(at));
        in.read(reinterpret_cast<char*>(sizeBytes), 2);
        int32_t size = static_cast<int16_t>(readLittle16(sizeBytes));
        if (size == 0) break;
        std::vector<unsigned char> raw(size > 0 ? static_cast<size_t>(size) : 0);
        MemberHeader header = {};
        if (size < 0 || !readHeader(in, at, raw, fileSize) ||
            !parseMemberHeader(raw.data(), static_cast<uint32_t>(size), &header) ||
            !headerCrcMatches(raw.data(), static_cast<uint32_t>(size), header)) {
            std::string method;
            bool foreign = size > 0 && readHeader(in, at, raw, fileSize) &&
                           foreignMethod(raw.data(), static_cast<uint32_t>(size), &method);
            problem("member " + std::to_string(members + 1) +
                    (foreign ? ": packed with method " + terminalText(method) + ", which Velkar does not unpack"
                             : ": Bad header"));
            break;
        }
        ++members;
        uint64_t dataOffset = at + static_cast<uint32_t>(size);
        std::string name = memberName(header, codePage);
        out << "-lh" << header.method << "- " << std::setw(10) << header.packedSize << " " << std::setw(10)
            << header.unpackedSize << " " << ratioText(header.packedSize, header.unpackedSize) << "  "
            << timeText(header.timeStamp) << "  " << std::hex << std::setw(4) << std::setfill('0') << header.dataCrc
            << std::dec << std::setfill(' ') << "  " << name;
        crcXor ^= header.dataCrc;
        totalPacked += header.packedSize;
        totalOriginal += header.unpackedSize;
        if (dataOffset + header.packedSize > fileSize) {
            out << "\n";
            problem(name + ": Unexpeted EOF");
            break;
        }
        // The stub would take the data for a directory's and fail.
        if (header.method == 'd' && header.packedSize != 0) {
            out << "  a directory entry that carries data";
            ++problems;
        } else if (test && header.method != 'd') {
            uint16_t crc = 0;
            MemberData data = {static_cast<char>(header.method), static_cast<uint32_t>(dataOffset), header.packedSize,
                               header.unpackedSize};
            bool decoded = dataOffset <= 0x7FFFFFFF && decodeWithStub(path, data, &crc);
            out << (decoded && crc == header.dataCrc ? "  ok" : decoded ? "  CRC ERROR" : "  cannot be decoded");
            if (!decoded || crc != header.dataCrc) ++problems;
        }
        out << "\n";
        at = dataOffset + header.packedSize;
    }
    out << counted(members, "member", "members") << ", " << totalPacked << " bytes packed from " << totalOriginal
        << " (" << ratioText(totalPacked, totalOriginal) << ")\n";
    if (test && problems == 0 && (block.flags & FLAG_TAMPER_CHECK) && crcXor != tamperValue)
        problem("Tampered DATA: the tamper value does not match the members' CRCs");
    if (test) out << (problems ? "test failed\n" : "every member tested ok\n");
    return problems;
}
