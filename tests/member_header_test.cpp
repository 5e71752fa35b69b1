#include <cstring>
#include <string>

#include "archive/member_header.h"
#include "decode/crc16.h"
#include "support/archive_maker.h"
#include "support/test_support.h"

namespace {

class MemberHeaderTest : public RunTest {
protected:
    // Opens bytes as the archive and reads one header.
    HeaderRead readFrom(const std::string& bytes) {
        scratch.write("self.exe", bytes);
        std::strcpy(run->selfPath, scratch.file("self.exe").c_str());
        std::strcpy(run->windowTitle, "Setup");
        run->archiveHandle = osOpenRead(run->selfPath);
        buildCrcTable(&d->crc, CRC16_POLYNOMIAL);
        return readMemberHeader();
    }
    void TearDown() override {
        releaseMemberHeader();
        if (run->archiveHandle != INVALID_FILE) osClose(run->archiveHandle);
        RunTest::TearDown();
    }
    std::string lastBox() const { return hostMessageBoxes().empty() ? "" : hostMessageBoxes().back().text; }
    std::string badHeader() const { return "\"" + scratch.file("self.exe") + "\" Bad header"; }
};

std::string fileTime(uint64_t unixSeconds) { return littleEndian((unixSeconds + 11644473600ull) * 10000000ull, 8); }

TEST_F(MemberHeaderTest, ReadsTheFieldsAndStopsAtTheFirstDataByte) {
    MemberSpec spec;
    spec.name = "readme.txt";
    spec.directory = "docs\xFFguide\xFF";
    spec.data = "hello";
    spec.method = '5';
    spec.unpackedSize = 1234;
    spec.timeStamp = 0x5F000000;
    spec.attribute = 0x21;
    spec.dataCrc = 0xBEEF;
    ASSERT_EQ(readFrom(level2Member(spec)), HeaderRead::read);
    const MemberHeader& header = *run->header;
    EXPECT_EQ(header.method, '5');
    EXPECT_EQ(header.packedSize, 5u);
    EXPECT_EQ(header.unpackedSize, 1234u);
    EXPECT_EQ(header.timeStamp, 0x5F000000u);
    EXPECT_EQ(header.creationTime, 0x5F000000u);
    EXPECT_EQ(header.lastAccessTime, 0x5F000000u);
    EXPECT_EQ(header.lastWriteTime, 0x5F000000u);
    EXPECT_EQ(header.attribute, 0x21);
    EXPECT_EQ(header.dataCrc, 0xBEEF);
    EXPECT_STREQ(run->memberPath, "docs/guide/readme.txt");
    char data[5];
    ASSERT_EQ(osRead(run->archiveHandle, data, 5), 5);
    EXPECT_EQ(std::string(data, 5), "hello");
    EXPECT_TRUE(hostMessageBoxes().empty());
}

TEST_F(MemberHeaderTest, MemberPathFromEverySeparatorForm) {
    struct Case {
        std::string directory;
        std::string name;
        std::string expected;
    } cases[] = {
        {"", "alone.txt", "alone.txt"},
        {"a\xFF"
         "b\xFF",
         "f", "a/b/f"},
        {"a\\b\\", "f", "a/b/f"},
        {"a/b/", "f", "a/b/f"},
        {"sub\xFF", "!", "sub/!"},
        {"subdir\xFFsubdir2", "hello.txt", "subdir/subdir2/hello.txt"},
        {"a\\b", "f", "a/b/f"},
        {std::string(200, 'd') + "\xFF", std::string(58, 'n'), std::string(200, 'd') + "/" + std::string(58, 'n')},
    };
    for (const Case& c : cases) {
        MemberSpec spec;
        spec.directory = c.directory;
        spec.name = c.name;
        ASSERT_EQ(readFrom(level2Member(spec)), HeaderRead::read) << c.expected;
        EXPECT_EQ(std::string(run->memberPath), c.expected);
        osClose(run->archiveHandle);
    }
}

TEST_F(MemberHeaderTest, TrailBytesOfDoubleByteCharactersAreNotSeparators) {
    hostSetCodePage(932);
    MemberSpec spec;
    spec.directory = "\x83\\\xFF";  // a character whose trail byte is '\'
    spec.name = "\x95\\.txt";
    ASSERT_EQ(readFrom(level2Member(spec)), HeaderRead::read);
    EXPECT_EQ(std::string(run->memberPath), "\x83\\/\x95\\.txt");
    osClose(run->archiveHandle);

    spec.directory = "\x83\\";  // no closing separator: the trail byte is none
    ASSERT_EQ(readFrom(level2Member(spec)), HeaderRead::read);
    EXPECT_EQ(std::string(run->memberPath), "\x83\\/\x95\\.txt");
}

// Sizes of 4 GiB and more cannot be unpacked with 32-bit sizes; smaller ones
// written in the 64-bit header change nothing.
TEST_F(MemberHeaderTest, SixtyFourBitSizesAreRefusedFromFourGiB) {
    struct Case {
        uint64_t packed;
        uint64_t original;
        HeaderRead expected;
    } cases[] = {
        {4, 4, HeaderRead::read},
        {0xFFFFFFFFull, 0xFFFFFFFFull, HeaderRead::read},
        {4, 0x100000000ull, HeaderRead::failed},
        {0x100000004ull, 4, HeaderRead::failed},
    };
    for (const Case& c : cases) {
        MemberSpec spec;
        spec.name = "big";
        spec.data = "data";
        spec.extended = {{0x42, littleEndian(c.packed, 8) + littleEndian(c.original, 8)}};
        EXPECT_EQ(readFrom(level2Member(spec)), c.expected) << c.packed << " " << c.original;
        EXPECT_EQ(lastBox(), c.expected == HeaderRead::read ? "" : badHeader());
        osClose(run->archiveHandle);
    }
}

TEST_F(MemberHeaderTest, WindowsFieldsOnlyFromWindowsArchivers) {
    const uint64_t created = 1000000000, written = 1100000000, accessed = 1200000000;
    for (char osId : {'W', 'w', 'M', 'U', '3'}) {
        MemberSpec spec;
        spec.name = "f";
        spec.osId = osId;
        spec.timeStamp = 7;
        spec.extended = {{0x40, littleEndian(0x0123, 2)},
                         {0x41, fileTime(created) + fileTime(written) + fileTime(accessed)}};
        ASSERT_EQ(readFrom(level2Member(spec)), HeaderRead::read);
        bool windows = osId != 'U' && osId != '3';
        EXPECT_EQ(run->header->attribute, windows ? 0x0123 : 0x20) << osId;
        EXPECT_EQ(run->header->creationTime, windows ? created : 7u) << osId;
        EXPECT_EQ(run->header->lastWriteTime, windows ? written : 7u) << osId;
        EXPECT_EQ(run->header->lastAccessTime, windows ? accessed : 7u) << osId;
        EXPECT_EQ(run->header->timeStamp, 7u);
        osClose(run->archiveHandle);
    }
}

TEST_F(MemberHeaderTest, LaterExtendedHeadersOfOneTypeWinAndUnknownOnesArePassedOver) {
    MemberSpec spec;
    spec.name = "first";
    spec.extended = {{0x55, "ignored"}, {0x01, "second"}};
    ASSERT_EQ(readFrom(level2Member(spec)), HeaderRead::read);
    EXPECT_STREQ(run->memberPath, "second");
}

TEST_F(MemberHeaderTest, TheArchiveEndsWithAZeroOrAtAHeaderBoundary) {
    for (const std::string& bytes : {std::string(), std::string(1, '\0'), std::string(2, '\0'), std::string("\x05")}) {
        EXPECT_EQ(readFrom(bytes), HeaderRead::endOfArchive);
        osClose(run->archiveHandle);
    }
    EXPECT_TRUE(hostMessageBoxes().empty());
    EXPECT_EQ(run->failureFlag, 0);
}

// Each broken header is refused before anything outside it is read.
TEST_F(MemberHeaderTest, BrokenHeadersAreBadHeaders) {
    MemberSpec plain;
    plain.name = "file.txt";
    plain.data = "data";
    const std::string good = level2Member(plain);
    auto patched = [&](size_t at, const std::string& bytes) {
        std::string out = good;
        out.replace(at, bytes.size(), bytes);
        return out;
    };
    auto with = [](auto change) {
        MemberSpec spec;
        spec.name = "file.txt";
        change(spec);
        return level2Member(spec);
    };
    // Offset 24 holds the first extended size; the CRC header comes first.
    const size_t firstSize = 24;
    const size_t nameSize = firstSize + 5;
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"method letter", patched(5, "x")},
        {"method id", patched(3, "z")},
        {"level 1", patched(20, "\x01")},
        {"level 0", patched(20, std::string(1, '\0'))},
        {"header shorter than its base", std::string("\x14\x00", 2) + good.substr(2, 18)},
        {"header cut short by the file", good.substr(0, 30)},
        {"changed byte", patched(15, "\x01")},
        {"no CRC header", with([](MemberSpec& s) { s.withCrcHeader = false; })},
        {"extended size past the header", patched(nameSize, littleEndian(0x7000, 2))},
        {"extended size 1", patched(firstSize, littleEndian(1, 2))},
        {"extended size 2", patched(firstSize, littleEndian(2, 2))},
        {"CRC header without room for the CRC", patched(firstSize, littleEndian(4, 2))},
        {"name without the file-name header", with([](MemberSpec& s) { s.withName = false; })},
        {"path longer than 259 bytes", with([](MemberSpec& s) {
             s.directory = std::string(200, 'd') + "\xFF";
             s.name = std::string(59, 'n');
         })},
        {"zero byte inside the directory", with([](MemberSpec& s) { s.directory = std::string("a\0b\xFF", 4); })},
        {"attribute header too short", with([](MemberSpec& s) {
             s.osId = 'W';
             s.extended = {{0x40, "\x01"}};
         })},
        {"64-bit size header too short", with([](MemberSpec& s) {
             s.extended = {{0x42, std::string(15, '\0')}};
         })},
        {"time header too short", with([](MemberSpec& s) {
             s.osId = 'W';
             s.extended = {{0x41, std::string(23, '\0')}};
         })},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readFrom(c.bytes), HeaderRead::failed) << c.what;
        EXPECT_EQ(lastBox(), badHeader()) << c.what;
        EXPECT_EQ(run->failureFlag, 1) << c.what;
        run->failureFlag = 0;
        osClose(run->archiveHandle);
    }
}

TEST_F(MemberHeaderTest, DirectoryEntriesMayComeWithoutAFileName) {
    MemberSpec spec;
    spec.method = 'd';
    spec.withName = false;
    spec.directory = "made\xFF";
    ASSERT_EQ(readFrom(level2Member(spec)), HeaderRead::read);
    EXPECT_STREQ(run->memberPath, "made/");
}

TEST_F(MemberHeaderTest, NegativeSizesAndFailedAllocationsAreOutOfMemory) {
    MemberSpec spec;
    spec.name = "f";
    std::string good = level2Member(spec);
    EXPECT_EQ(readFrom(std::string("\x00\x80", 2) + good.substr(2)), HeaderRead::failed);
    EXPECT_EQ(lastBox(), "Not enough memory");
    EXPECT_EQ(hostMessageBoxes().back().caption, "Setup");
    EXPECT_EQ(run->failureFlag, 1);
    osClose(run->archiveHandle);

    hostFailAllocationsAfter(0);
    EXPECT_EQ(readFrom(good), HeaderRead::failed);
    EXPECT_EQ(hostMessageBoxes().size(), 2u);
    EXPECT_EQ(lastBox(), "Not enough memory");
}

}  // namespace
