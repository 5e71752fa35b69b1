#include <sys/stat.h>
#include <sys/time.h>

#include <cstring>
#include <string>

#include "archive/overwrite.h"
#include "archive/walk.h"
#include "support/archive_maker.h"
#include "support/test_support.h"

namespace {

const uint32_t MEMBER_TIME = 1600000000;

class OverwriteTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        MemberSpec target;
        target.name = "file.txt";
        target.data = "new";
        target.timeStamp = MEMBER_TIME;
        target.attribute = 0x21;
        MemberSpec next;
        next.name = "next.txt";
        next.data = "next";
        run->settings.archiveOffset = STAND_IN_STUB_SIZE;
        writeArchive(level2Member(target) + level2Member(next) + std::string(1, '\0'));
        std::strcpy(run->windowTitle, "Setup");
        ::mkdir(scratch.file("out").c_str(), 0755);
        std::strcpy(run->extractDir, scratch.file("out").c_str());
    }
    void writeArchive(const std::string& archive) {
        std::strcpy(run->selfPath, writeStandInSelf(scratch, run->settings, archive).c_str());
    }
    void existing(const std::string& text, int64_t ageSeconds) {
        scratch.write("out/file.txt", text);
        struct timeval times[2];
        times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(MEMBER_TIME + ageSeconds);
        times[0].tv_usec = times[1].tv_usec = 0;
        ::utimes(scratch.file("out/file.txt").c_str(), times);
    }
    std::string question() const { return "\"" + scratch.file("out/file.txt") + "\" Overwrite?"; }
};

// ageSeconds: the existing file's time relative to the member's.
TEST_F(OverwriteTest, DecisionTable) {
    struct Case {
        const char* what;
        int keepNewer;
        int overwrite;
        int64_t ageSeconds;
        int answer;  // 0: no question expected
        const char* content;
        int walkResult;
        bool nextWritten;
    } cases[] = {
        {"same second, keep newer", 1, 0, 0, 0, "old", 1, true},
        {"newer, keep newer, overwrite", 1, 1, 60, 0, "old", 1, true},
        {"older, overwrite without asking", 1, 1, -60, 0, "new", 1, true},
        {"older, asked, Yes", 1, 0, -60, IDYES, "new", 1, true},
        {"older, asked, No", 1, 0, -60, IDNO, "old", 1, true},
        {"older, asked, Cancel", 1, 0, -60, IDCANCEL, "old", 0, false},
        {"newer, keep newer off, overwrite", 0, 1, 60, 0, "new", 1, true},
        {"newer, keep newer off, asked", 0, 0, 60, IDYES, "new", 1, true},
    };
    for (const Case& c : cases) {
        hostReset();
        scratch.write("out/next.txt", "");
        ::unlink(scratch.file("out/next.txt").c_str());
        existing("old", c.ageSeconds);
        run->keepNewerFiles = c.keepNewer;
        run->overwriteWithoutAsking = c.overwrite;
        if (c.answer) hostQueueAnswers({c.answer});
        EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), c.walkResult) << c.what;
        EXPECT_EQ(scratch.read("out/file.txt"), c.content) << c.what;
        EXPECT_EQ(scratch.exists("out/next.txt"), c.nextWritten) << c.what;
        if (c.answer) {
            ASSERT_EQ(hostMessageBoxes().size(), 1u) << c.what;
            EXPECT_EQ(hostMessageBoxes()[0].text, question());
            EXPECT_EQ(hostMessageBoxes()[0].style, MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
        } else {
            EXPECT_TRUE(hostMessageBoxes().empty()) << c.what;
        }
        EXPECT_EQ(hostBroadcastCount(), 1) << "finishing actions run after a Cancel too: " << c.what;
    }
}

// Win32s keeps local time in its file system: the member's UTC times move by
// the "TZ" hours before they are compared and set.
TEST_F(OverwriteTest, OnWin32sMemberTimesFollowTheTimeZone) {
    isWin32s = 1;
    hostSetEnv("TZ", "JST-9");
    run->overwriteWithoutAsking = 1;
    existing("old", 60);  // newer than the member in UTC, older in Tokyo
    EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    EXPECT_EQ(scratch.read("out/file.txt"), "new");
    struct stat info;
    ASSERT_EQ(::stat(scratch.file("out/file.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, MEMBER_TIME + 9 * 3600);
}

TEST_F(OverwriteTest, ReadOnlyFilesAreReplacedOnlyWhenAttributesAreRestored) {
    run->keepNewerFiles = 0;
    run->overwriteWithoutAsking = 1;
    existing("old", 0);
    ::chmod(scratch.file("out/file.txt").c_str(), 0444);
    EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 0);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + scratch.file("out/file.txt") + "\" Open ERROR");
    EXPECT_EQ(scratch.read("out/file.txt"), "old");
    EXPECT_FALSE(scratch.exists("out/next.txt"));

    run->settings.restoreAttributes = 1;
    EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    EXPECT_EQ(scratch.read("out/file.txt"), "new");
    EXPECT_EQ(osFileAttributes(scratch.file("out/file.txt").c_str()), 0x21u)
        << "the member's attribute, read-only again";
}

TEST_F(OverwriteTest, AnExistingDirectoryIsNeitherChangedNorReplaced) {
    run->keepNewerFiles = 0;
    run->overwriteWithoutAsking = 1;
    run->settings.restoreAttributes = 1;
    ::mkdir(scratch.file("out/file.txt").c_str(), 0555);
    EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 0);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + scratch.file("out/file.txt") + "\" Open ERROR");
    EXPECT_EQ(osFileAttributes(scratch.file("out/file.txt").c_str()), ATTRIBUTE_DIRECTORY | ATTRIBUTE_READONLY);
}

TEST_F(OverwriteTest, UnreadableFilesCountAsNewest) {
    EXPECT_EQ(existingFileTime(scratch.file("out/missing").c_str()), 0xFFFFFFFFu);
    existing("x", -5);
    EXPECT_EQ(existingFileTime(scratch.file("out/file.txt").c_str()), MEMBER_TIME - 5);
}

TEST_F(OverwriteTest, WrittenFilesGetAllThreeTimes) {
    MemberSpec spec;
    spec.name = "timed.txt";
    spec.osId = 'W';
    auto fileTime = [](uint64_t seconds) { return littleEndian((seconds + 11644473600ull) * 10000000ull, 8); };
    spec.extended = {{0x41, fileTime(1000000000) + fileTime(1100000000) + fileTime(1200000000)}};
    writeArchive(level2Member(spec));
    ASSERT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    const HostFileTimes& times = hostLastFileTimes();
    auto seconds = [](const FileTime& t) { return ((uint64_t(t.high) << 32 | t.low) / 10000000ull) - 11644473600ull; };
    EXPECT_EQ(seconds(times.creation), 1000000000u);
    EXPECT_EQ(seconds(times.lastWrite), 1100000000u);
    EXPECT_EQ(seconds(times.lastAccess), 1200000000u);
    struct stat info;
    ASSERT_EQ(::stat(scratch.file("out/timed.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1100000000);
    EXPECT_EQ(info.st_atime, 1200000000);
}

}  // namespace
