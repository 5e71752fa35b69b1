#include "tools/velkar_build/builder.h"

#include <cstring>
#include <stdexcept>

#include "archive/member_header.h"
#include "common/byte_order.h"
#include "common/run_state.h"
#include "tools/velkar_build/execution_level.h"

namespace {

std::runtime_error memberError(int member, const std::string& what) {
    return std::runtime_error("member " + std::to_string(member) + " " + what);
}

void putText(char* field, size_t width, const std::string& text, const char* what) {
    if (text.size() >= width)
        throw std::runtime_error(std::string(what) + " is longer than " + std::to_string(width - 1) + " bytes");
    std::memcpy(field, text.data(), text.size());
}

}  // namespace

uint16_t checkArchive(const Bytes& archive) {
    uint16_t crcXor = 0;
    size_t at = 0;
    for (int member = 1; at + 2 <= archive.size(); ++member) {
        uint32_t headerSize = readLittle16(&archive[at]);
        if (headerSize == 0) break;
        // The level byte sits at the same offset in every header level; look
        // at it first, since an older header's size field means something else.
        if (at + LEVEL_POS < archive.size() && archive[at + LEVEL_POS] != 2)
            throw memberError(member, "has a level-" + std::to_string(archive[at + LEVEL_POS]) +
                                          " header; only level-2 archives can be used");
        if (headerSize > archive.size() - at) throw memberError(member, "has a damaged header");
        Bytes raw(archive.begin() + static_cast<std::ptrdiff_t>(at),
                  archive.begin() + static_cast<std::ptrdiff_t>(at + headerSize));
        MemberHeader header = {};
        if (!parseMemberHeader(raw.data(), headerSize, &header)) throw memberError(member, "has a damaged header");
        crcXor ^= header.dataCrc;
        at += headerSize;
        if (header.packedSize > archive.size() - at) throw memberError(member, "is cut short");
        at += header.packedSize;
    }
    return crcXor;
}

Bytes buildSelfExtractor(const Bytes& stub, const Bytes& archive, const BuildOptions& options) {
    if (stub.size() < SETTINGS_OFFSET + SETTINGS_SIZE || stub[0] != 'M' || stub[1] != 'Z')
        throw std::runtime_error("the stub is not an executable with room for the settings");
    for (size_t i = SETTINGS_OFFSET; i < SETTINGS_OFFSET + SETTINGS_SIZE; ++i) {
        if (stub[i] != 0) throw std::runtime_error("the stub already carries settings; give the bare stub");
    }
    uint16_t crcXor = checkArchive(archive);

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
    if (options.flags & FLAG_TAMPER_CHECK) {
        result.push_back(static_cast<unsigned char>(crcXor & 0xFF));
        result.push_back(static_cast<unsigned char>(crcXor >> 8));
    }
    result.insert(result.end(), archive.begin(), archive.end());
    return result;
}
