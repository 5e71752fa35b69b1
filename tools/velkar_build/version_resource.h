// The version information Explorer shows in a program's Properties: a
// VERSIONINFO resource with its fixed numbers, one string table and the
// translation that names the table's language and code page.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/velkar_build/pe_resources.h"

struct VersionInfo {
    bool hasFileVersion = false;
    bool hasProductVersion = false;
    uint16_t fileVersion[4] = {};
    uint16_t productVersion[4] = {};
    // The table's keys (CompanyName, FileDescription, ...) with UTF-8 texts.
    std::vector<std::pair<std::string, std::string>> strings;

    bool given() const { return hasFileVersion || hasProductVersion || !strings.empty(); }
};

// "A.B.C.D": four decimal numbers, each at most 65535.
bool parseVersionNumber(const std::string& text, uint16_t numbers[4]);

// The language a string table in this ANSI code page is written in, by
// Windows' own pairing (1252 English, 932 Japanese, ...); 0, neutral, for
// a code page without one language.
uint16_t languageOfCodePage(int codePage);

// The resource's bytes. The file and product versions also go into the
// table as texts. Throws std::runtime_error naming the key of a text that
// is not UTF-8 or that makes the resource longer than its 16-bit length.
Bytes versionResource(const VersionInfo& info, int codePage);

// Replaces every version resource with the one for `info`.
void replaceVersion(std::vector<Resource>& resources, const VersionInfo& info, int codePage);

// What --list shows of the first version resource: the fixed versions,
// then the table's keys and UTF-8 texts. Empty when there is none; throws
// std::runtime_error on a damaged one.
std::vector<std::pair<std::string, std::string>> describeVersion(const std::vector<Resource>& resources);
