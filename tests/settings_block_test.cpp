#include <cstring>
#include <string>

#include "common/run_state.h"
#include "startup/settings_block.h"
#include "support/test_support.h"

namespace {

std::string stubWithBlock(const SettingsBlock& block, size_t keep = SETTINGS_OFFSET + SETTINGS_SIZE + 100) {
    std::string bytes(SETTINGS_OFFSET + SETTINGS_SIZE + 100, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    std::memcpy(&bytes[SETTINGS_OFFSET], &block, SETTINGS_SIZE);
    bytes.resize(keep);
    return bytes;
}

class SettingsBlockTest : public RunTest {
protected:
    void readFrom(const std::string& bytes) {
        scratch.write("self.exe", bytes);
        std::strcpy(run->selfPath, scratch.file("self.exe").c_str());
        readSettingsBlock();
    }
};

TEST_F(SettingsBlockTest, ReadsEveryField) {
    SettingsBlock block = {};
    block.archiveOffset = 0x12345;
    std::strcpy(block.windowTitle, "Tool Setup");
    std::strcpy(block.installTitle, "Install to:");
    std::strcpy(block.destDir, "%WinDir%\\Tool");
    std::strcpy(block.command, "tool.exe /first");
    block.flags = 0x0F;
    block.restoreAttributes = 0x2F;
    readFrom(stubWithBlock(block));

    EXPECT_EQ(run->settings.archiveOffset, 0x12345u);
    EXPECT_STREQ(run->windowTitle, "Tool Setup");
    EXPECT_STREQ(run->installTitle, "Install to:");
    EXPECT_STREQ(run->settings.destDir, "%WinDir%\\Tool");
    EXPECT_STREQ(run->settings.command, "tool.exe /first");
    EXPECT_EQ(run->settings.flags, 0x0F);
    EXPECT_EQ(run->settings.restoreAttributes, 0x2F);
}

TEST_F(SettingsBlockTest, EmptyTitleGetsTheDefaultCaption) {
    readFrom(stubWithBlock(SettingsBlock{}));
    EXPECT_STREQ(run->windowTitle, "Velkar V2.60.w32.0033");
    EXPECT_STREQ(run->settings.windowTitle, "Velkar V2.60.w32.0033");
    EXPECT_STREQ(run->installTitle, "");
}

TEST_F(SettingsBlockTest, MissingFileLeavesTheBlockZero) {
    std::strcpy(run->selfPath, scratch.file("absent.exe").c_str());
    readSettingsBlock();
    EXPECT_EQ(run->settings.archiveOffset, 0u);
    EXPECT_EQ(run->settings.flags, 0);
    EXPECT_STREQ(run->windowTitle, "Velkar V2.60.w32.0033");
}

TEST_F(SettingsBlockTest, BlockCutShortByTheEndOfTheFileKeepsZeros) {
    SettingsBlock block = {};
    block.archiveOffset = 777;
    std::strcpy(block.windowTitle, "Short");
    std::strcpy(block.command, "never read");
    block.flags = 0x01;
    readFrom(stubWithBlock(block, SETTINGS_OFFSET + 300));

    EXPECT_EQ(run->settings.archiveOffset, 777u);
    EXPECT_STREQ(run->windowTitle, "Short");
    EXPECT_STREQ(run->settings.command, "");
    EXPECT_EQ(run->settings.flags, 0);

    run->settings = SettingsBlock{};
    readFrom(std::string(100, 'x'));
    EXPECT_EQ(run->settings.archiveOffset, 0u) << "a file ending before the block";
}

TEST_F(SettingsBlockTest, DirectoryFromTheCommandLineReplacesTheBlocksDirectory) {
    SettingsBlock block = {};
    std::strcpy(block.destDir, "C:\\Default");
    run->dirFromCommandLine = 1;
    std::strcpy(run->commandLineDir, "D:\\Chosen");
    readFrom(stubWithBlock(block));
    EXPECT_STREQ(run->settings.destDir, "D:\\Chosen");

    run->dirFromCommandLine = 1;
    run->commandLineDir[0] = 0;
    readFrom(stubWithBlock(block));
    EXPECT_STREQ(run->settings.destDir, "");
}

TEST_F(SettingsBlockTest, TextsFillingTheirWholeFieldStayInsideIt) {
    SettingsBlock block = {};
    std::memset(block.windowTitle, 'W', sizeof(block.windowTitle));
    std::memset(block.installTitle, 'I', sizeof(block.installTitle));
    std::memset(block.destDir, 'D', sizeof(block.destDir));
    std::memset(block.command, 'C', sizeof(block.command));
    readFrom(stubWithBlock(block));

    EXPECT_EQ(std::string(run->windowTitle), std::string(40, 'W'));
    EXPECT_EQ(std::string(run->installTitle), std::string(40, 'I'));
    EXPECT_EQ(std::string(run->settings.destDir), std::string(255, 'D'));
    EXPECT_EQ(std::string(run->settings.command), std::string(257, 'C'));
}

}  // namespace
