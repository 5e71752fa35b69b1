#include <cstring>

#include "archive/errors.h"
#include "support/test_support.h"

namespace {

class ErrorsTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        std::strcpy(run->windowTitle, "Setup");
        std::strcpy(run->selfPath, "C:\\dl\\setup.exe");
        std::strcpy(run->outputPath, "C:\\out\\a.txt");
    }
};

TEST_F(ErrorsTest, ReportsQuoteTheSubjectAndSetTheFailureFlag) {
    struct Case {
        int (*report)();
        const char* text;
    } cases[] = {
        {reportReadError, "\"C:\\dl\\setup.exe\" Read ERROR"},
        {reportEarlyEnd, "\"C:\\dl\\setup.exe\" Unexpeted EOF"},
        {reportBadHeader, "\"C:\\dl\\setup.exe\" Bad header"},
        {[] { return reportOpenError(run->outputPath); }, "\"C:\\out\\a.txt\" Open ERROR"},
    };
    run->dialogWindow = reinterpret_cast<WindowHandle>(0x1234);
    for (const Case& c : cases) {
        run->failureFlag = 0;
        EXPECT_EQ(c.report(), 0);
        EXPECT_EQ(run->failureFlag, 1);
        const HostMessageBox& box = hostMessageBoxes().back();
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, "Setup");
        EXPECT_EQ(box.style, unsigned(MB_OK | MB_ICONHAND | MB_TASKMODAL));
        EXPECT_EQ(box.owner, run->dialogWindow);
    }
    showNotEnoughMemory();
    EXPECT_EQ(hostMessageBoxes().back().text, "Not enough memory");
}

TEST_F(ErrorsTest, LongSubjectIsCutToTheMessageBuffer) {
    std::memset(run->outputPath, 'p', sizeof(run->outputPath) - 1);
    std::memset(run->selfPath, 's', sizeof(run->selfPath) - 1);
    std::string subject(1100, 'x');
    showError("CRC ERROR", subject.c_str());
    EXPECT_EQ(hostMessageBoxes().back().text.size(), sizeof(run->messageText) - 1);
}

TEST_F(ErrorsTest, FatalExitDeletesThePartialOutputAndClosesTheArchive) {
    scratch.write("partial.bin", "half");
    scratch.write("archive.exe", "archive");
    std::strcpy(run->outputPath, scratch.file("partial.bin").c_str());
    run->outputHandle = osCreateOutput(run->outputPath);
    run->archiveHandle = osOpenRead(scratch.file("archive.exe").c_str());
    ASSERT_NE(run->outputHandle, INVALID_FILE);

    EXPECT_EQ(exitStatusOf([] { fatalExit(1); }), 1);
    EXPECT_FALSE(scratch.exists("partial.bin"));
    EXPECT_TRUE(scratch.exists("archive.exe"));
    EXPECT_EQ(run->outputHandle, INVALID_FILE);
    EXPECT_EQ(run->archiveHandle, INVALID_FILE);
    EXPECT_TRUE(hostMessageBoxes().empty());
}

TEST_F(ErrorsTest, FatalExitWithTheMemorySinkDeletesNothing) {
    scratch.write("a.txt", "kept");
    std::strcpy(run->outputPath, scratch.file("a.txt").c_str());
    for (FileHandle unset : {FileHandle(0), INVALID_FILE}) {
        run->outputHandle = unset;
        run->archiveHandle = unset;
        EXPECT_EQ(exitStatusOf([] { fatalExit(1); }), 1);
        EXPECT_TRUE(scratch.exists("a.txt"));
    }
}

}  // namespace
