#include <string>
#include <vector>

#include "startup/command_line.h"
#include "support/test_support.h"

namespace {

class CommandLineTest : public RunTest {
protected:
    std::vector<std::string> split(const char* tail) {
        TokenList list = splitCommandLine(tail);
        std::vector<std::string> tokens(list.tokens, list.tokens + list.count);
        releaseTokens(&list);
        return tokens;
    }

    // Examines the tail and settles the flags as start-up does.
    void settle(const char* tail, unsigned char flags) {
        TokenList list = splitCommandLine(tail);
        CommandOptions options = {OptionState::none, OptionState::none};
        examineTokens(&list, &options);
        releaseTokens(&list);
        resolveRunFlags(&options, flags);
    }
};

TEST_F(CommandLineTest, SplitsTokensAndDropsQuotes) {
    struct Case {
        const char* tail;
        std::vector<std::string> tokens;
    } cases[] = {
        {"", {}},
        {" \t\r\n", {}},
        {"-n D:\\Apps", {"-n", "D:\\Apps"}},
        {"-n \"C:\\Program Files\\Tool\"", {"-n", "C:\\Program Files\\Tool"}},
        {"-n \"\"", {"-n", ""}},
        {"a\"b c\"d e", {"ab cd", "e"}},
        {"\"a\tb\" c", {"a", "b c"}},
        {"x\x01y", {"x", "y"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"\xE9t\xE9 -c", {"\xE9t\xE9", "-c"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split(c.tail), c.tokens) << c.tail;
}

TEST_F(CommandLineTest, DropsTokensBeyondTheListAndSurvivesFailedAllocations) {
    std::string tail;
    for (int i = 0; i < 1030; ++i) tail += "-x ";
    EXPECT_EQ(split(tail.c_str()).size(), MAX_TOKENS);

    hostFailAllocationsAfter(0);
    EXPECT_TRUE(split("-n D:\\Apps").empty());
    hostFailAllocationsAfter(2);
    EXPECT_EQ(split("-n D:\\Apps -c"), std::vector<std::string>{"-n"});
}

TEST_F(CommandLineTest, SkipsTheProgramName) {
    struct Case {
        const char* commandLine;
        const char* tail;
    } cases[] = {
        {"velkar.exe -n D:\\x", "-n D:\\x"},
        {"\"C:\\My Files\\velkar.exe\"   -n", "-n"},
        {"\"C:\\My Files\\velkar.exe\"-n", "-n"},
        {"velkar.exe", ""},
        {"\"unclosed", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(skipProgramName(c.commandLine), c.tail) << c.commandLine;
}

TEST_F(CommandLineTest, OptionsAndSettingsBitsSettleTheRunFlags) {
    struct Case {
        const char* tail;
        unsigned char flags;
        int autoStart, keepNewer, overwrite;
    } cases[] = {
        {"", 0x00, 0, 1, 0},
        {"", 0x01, 1, 1, 0},
        {"", 0x02, 0, 1, 1},
        {"", 0x08, 0, 0, 0},
        {"", 0x30, 0, 1, 0},
        {"-n", 0x00, 1, 1, 0},
        {"-N", 0x00, 1, 1, 0},
        {"-nx", 0x00, 1, 1, 0},
        {"-n-", 0x01, 0, 1, 0},
        {"-n -n-", 0x00, 0, 1, 0},
        {"-n- -n", 0x00, 1, 1, 0},
        {"-c", 0x00, 0, 0, 0},
        {"-C", 0x00, 0, 0, 0},
        {"-c-", 0x00, 0, 1, 0},
        {"-c-x", 0x00, 0, 1, 0},
        {"-c-", 0x08, 0, 0, 0},
        {"-c -c-", 0x00, 0, 1, 0},
        {"- -q -", 0x01, 1, 1, 0},
        {"-n D:\\Apps -c", 0x00, 1, 1, 0},
        {"D:\\Apps -n", 0x00, 0, 1, 0},
    };
    for (const Case& c : cases) {
        settle(c.tail, c.flags);
        EXPECT_EQ(run->autoStart, c.autoStart) << c.tail << " flags " << int(c.flags);
        EXPECT_EQ(run->keepNewerFiles, c.keepNewer) << c.tail << " flags " << int(c.flags);
        EXPECT_EQ(run->overwriteWithoutAsking, c.overwrite) << c.tail << " flags " << int(c.flags);
        EXPECT_EQ(run->askBeforeClass, 0);
    }
}

TEST_F(CommandLineTest, TheFirstNonOptionTokenNamesTheDirectory) {
    struct Case {
        const char* tail;
        int named;
        const char* directory;
    } cases[] = {
        {"-n D:\\Apps", 1, "D:\\Apps"},
        {"D:\\Apps", 1, "D:\\Apps"},
        {"x D:\\Apps", 1, "x"},
        {"-n \"\"", 1, ""},
        {"-n \"C:\\Program Files\\Tool\"", 1, "C:\\Program Files\\Tool"},
        {"-n -c", 0, ""},
    };
    for (const Case& c : cases) {
        run->dirFromCommandLine = 0;
        run->commandLineDir[0] = 0;
        settle(c.tail, 0);
        EXPECT_EQ(run->dirFromCommandLine, c.named) << c.tail;
        EXPECT_STREQ(run->commandLineDir, c.directory) << c.tail;
    }
}

TEST_F(CommandLineTest, RefusesADirectoryTooLongForTheDestinationField) {
    std::string fits(255, 'd');
    settle(("-n " + fits).c_str(), 0);
    EXPECT_EQ(run->dirFromCommandLine, 1);
    EXPECT_EQ(std::string(run->commandLineDir), fits);

    run->dirFromCommandLine = 0;
    run->commandLineDir[0] = 0;
    std::string tooLong(256, 'd');
    settle(("-n " + tooLong + " -n-").c_str(), 0);
    EXPECT_EQ(run->dirFromCommandLine, 0);
    EXPECT_STREQ(run->commandLineDir, "");
    EXPECT_EQ(run->autoStart, 1) << "the examination still ends at the directory";
    EXPECT_EQ(run->dirTooLong, 1) << "so the dialog waits for OK";
}

}  // namespace
