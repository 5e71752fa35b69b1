#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "common/byte_order.h"
#include "common/run_state.h"
#include "devtools/stub_layout/dos_part.h"
#include "support/archive_maker.h"
#include "support/test_support.h"
#include "tools/velkar_build/builder.h"

namespace {

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

const uint32_t STUB_SIZE = 0x800;
const uint32_t SECTION_TABLE = PE_HEADER_OFFSET + 24;

// A stand-in for velkar.exe: the marker, a PE header at 0x4D0 and one
// section whose data end exactly at the end of the file.
Bytes bareStub() {
    Bytes stub(STUB_SIZE, 0);
    stub[0] = 'M';
    stub[1] = 'Z';
    std::memcpy(&stub[STUB_MARKER_OFFSET], STUB_MARKER, STUB_MARKER_SIZE);
    writeLittle32(&stub[0x3C], PE_HEADER_OFFSET);
    std::memcpy(&stub[PE_HEADER_OFFSET], "PE\0\0", 4);
    writeLittle16(&stub[PE_HEADER_OFFSET + 6], 1);
    writeLittle32(&stub[SECTION_TABLE + 16], 0x200);
    writeLittle32(&stub[SECTION_TABLE + 20], STUB_SIZE - 0x200);
    return stub;
}

std::string twoMembers() {
    MemberSpec first;
    first.name = "a.txt";
    first.data = "hello";
    MemberSpec second;
    second.name = "b.bin";
    second.directory = "sub\xFF";
    second.data = std::string(300, 'b');
    return level2Member(first) + level2Member(second);
}

TEST(BuilderTest, WritesTheSettingsBlockAndAppendsTheArchiveWithATwoByteEnd) {
    BuildOptions options;
    options.title = "Tool Setup";
    options.installTitle = "Install to:";
    options.dir = "%WinDir%\\Tool";
    options.command = "tool.exe";
    options.flags = FLAG_AUTO_START | FLAG_NO_KEEP_NEWER;
    options.restoreAttributes = true;
    Bytes members = bytesOf(twoMembers());
    Bytes archive = members;
    archive.push_back(0);
    Bytes result = buildSelfExtractor(bareStub(), archive, options);

    ASSERT_EQ(result.size(), STUB_SIZE + members.size() + 2);
    SettingsBlock block;
    std::memcpy(&block, &result[SETTINGS_OFFSET], SETTINGS_SIZE);
    EXPECT_EQ(block.archiveOffset, STUB_SIZE);
    EXPECT_STREQ(block.windowTitle, "Tool Setup");
    EXPECT_STREQ(block.installTitle, "Install to:");
    EXPECT_STREQ(block.destDir, "%WinDir%\\Tool");
    EXPECT_STREQ(block.command, "tool.exe");
    EXPECT_EQ(block.flags, FLAG_AUTO_START | FLAG_NO_KEEP_NEWER);
    EXPECT_EQ(block.restoreAttributes, '/');
    EXPECT_TRUE(std::equal(members.begin(), members.end(), result.begin() + STUB_SIZE));
    EXPECT_EQ(result[result.size() - 2], 0);
    EXPECT_EQ(result[result.size() - 1], 0);
}

TEST(BuilderTest, TamperValueIsTheXorOfTheDataCrcs) {
    BuildOptions options;
    options.flags = FLAG_TAMPER_CHECK;
    Bytes archive = bytesOf(twoMembers());
    Bytes result = buildSelfExtractor(bareStub(), archive, options);
    uint16_t expected = referenceCrc16("hello") ^ referenceCrc16(std::string(300, 'b'));
    ASSERT_EQ(result.size(), STUB_SIZE + 2 + archive.size() + 2);
    EXPECT_EQ(result[STUB_SIZE] | (result[STUB_SIZE + 1] << 8), expected);
    EXPECT_EQ(checkArchive(archive).crcXor, expected);
}

// How an archive made elsewhere ends: at a header boundary with no marker,
// with one zero byte, with two, or with one zero byte and data behind it,
// which the stub would read as a header and which is left out.
TEST(BuilderTest, ReadsTheArchivesEndAsTheStubDoes) {
    std::string members = twoMembers();
    struct Case {
        std::string tail;
        bool noted;
    } cases[] = {
        {"", false},
        {std::string(1, '\0'), false},
        {std::string(2, '\0'), false},
        {std::string("\0\x01trailing signature", 20), true},
    };
    for (const Case& c : cases) {
        ArchiveScan scan = checkArchive(bytesOf(members + c.tail));
        EXPECT_EQ(scan.members, 2u);
        EXPECT_EQ(scan.length, members.size());
        EXPECT_EQ(!scan.note.empty(), c.noted) << scan.note;
    }
}

TEST(BuilderTest, RefusesWhatTheStubCouldNotReadAndSaysWhy) {
    MemberSpec levelOne;
    levelOne.name = "a";
    levelOne.data = "x";
    levelOne.level = 1;
    std::string good = twoMembers();
    auto with = [](void (*change)(MemberSpec&)) {
        MemberSpec spec = storedMember("x.txt", "data");
        change(spec);
        return level2Member(spec);
    };
    std::string badHeaderCrc = level2Member(storedMember("x.txt", "data"));
    badHeaderCrc[TIME_STAMP_POS] ^= 1;
    std::string lzs = with([](MemberSpec& spec) { spec.method = '1'; });
    lzs.replace(METHOD_ID_POS, METHOD_ID_SIZE, "-lzs-");
    struct Case {
        std::string archive;
        const char* message;
    } cases[] = {
        {level2Member(levelOne), "member 1 has a level-1 header"},
        {good.substr(0, good.size() - 40), "member 2 \"sub/b.bin\" is cut short"},
        {badHeaderCrc, "member 1 \"x.txt\" has a damaged header: its CRC is wrong"},
        {with([](MemberSpec& spec) { spec.method = '1'; }), "method -lh1-, which Velkar does not unpack"},
        {lzs, "method -lzs-, which Velkar does not unpack"},
        // A whole header with a right CRC names its method, whatever its bytes.
        {with([](MemberSpec& spec) { spec.methodId = std::string("\0lh5-", 5); }),
         "member 1 is packed with method \\x00lh5-, which Velkar does not unpack"},
        {good + with([](MemberSpec& spec) { spec.methodId = std::string("-lh\0-", 5); }),
         "member 3 is packed with method -lh\\x00-, which"},
        {with([](MemberSpec& spec) { spec.name = "bell\a.txt"; }), "\"bell\\x07.txt\" has a name with a control byte"},
        {with([](MemberSpec& spec) { spec.name = "Com1.log"; }), "\"Com1.log\" is a device name on Windows"},
        {with([](MemberSpec& spec) { spec.name = "notes. "; }), "\"notes. \" ends in a dot or a blank"},
        {with([](MemberSpec& spec) { spec.unpackedSize = 400; }), "its original size differs from its stored data"},
        {with([](MemberSpec& spec) { spec.method = 'd'; }), "a directory entry that carries data"},
        {good.substr(0, good.size() - 310), "member 2 has a damaged header"},
        {std::string("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10) + std::string(40, 'z'), "is not an LZH archive"},
        {std::string("\x10\x00", 2) + std::string(30, '\0'), "is not an LZH archive"},
        {"", "holds no members"},
        {std::string(2, '\0'), "holds no members"},
    };
    for (const Case& c : cases)
        EXPECT_NE(errorOf([&] { checkArchive(bytesOf(c.archive)); }).find(c.message), std::string::npos) << c.message;
}

TEST(BuilderTest, AcceptsOnlyAWholeBareVelkarStub) {
    Bytes otherProgram = bareStub();
    std::memset(&otherProgram[STUB_MARKER_OFFSET], 0, STUB_MARKER_SIZE);
    Bytes truncated = bareStub();
    truncated.resize(STUB_SIZE - 1);
    Bytes sectionsOutside = bareStub();
    writeLittle16(&sectionsOutside[PE_HEADER_OFFSET + 6], 40);
    Bytes noPeHeader = bareStub();
    writeLittle32(&noPeHeader[0x3C], STUB_SIZE - 2);
    Bytes used = bareStub();
    used[SETTINGS_OFFSET + 10] = 'x';
    struct Case {
        Bytes stub;
        const char* message;
    } cases[] = {
        {otherProgram, "is not a Velkar stub"},          {Bytes(100, 0), "is not a Velkar stub"},
        {truncated, "a section lies outside the file"},  {sectionsOutside, "section table lies outside the file"},
        {noPeHeader, "PE header lies outside the file"}, {used, "already carries settings"},
    };
    for (const Case& c : cases)
        EXPECT_NE(errorOf([&] { checkStub(c.stub); }).find(c.message), std::string::npos) << c.message;
    EXPECT_NO_THROW(checkStub(bareStub()));
}

TEST(BuilderTest, RefusesTextsTooLongForTheirFields) {
    BuildOptions options;
    options.title = std::string(40, 't');
    EXPECT_NO_THROW(stubWithSettings(bareStub(), options));
    options.title = std::string(41, 't');
    EXPECT_EQ(errorOf([&] { stubWithSettings(bareStub(), options); }), "the title is longer than 40 bytes");
    options.title.clear();
    options.command = std::string(258, 'c');
    EXPECT_EQ(errorOf([&] { stubWithSettings(bareStub(), options); }), "the command is longer than 257 bytes");
}

}  // namespace
