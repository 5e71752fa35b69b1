#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "common/run_state.h"
#include "support/archive_maker.h"
#include "tools/velkar_build/builder.h"

namespace {

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes bareStub() {
    Bytes stub(0x800, 0);
    stub[0] = 'M';
    stub[1] = 'Z';
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
    return level2Member(first) + level2Member(second) + std::string(1, '\0');
}

TEST(BuilderTest, WritesTheSettingsBlockAndAppendsTheArchive) {
    BuildOptions options;
    options.title = "Tool Setup";
    options.installTitle = "Install to:";
    options.dir = "%WinDir%\\Tool";
    options.command = "tool.exe";
    options.flags = FLAG_AUTO_START | FLAG_NO_KEEP_NEWER;
    options.restoreAttributes = true;
    Bytes archive = bytesOf(twoMembers());
    Bytes result = buildSelfExtractor(bareStub(), archive, options);

    ASSERT_EQ(result.size(), 0x800 + archive.size());
    SettingsBlock block;
    std::memcpy(&block, &result[SETTINGS_OFFSET], SETTINGS_SIZE);
    EXPECT_EQ(block.archiveOffset, 0x800u);
    EXPECT_STREQ(block.windowTitle, "Tool Setup");
    EXPECT_STREQ(block.installTitle, "Install to:");
    EXPECT_STREQ(block.destDir, "%WinDir%\\Tool");
    EXPECT_STREQ(block.command, "tool.exe");
    EXPECT_EQ(block.flags, FLAG_AUTO_START | FLAG_NO_KEEP_NEWER);
    EXPECT_EQ(block.restoreAttributes, '/');
    EXPECT_TRUE(std::equal(archive.begin(), archive.end(), result.begin() + 0x800));
}

TEST(BuilderTest, TamperValueIsTheXorOfTheDataCrcs) {
    BuildOptions options;
    options.flags = FLAG_TAMPER_CHECK;
    Bytes archive = bytesOf(twoMembers());
    Bytes result = buildSelfExtractor(bareStub(), archive, options);
    uint16_t expected = referenceCrc16("hello") ^ referenceCrc16(std::string(300, 'b'));
    ASSERT_EQ(result.size(), 0x800 + 2 + archive.size());
    EXPECT_EQ(result[0x800] | (result[0x801] << 8), expected);
    EXPECT_EQ(checkArchive(archive), expected);
}

TEST(BuilderTest, RefusesWhatTheStubCouldNotRead) {
    MemberSpec levelOne;
    levelOne.name = "a";
    levelOne.data = "x";
    levelOne.level = 1;
    std::string good = twoMembers();
    struct Case {
        std::string archive;
        const char* message;
    } cases[] = {
        {level2Member(levelOne), "member 1 has a level-1 header"},
        {good.substr(0, good.size() - 40), "member 2 is cut short"},
        {std::string("\x10\x00", 2) + std::string(30, '\0'), "member 1 has a level-0 header"},
    };
    for (const Case& c : cases) {
        try {
            checkArchive(bytesOf(c.archive));
            ADD_FAILURE() << c.message;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(checkArchive(Bytes{}), 0) << "an empty archive is accepted";
}

TEST(BuilderTest, RefusesTextsTooLongAndStubsThatAreNotBare) {
    BuildOptions options;
    options.title = std::string(40, 't');
    EXPECT_NO_THROW(buildSelfExtractor(bareStub(), {}, options));
    options.title = std::string(41, 't');
    EXPECT_THROW(buildSelfExtractor(bareStub(), {}, options), std::runtime_error);

    Bytes used = bareStub();
    used[SETTINGS_OFFSET + 10] = 'x';
    EXPECT_THROW(buildSelfExtractor(used, {}, BuildOptions{}), std::runtime_error);
    EXPECT_THROW(buildSelfExtractor(Bytes(100, 0), {}, BuildOptions{}), std::runtime_error);
}

}  // namespace
