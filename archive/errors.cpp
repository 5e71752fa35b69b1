#include "archive/errors.h"

#include "common/run_state.h"
#include "common/text_ops.h"
#include "decode/decoder_state.h"
#include "platform/platform.h"

void showError(const char* message, const char* subject) {
    formatText(run->messageText, sizeof(run->messageText), "\"%s\" %s", subject, message);
    osMessageBox(run->dialogWindow, run->messageText, run->windowTitle, MB_OK | MB_ICONHAND | MB_TASKMODAL);
}

void showNotEnoughMemory() {
    osMessageBox(run->dialogWindow, "Not enough memory", run->windowTitle, MB_OK | MB_ICONHAND | MB_TASKMODAL);
}

static int reportFailure(const char* message, const char* subject) {
    showError(message, subject);
    run->failureFlag = 1;
    return 0;
}

int reportReadError() { return reportFailure("Read ERROR", run->selfPath); }
int reportEarlyEnd() { return reportFailure("Unexpeted EOF", run->selfPath); }
int reportBadHeader() { return reportFailure("Bad header", run->selfPath); }
int reportOpenError(const char* path) { return reportFailure("Open ERROR", path); }

// These failures leave the archive or the output in a state the run cannot
// go on from, so they end it: exit status 1 and no finishing action, as
// after a Cancel.
int reportDecodeFailure() {
    switch (run->decoder->failure) {
    case DECODE_OK:
        return 1;
    case DECODE_READ_FAILED:
        showError("Read ERROR", run->selfPath);
        break;
    case DECODE_WRITE_FAILED:
        showError("Write ERROR", run->outputPath);
        break;
    case DECODE_BAD_TABLE:
        showError("Bad table", run->selfPath);
        break;
    case DECODE_CANCELLED:
        break;
    }
    run->failureFlag = 1;
    run->runAborted = 1;
    return 0;
}
