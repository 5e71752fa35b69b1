// Making a self-extracting file: the stub with its settings block filled,
// followed by a level-2 LZH archive (and the tamper value when asked for).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/velkar_build/icon_file.h"
#include "tools/velkar_build/version_resource.h"

struct BuildOptions {
    std::string title;
    std::string installTitle;
    std::string dir;
    std::string command;
    unsigned char flags = 0;
    bool restoreAttributes = false;
    bool requireAdministrator = false;  // the manifest's execution level, for installers
    std::vector<IconImage> icon;        // replaces the stub's icon when not empty
    VersionInfo version;                // replaces the stub's version information when given
    int codePage = 1252;                // of the version information's texts
};

// Throws std::runtime_error unless the stub is a whole, bare Velkar stub:
// the marker, a PE image whose headers and sections lie inside the file,
// and an empty settings block.
void checkStub(const Bytes& stub);

// The stub with the icon and the version information of the options; the
// stub itself when they ask for neither. Throws std::runtime_error on a stub
// whose resources cannot be rewritten.
Bytes stubWithResources(const Bytes& stub, const BuildOptions& options);

// Where the image's CheckSum lies when it set one, else 0: the loader
// checks nothing then, so the field stays zero.
uint32_t checksumField(const Bytes& image);

// The stub with its settings block filled for an archive appended right
// behind it. Checks the stub first; throws on a text too long for its field.
Bytes stubWithSettings(const Bytes& stub, const BuildOptions& options);

// A member as the scan found it, for checking its data.
struct ScannedMember {
    unsigned number;
    std::string name;  // the header's bytes, directory and file name
    char method;
    uint64_t dataOffset;
    uint32_t packedSize;
    uint32_t unpackedSize;
    uint16_t dataCrc;
};

struct ArchiveScan {
    uint16_t crcXor = 0;  // XOR of the members' data CRCs
    size_t length = 0;    // bytes up to the end of the last member
    unsigned members = 0;
    std::string note;  // what was left out behind the end, if anything
    std::vector<ScannedMember> list;
};

// Reads an archive made elsewhere as the stub will: member by member up to
// a zero header size, a lone zero byte (anything behind it is left out, with
// a note) or the end of the bytes at a header boundary. Throws
// std::runtime_error with a message naming the member on anything the stub
// could not read (a method it lacks, a header whose CRC is wrong, a stored
// member or directory whose sizes do not agree, a name with a control
// byte), on bytes that are no LZH archive and on an archive without members.
// The members' data are not decoded here.
ArchiveScan checkArchive(const Bytes& archive);

// The self-extracting file's bytes for an archive made elsewhere: its
// members, then the two-byte end; the checksum covers them too.
Bytes buildSelfExtractor(const Bytes& stub, const Bytes& archive, const BuildOptions& options);
