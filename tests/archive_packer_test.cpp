// What velkar-build packs, read back with the stub's own header parser and
// decoder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/member_header.h"
#include "common/byte_order.h"
#include "support/archive_maker.h"
#include "support/test_support.h"
#include "tools/velkar_build/archive_packer.h"
#include "tools/velkar_build/member_check.h"

namespace {

struct ReadMember {
    MemberHeader header;
    std::vector<unsigned char> raw;
    std::string path;  // directory and file name, 0xFF kept
    std::string data;  // decoded by the stub's decoder
};

void ignoreNote(const std::string&) {}

// Packs the sources into archive.lzh and reads every member back.
std::vector<ReadMember> packAndRead(const ScratchDir& scratch, const std::vector<SourceEntry>& entries,
                                    PackSettings settings = PackSettings()) {
    std::string archive = scratch.file("archive.lzh");
    std::FILE* file = std::fopen(archive.c_str(), "w+b");
    ArchivePacker packer(file, archive, settings);
    for (const SourceEntry& entry : entries) packer.addEntry(entry);
    packer.finish();
    std::fclose(file);

    std::string bytes = scratch.read("archive.lzh");
    std::vector<ReadMember> members;
    size_t at = 0;
    while (at + 2 <= bytes.size() && readLittle16(reinterpret_cast<const unsigned char*>(&bytes[at])) != 0) {
        ReadMember member;
        uint32_t size = readLittle16(reinterpret_cast<const unsigned char*>(&bytes[at]));
        member.raw.assign(bytes.begin() + at, bytes.begin() + at + size);
        EXPECT_TRUE(parseMemberHeader(member.raw.data(), size, &member.header));
        const MemberHeader& h = member.header;
        std::string headerBytes(member.raw.begin(), member.raw.end());
        headerBytes[h.headerCrcPos] = headerBytes[h.headerCrcPos + 1] = 0;
        EXPECT_EQ(referenceCrc16(headerBytes), h.headerCrc) << "header CRC";
        member.path =
            std::string(member.raw.begin() + h.dirNamePos, member.raw.begin() + h.dirNamePos + h.dirNameLength) +
            std::string(member.raw.begin() + h.fileNamePos, member.raw.begin() + h.fileNamePos + h.fileNameLength);
        if (h.method != 'd') {
            uint16_t crc = 0;
            MemberData data = {static_cast<char>(h.method), static_cast<uint32_t>(at + size), h.packedSize,
                               h.unpackedSize};
            EXPECT_TRUE(decodeWithStub(archive, data, &crc, scratch.file("member.out")));
            EXPECT_EQ(crc, h.dataCrc) << member.path;
            member.data = scratch.read("member.out");
        }
        at += size + h.packedSize;
        members.push_back(member);
    }
    EXPECT_EQ(bytes.size(), at + 2) << "two zero bytes end the archive";
    EXPECT_EQ(bytes.substr(at), std::string(2, '\0'));
    return members;
}

void setTime(const std::string& path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(ArchivePackerTest, ATreePacksInSortedOrderWithDirectoriesTimesAndAttributes) {
    ScratchDir scratch;
    std::filesystem::create_directories(scratch.file("src/sub/deeper"));
    std::filesystem::create_directories(scratch.file("src/empty"));
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i % 17) + " of the packed text\n";
    scratch.write("src/b.txt", text);
    scratch.write("src/sub/deeper/random.bin", "\x01\xf3\x7a\x99\x10");
    scratch.write("src/a-empty", "");
    chmod(scratch.file("src/sub/deeper/random.bin").c_str(), 0444);
    setTime(scratch.file("src/b.txt"), 1000000001);  // an odd second

    std::vector<SourceEntry> entries = collectSources({"."}, scratch.file("src"), ignoreNote);
    PackSettings settings;
    settings.method = '6';
    std::vector<ReadMember> members = packAndRead(scratch, entries, settings);

    struct Expected {
        std::string path;
        char method;
        uint16_t attribute;
    } expected[] = {
        {"a-empty", '0', 0x20},
        {"b.txt", '6', 0x20},
        {"empty\xFF", 'd', 0x10},
        {"sub\xFF", 'd', 0x10},
        {"sub\xFF"
         "deeper\xFF",
         'd', 0x10},
        {"sub\xFF"
         "deeper\xFF"
         "random.bin",
         '0', 0x01},
    };
    ASSERT_EQ(members.size(), std::size(expected));
    for (size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(members[i].path, expected[i].path);
        EXPECT_EQ(members[i].header.method, expected[i].method) << expected[i].path;
        EXPECT_EQ(members[i].header.attribute, expected[i].attribute) << expected[i].path;
        EXPECT_EQ(members[i].header.osId, 'W');
    }
    EXPECT_EQ(members[1].data, text);
    EXPECT_EQ(members[5].data, "\x01\xf3\x7a\x99\x10");
    EXPECT_EQ(members[1].header.timeStamp, 1000000001u);
    EXPECT_EQ(members[1].header.lastWriteTime, 1000000001u);
    EXPECT_EQ(members[1].header.lastAccessTime, 1000000001u);
}

// Names become bytes of the chosen code page; one that the stub could not
// take is refused with the file's name.
TEST(ArchivePackerTest, NamesInTheCodePageOrARefusalNamingTheFile) {
    struct Case {
        std::string name;
        int codePage;
        std::string stored;  // empty: refused
        const char* refusal;
    } cases[] = {
        {"caf\xC3\xA9.txt", 1252, "caf\xE9.txt", ""},
        {"\xE6\x97\xA5\xE6\x9C\xAC.txt", 932, "\x93\xFA\x96\x7B.txt", ""},
        {"\xE8\xA1\xA8/x.txt", 932,
         "\x95\x5C\xFF"
         "x.txt",
         ""},  // a trail byte 0x5C is no separator
        {"\xE6\x97\xA5\xE6\x9C\xAC.txt", 1252, "", "cannot be written in code page 1252"},
        {"\xC3\xBF.txt", 1252, "", "Windows does not take"},  // 0xFF, a separator to the stub
        {"a:b.txt", 1252, "", "Windows does not take"},
        {std::string(254, 'n') + "/x.txt", 1252, "", "longer than the 259 bytes"},  // 260 bytes
        {std::string(253, 'n') + "/x.txt", 1252,
         std::string(253, 'n') + "\xFF"
                                 "x.txt",
         ""},  // 259 bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        std::filesystem::path file = std::filesystem::path(scratch.file("src")) / c.name;
        std::filesystem::create_directories(file.parent_path());
        scratch.write("src/" + c.name, "data");
        PackSettings settings;
        settings.codePage = c.codePage;
        std::vector<SourceEntry> entries = {{file, c.name, false}};
        if (c.stored.empty()) {
            std::FILE* out = std::fopen(scratch.file("refused.lzh").c_str(), "wb");
            ArchivePacker packer(out, "refused.lzh", settings);
            try {
                packer.addEntry(entries[0]);
                ADD_FAILURE() << "accepted";
            } catch (const std::runtime_error& error) {
                EXPECT_NE(std::string(error.what()).find(c.name), std::string::npos) << error.what();
                EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
            }
            std::fclose(out);
            continue;
        }
        std::vector<ReadMember> members = packAndRead(scratch, entries, settings);
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(members[0].path, c.stored);
    }
}

TEST(ArchivePackerTest, SourcesAreNamedAsGivenAndNeverClimbOut) {
    ScratchDir scratch;
    std::filesystem::create_directories(scratch.file("top/in"));
    scratch.write("top/in/f", "x");
    std::vector<SourceEntry> entries = collectSources({"./top//in/"}, scratch.path(), ignoreNote);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "top/in");
    EXPECT_EQ(entries[1].name, "top/in/f");
    EXPECT_THROW(collectSources({"top/../../x"}, scratch.file("top"), ignoreNote), std::runtime_error);
    // Links to nothing and to directories inside a tree are left out, so a
    // loop of links cannot make the walk endless.
    std::filesystem::create_symlink(scratch.file("nowhere"), scratch.file("top/in/dangling"));
    std::filesystem::create_directory_symlink(scratch.file("top"), scratch.file("top/in/loop"));
    EXPECT_EQ(collectSources({"top"}, scratch.path(), ignoreNote).size(), 3u);
    EXPECT_THROW(collectSources({"missing"}, scratch.path(), ignoreNote), std::runtime_error);
}

// Members are packed by workers in any order but written in the order added:
// a tree of many small files, one whose packed bytes outgrow a worker's
// memory and spill to a temporary file, and one that does not shrink and is
// stored gives the same archive for every worker count.
TEST(ArchivePackerTest, EveryWorkerCountGivesTheSameBytes) {
    ScratchDir scratch;
    uint64_t state = 88172645463325252ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::string halfRandom(3u << 20, '\0');  // packs to about 1.5 MB
    for (char& byte : halfRandom) byte = static_cast<char>('a' + next() % 16);
    std::string random(1u << 20, '\0');
    for (char& byte : random) byte = static_cast<char>(next());
    std::filesystem::create_directories(scratch.file("src/big"));
    scratch.write("src/big/half-random.txt", halfRandom);
    scratch.write("src/big/random.bin", random);
    for (int i = 0; i < 120; ++i) {
        std::string dir = "src/d" + std::to_string(i % 7);
        std::filesystem::create_directories(scratch.file(dir));
        std::string text;
        for (uint64_t line = 0, lines = next() % 60; line < lines; ++line)
            text += "entry " + std::to_string(next() % (i + 2)) + " of file " + std::to_string(i) + "\n";
        if (i % 10 == 3) text = random.substr(static_cast<size_t>(next() % 1000), i);  // stored
        scratch.write(dir + "/f" + std::to_string(i), text);
    }
    // Access times ahead of now, which reading leaves alone, so that every
    // packing sees the same headers.
    std::vector<SourceEntry> entries = collectSources({"."}, scratch.file("src"), ignoreNote);
    for (const SourceEntry& entry : entries) {
        struct timespec times[2] = {{time(nullptr) + 86400, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, entry.path.c_str(), times, 0), 0);
    }
    PackSettings settings;
    settings.method = '7';
    std::vector<ReadMember> members = packAndRead(scratch, entries, settings);
    ASSERT_EQ(members.size(), entries.size());
    EXPECT_EQ(members[1].data, halfRandom);
    EXPECT_EQ(members[1].header.method, '7');
    EXPECT_EQ(members[2].header.method, '0');
    std::string oneWorker = scratch.read("archive.lzh");
    // The spilled bytes wait in TMPDIR and leave nothing there; where no
    // file can be made, the packing fails saying why.
    const char* tmpdir = std::getenv("TMPDIR");
    std::string savedTmpdir = tmpdir ? tmpdir : "";
    std::filesystem::create_directories(scratch.file("tmp"));
    auto packWith = [&](unsigned jobs, const std::string& folder) {
        setenv("TMPDIR", folder.c_str(), 1);
        settings.jobs = jobs;
        std::string archive = scratch.file("jobs.lzh");
        std::FILE* file = std::fopen(archive.c_str(), "w+b");
        ArchivePacker packer(file, archive, settings);
        for (const SourceEntry& entry : entries) packer.addEntry(entry);
        try {
            packer.finish();
        } catch (const std::runtime_error& error) {
            std::fclose(file);
            return std::string(error.what());
        }
        std::fclose(file);
        return std::string();
    };
    for (unsigned jobs : {2u, 5u}) {
        EXPECT_EQ(packWith(jobs, scratch.file("tmp")), "");
        EXPECT_TRUE(scratch.read("jobs.lzh") == oneWorker) << jobs << " workers";
    }
    EXPECT_TRUE(std::filesystem::is_empty(scratch.file("tmp")));
    EXPECT_EQ(packWith(2, scratch.file("missing")).rfind("no temporary file for packed bytes: ", 0), 0u);
    if (tmpdir) setenv("TMPDIR", savedTmpdir.c_str(), 1);
    else unsetenv("TMPDIR");
}

}  // namespace
