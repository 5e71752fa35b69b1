#include "archive/errors.h"

#include "platform/platform.h"
#include "common/run_state.h"
#include "common/text_ops.h"

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

static int isOpen(FileHandle handle) {
    return handle != 0 && handle != INVALID_FILE;
}

void fatalExit(int status) {
    if (isOpen(run->outputHandle)) {
        osCloseOutput(run->outputHandle);
        osDeleteFile(run->outputPath);
    }
    if (isOpen(run->archiveHandle)) osClose(run->archiveHandle);
    run->outputHandle = INVALID_FILE;
    run->archiveHandle = INVALID_FILE;
    osExit(status);
}
