#include "archive/walk.h"

#include "archive/errors.h"
#include "decode/crc16.h"
#include "startup/run_state.h"

// Opens the program's own file and places it at the first member header.
static int openArchive() {
    run->archiveHandle = osOpenRead(run->selfPath);
    if (run->archiveHandle == INVALID_FILE) return reportOpenError(run->selfPath);
    int32_t size = osSeek(run->archiveHandle, 0, SEEK_FROM_END);
    if (size == -1) return reportReadError();
    run->archiveSize = static_cast<uint32_t>(size);
    int32_t position = osSeek(run->archiveHandle, static_cast<int32_t>(run->settings.archiveOffset), SEEK_FROM_START);
    if (position == -1) return reportReadError();
    if (static_cast<uint32_t>(position) > run->archiveSize) return reportEarlyEnd();
    if (run->settings.flags & FLAG_TAMPER_CHECK) {
        unsigned char value[2] = {0, 0};
        osRead(run->archiveHandle, value, sizeof(value));
        run->tamperValue = static_cast<uint16_t>(value[0] | (value[1] << 8));
    }
    buildCrcTable(CRC16_POLYNOMIAL);
    crcXor = 0;
    return 1;
}

static void closeArchive() {
    if (run->archiveHandle != INVALID_FILE) osClose(run->archiveHandle);
    run->archiveHandle = INVALID_FILE;
}

// The member loop arrives with the header reader. Until then no archive can
// be walked, and a walk that could not read its members must never pass for
// one that found nothing, so the pass ends as failed.
static void walkMembers(int mode) {
    (void)mode;
    run->failureFlag = 1;
}

int walkArchive(WindowHandle window, int mode) {
    run->dialogWindow = window;
    run->failureFlag = 0;
    if (!openArchive()) {
        closeArchive();
        return 0;
    }
    walkMembers(mode);
    closeArchive();
    if (mode == SCAN_PASS && !run->failureFlag && (run->settings.flags & FLAG_TAMPER_CHECK) &&
        crcXor != run->tamperValue) {
        showError("Tampered DATA", run->selfPath);
        run->failureFlag = 1;
    }
    return !run->failureFlag;
}
