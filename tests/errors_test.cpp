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
    showError(FailureKind::crcError, subject.c_str());
    EXPECT_EQ(hostMessageBoxes().back().text.size(), sizeof(run->messageText) - 1);
}

// Each way a decoding can stop has its text, or none for Cancel, and every
// one of them ends the run.
TEST_F(ErrorsTest, DecodeFailuresAreShownOnceAndEndTheRun) {
    struct Case {
        DecodeFailure failure;
        const char* text;  // "" when nothing is shown
    } cases[] = {
        {DECODE_READ_FAILED, "\"C:\\dl\\setup.exe\" Read ERROR"},
        {DECODE_WRITE_FAILED, "\"C:\\out\\a.txt\" Write ERROR"},
        {DECODE_BAD_TABLE, "\"C:\\dl\\setup.exe\" Bad table"},
        {DECODE_CANCELLED, ""},
    };
    for (const Case& c : cases) {
        hostReset();
        run->failureFlag = 0;
        run->outcome.aborted = 0;
        d->failure = c.failure;
        EXPECT_EQ(reportDecodeFailure(), 0);
        EXPECT_EQ(run->failureFlag, 1);
        EXPECT_EQ(run->outcome.aborted, 1);
        if (*c.text) {
            ASSERT_EQ(hostMessageBoxes().size(), 1u);
            EXPECT_EQ(hostMessageBoxes()[0].text, c.text);
        } else {
            EXPECT_TRUE(hostMessageBoxes().empty());
        }
    }
    hostReset();
    run->failureFlag = 0;
    run->outcome.aborted = 0;
    d->failure = DECODE_OK;
    EXPECT_EQ(reportDecodeFailure(), 1);
    EXPECT_EQ(run->failureFlag + run->outcome.aborted, 0);
    EXPECT_TRUE(hostMessageBoxes().empty());
}

}  // namespace
