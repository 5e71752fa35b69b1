// Making a self-extracting file: the stub with its settings block filled,
// followed by a level-2 LZH archive (and the tamper value when asked for).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

struct BuildOptions {
    std::string title;
    std::string installTitle;
    std::string dir;
    std::string command;
    unsigned char flags = 0;
    bool restoreAttributes = false;
    bool requireAdministrator = false;  // the manifest's execution level, for installers
};

// Checks that every member header is level 2 and lies inside the archive, and
// returns the XOR of the members' data CRCs. Throws std::runtime_error with a
// message naming the member otherwise.
uint16_t checkArchive(const Bytes& archive);

// The self-extracting file's bytes. Throws std::runtime_error on a stub that
// is not bare, an archive checkArchive refuses, or a text too long for its field.
Bytes buildSelfExtractor(const Bytes& stub, const Bytes& archive, const BuildOptions& options);
