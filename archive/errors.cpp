#include "archive/errors.h"

#include "common/text_ops.h"
#include "decode/decoder_state.h"
#include "platform/platform.h"

// By FailureKind.
static const char* const failureMessages[] = {
    "",          "Not enough memory", "Read ERROR",  "Unexpeted EOF", "Bad header", "Open ERROR", "Write ERROR",
    "Bad table", "CRC ERROR",         "Close ERROR", "Tampered DATA",
};
static_assert(sizeof(failureMessages) / sizeof(failureMessages[0]) == static_cast<unsigned>(FailureKind::tampered) + 1,
              "a message for every failure");

static void countFailure(FailureKind kind) {
    if (run->outcome.failures++ == 0) run->outcome.firstFailure = kind;
}

void showError(FailureKind kind, const char* subject) {
    countFailure(kind);
    formatText(run->messageText, sizeof(run->messageText), "\"%s\" %s", subject,
               failureMessages[static_cast<unsigned>(kind)]);
    osMessageBox(run->dialogWindow, run->messageText, run->windowTitle, MB_OK | MB_ICONHAND | MB_TASKMODAL);
}

void showNotEnoughMemory() {
    countFailure(FailureKind::notEnoughMemory);
    osMessageBox(run->dialogWindow, "Not enough memory", run->windowTitle, MB_OK | MB_ICONHAND | MB_TASKMODAL);
}

static int reportFailure(FailureKind kind, const char* subject) {
    showError(kind, subject);
    run->failureFlag = 1;
    return 0;
}

int reportReadError() { return reportFailure(FailureKind::readError, run->selfPath); }
int reportEarlyEnd() { return reportFailure(FailureKind::earlyEnd, run->selfPath); }
int reportBadHeader() { return reportFailure(FailureKind::badHeader, run->selfPath); }
int reportOpenError(const char* path) { return reportFailure(FailureKind::openError, path); }

// These failures leave the archive or the output in a state the run cannot
// go on from, so they end it: exit status 1 and no finishing action, as
// after a Cancel.
int reportDecodeFailure() {
    switch (run->decoder->failure) {
    case DECODE_OK:
        return 1;
    case DECODE_READ_FAILED:
        showError(FailureKind::readError, run->selfPath);
        break;
    case DECODE_WRITE_FAILED:
        showError(FailureKind::writeError, run->outputPath);
        break;
    case DECODE_BAD_TABLE:
        showError(FailureKind::badTable, run->selfPath);
        break;
    case DECODE_CANCELLED:
        run->outcome.declined = 1;
        break;
    }
    run->failureFlag = 1;
    run->outcome.aborted = 1;
    return 0;
}
