// Packs files, directories and the reserved members into a level-2 LZH
// archive written at the current position of an open file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "decode/crc16.h"
#include "encode/lzh_encoder.h"
#include "tools/velkar_build/member_writer.h"
#include "tools/velkar_build/source_tree.h"

struct PackSettings {
    char method = '5';  // '0' stores every member
    lzh::Effort effort = lzh::Effort::normal;
    int codePage = 1252;
    // Members packed at once, each by a worker thread; the archive's bytes
    // are the same for every count.
    unsigned jobs = 1;
    // Told the bytes read so far from the files packed, for a progress bar.
    std::function<void(uint64_t)> progress;
};

class ArchivePacker {
public:
    ArchivePacker(std::FILE* out, std::string outName, const PackSettings& settings);

    // "!" (the question) or "$" (the installer script), already in the code page.
    void addReserved(const std::string& name, const std::string& bytes);
    // Throws std::runtime_error naming the file on a name the stub could not
    // take or a file of 4 GiB or more. The member is packed by finish().
    void addEntry(const SourceEntry& entry);
    // Packs the members added, writes them in the order they were added and
    // ends the archive with two zero bytes: a zero header size that no byte
    // appended later can change into a header. Throws std::runtime_error
    // naming the file on a read that fails or a write that fails; the first
    // member in order that fails is the one named.
    void finish();

    uint16_t crcXor() const { return crcXor_; }
    unsigned memberCount() const { return memberCount_; }

private:
    struct Names {
        std::string fileName;
        std::string directory;
    };
    Names archiveNames(const std::string& utf8Name, bool directory) const;
    // A member waiting to be packed. open() gives a fresh reader of its
    // bytes; it is called a second time when the packed form is not smaller
    // and the bytes are stored instead.
    struct Member {
        MemberFields fields;
        uint64_t size = 0;
        std::function<lzh::ByteReader()> open;
        std::string what;
    };
    struct Packed;
    void addMember(const MemberFields& fields, uint64_t size, std::function<lzh::ByteReader()> open,
                   const std::string& what);
    void pack(const Member& member, Packed& packed) const;
    void writeMember(Member& member, Packed& packed);
    void write(const void* bytes, size_t size);
    uint64_t tell();
    void seek(uint64_t position);

    std::FILE* out_;
    std::string outName_;
    PackSettings settings_;
    Crc16 crcTables_;  // at 0; each reading copies it for a running value of its own
    uint16_t crcXor_ = 0;
    unsigned memberCount_ = 0;
    std::vector<Member> members_;
};
