#include "tools/velkar_build/builder.h"

#include <cstring>
#include <stdexcept>

#include "startup/run_state.h"
#include "tools/velkar_build/execution_level.h"

namespace {

uint32_t little(const Bytes& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[at + i];
    return value;
}

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
        uint32_t headerSize = little(archive, at, 2);
        if (headerSize == 0) break;
        // The level byte sits at offset 20 in every header level; look at it
        // first, since an older header's size field means something else.
        if (at + 21 <= archive.size() && archive[at + 20] != 2)
            throw memberError(member, "has a level-" + std::to_string(archive[at + 20]) +
                                          " header; only level-2 archives can be used");
        if (headerSize < 26 || at + headerSize > archive.size()) throw memberError(member, "has a damaged header");
        uint32_t packedSize = little(archive, at + 7, 4);
        crcXor ^= static_cast<uint16_t>(little(archive, at + 21, 2));
        at += headerSize;
        if (packedSize > archive.size() - at) throw memberError(member, "is cut short");
        at += packedSize;
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
