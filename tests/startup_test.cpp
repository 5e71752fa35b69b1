#include <cstring>
#include <string>

#include "archive/walk.h"
#include "startup/entry.h"
#include "support/test_support.h"

namespace {

class StartupTest : public RunTest {
protected:
    std::string makeSelf(const SettingsBlock& block, const std::string& archive) {
        return writeStandInSelf(scratch, block, archive);
    }
};

TEST_F(StartupTest, WithoutMemoryForTheRunStateItSaysSoAndEndsWithZero) {
    releaseRun();
    hostFailAllocationsAfter(0);
    EXPECT_EQ(stubExitStatus(velkarMain("-n")), 0);
    ASSERT_EQ(hostMessageBoxes().size(), 1u);
    const HostMessageBox& box = hostMessageBoxes()[0];
    EXPECT_EQ(box.text, "Not enough memory");
    EXPECT_EQ(box.caption, "Velkar V2.60.w32.0033");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.style, unsigned(MB_OK | MB_ICONHAND | MB_TASKMODAL));
}

TEST_F(StartupTest, StartRunSettlesPathSettingsAndFlags) {
    SettingsBlock block = {};
    std::strcpy(block.windowTitle, "Setup");
    std::strcpy(block.destDir, "C:\\Default");
    block.flags = FLAG_AUTO_START | FLAG_NO_KEEP_NEWER;
    std::string self = makeSelf(block, "");
    hostSetPlatformId(0);

    startRun("-n- -c- \"D:\\My Apps\"");
    EXPECT_STREQ(run->selfPath, self.c_str());
    EXPECT_STREQ(run->windowTitle, "Setup");
    EXPECT_STREQ(run->settings.destDir, "D:\\My Apps");
    EXPECT_EQ(run->dirFromCommandLine, 1);
    EXPECT_EQ(run->autoStart, 0);
    EXPECT_EQ(run->keepNewerFiles, 0);
}

TEST_F(StartupTest, PlatformZeroIsWin32s) {
    releaseRun();
    makeSelf(SettingsBlock{}, "");
    hostSetPlatformId(0);
    velkarMain("");
    EXPECT_EQ(isWin32s, 1);
    hostSetPlatformId(2);
    velkarMain("");
    EXPECT_EQ(isWin32s, 0);
    EXPECT_EQ(run, nullptr) << "the run state is released at the end";
}

TEST_F(StartupTest, EmptyDestinationBecomesTheCurrentDirectory) {
    hostSetCurrentDirectory("C:\\Work");
    settleDestination();
    EXPECT_STREQ(run->settings.destDir, "C:\\Work");

    std::strcpy(run->settings.destDir, "D:/Apps/Tool");
    settleDestination();
    EXPECT_STREQ(run->settings.destDir, "D:\\Apps\\Tool");

    std::strcpy(run->settings.destDir, "%Search%\\x");
    settleDestination();
    EXPECT_STREQ(run->settings.destDir, "%Search%\\x") << "start-up passes no search name";

    run->settings.destDir[0] = 0;
    hostSetCurrentDirectory(std::string(300, 'c'));
    settleDestination();
    EXPECT_STREQ(run->settings.destDir, "");
}

TEST_F(StartupTest, WalkStartReportsFailuresOnTheProgramsOwnFile) {
    std::strcpy(run->windowTitle, "Setup");
    std::strcpy(run->selfPath, scratch.file("missing.exe").c_str());
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 0);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + scratch.file("missing.exe") + "\" Open ERROR");

    SettingsBlock block = {};
    std::string self = makeSelf(block, "archive");
    std::strcpy(run->selfPath, self.c_str());
    run->settings.archiveOffset = STAND_IN_STUB_SIZE + 8;
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 0);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + self + "\" Unexpeted EOF");
    EXPECT_EQ(hostMessageBoxes().back().owner, nullptr);

    run->settings.archiveOffset = 0x80000000u;
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 0);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + self + "\" Read ERROR");
    EXPECT_EQ(run->failureFlag, 1);
    EXPECT_EQ(run->archiveHandle, INVALID_FILE) << "the file is closed on the early returns";
}

TEST_F(StartupTest, WalkReadsTheTamperValueAtTheArchiveOffset) {
    SettingsBlock block = {};
    std::string self = makeSelf(block, std::string("\x34\x12", 2));
    std::strcpy(run->selfPath, self.c_str());
    run->settings.archiveOffset = STAND_IN_STUB_SIZE;
    run->settings.flags = FLAG_TAMPER_CHECK;
    walkArchive(nullptr, WalkPass::scan);
    EXPECT_EQ(run->tamperValue, 0x1234);
    EXPECT_EQ(run->archiveSize, 1202u);
    EXPECT_EQ(d->crc.table[1], 0xC0C1) << "the CRC table is built at the start of every walk";
}

}  // namespace
