#include "archive/walk.h"

#include "archive/errors.h"
#include "archive/member_header.h"
#include "archive/output_names.h"
#include "archive/overwrite.h"
#include "archive/time_convert.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "decode/output_sink.h"
#include "install/finishing_actions.h"
#include "install/installer_script.h"
#include "common/run_state.h"
#include "common/text_ops.h"

const unsigned char RESERVED_NONE = 0;
const unsigned char RESERVED_QUESTION = 1;
const unsigned char RESERVED_SCRIPT = 2;

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
    determineVolumeRules();
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

// The target is checked before the seek: a packed size read as a negative
// offset would move back to an earlier header and walk in a circle.
int skipMember() {
    int32_t position = osSeek(run->archiveHandle, 0, SEEK_FROM_CURRENT);
    if (position == -1) return reportReadError();
    uint32_t here = static_cast<uint32_t>(position);
    if (here > run->archiveSize || run->header.packedSize > run->archiveSize - here) return reportEarlyEnd();
    if (osSeek(run->archiveHandle, static_cast<int32_t>(here + run->header.packedSize), SEEK_FROM_START) == -1)
        return reportReadError();
    return 1;
}

static void decodeData() {
    run->crc = 0;
    run->inputPos = 0xFFFFFFFF;
    unsigned char method = run->header.method;
    if (method == '0') copyStoredMember(static_cast<int32_t>(run->header.unpackedSize));
    else if (method != 'd') decodeMember();
}

static int isReservedName(const char* name) {
    return (name[0] == '!' || name[0] == '$') && name[1] == 0;
}

// The scan pass decodes only "!" and "$", into memory, and acts on them at
// once; every other member is passed over.
static int scanMember() {
    crcXor ^= run->header.dataCrc;
    if (!isReservedName(run->memberPath)) return skipMember();
    run->reservedKind = run->memberPath[0] == '!' ? RESERVED_QUESTION : RESERVED_SCRIPT;
    run->outputHandle = INVALID_FILE;
    decodeData();
    if (run->failureFlag) {
        run->reservedKind = RESERVED_NONE;
        return 0;
    }
    if (run->reservedKind == RESERVED_QUESTION) {
        if (osMessageBox(run->dialogWindow, run->messageText, run->windowTitle,
                         MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) == IDNO)
            run->failureFlag = 1;
    } else {
        parseInstallerScript();
    }
    run->reservedKind = RESERVED_NONE;
    return 1;
}

static void discardOutput() {
    osCloseOutput(run->outputHandle);
    run->outputHandle = INVALID_FILE;
    osDeleteFile(run->outputPath);
}

// Closes the written file, checks its CRC and gives it the member's times
// and attribute. Returns 0 after a reported failure.
static int finishOutput() {
    setOutputTimes(run->outputHandle);
    int closed = osCloseOutput(run->outputHandle);
    run->outputHandle = INVALID_FILE;
    if (!closed) {
        osDeleteFile(run->outputPath);
        showError("Close ERROR", run->outputPath);
        run->failureFlag = 1;
        return 0;
    }
    if (run->crc != run->header.dataCrc) {
        osDeleteFile(run->outputPath);
        showError("CRC ERROR", run->outputPath);
        run->failureFlag = 1;
        return 0;
    }
    restoreMemberAttribute();
    return 1;
}

static int extractMember() {
    if (isReservedName(run->memberPath)) return skipMember();
    if (!prepareOutputPath()) return reportOpenError(run->memberPath);
    if (isWin32s) applyTimeZone(&run->header.timeStamp);
    int isDirectory = run->header.method == 'd';
    if (!isDirectory) {
        int decision = overwriteDecision();
        if (decision == OVERWRITE_SKIP) return skipMember();
        if (decision == OVERWRITE_STOP) {
            run->failureFlag = 1;
            return 0;
        }
        run->outputHandle = osCreateOutput(run->outputPath);
        if (run->outputHandle == INVALID_FILE) return reportOpenError(run->outputPath);
    }
    decodeData();
    if (run->failureFlag) {
        if (!isDirectory) discardOutput();
        return 0;
    }
    if (isDirectory) return 1;
    return finishOutput();
}

static void walkMembers(int mode) {
    for (;;) {
        if (readMemberHeader() != HEADER_READ) return;
        int goOn = mode == SCAN_PASS ? scanMember() : extractMember();
        if (!goOn) return;
    }
}

int walkArchive(WindowHandle window, int mode) {
    run->dialogWindow = window;
    run->failureFlag = 0;
    run->outputHandle = INVALID_FILE;
    if (!openArchive()) {
        closeArchive();
        return 0;
    }
    walkMembers(mode);
    closeArchive();
    if (mode == SCAN_PASS) {
        if (!run->failureFlag && (run->settings.flags & FLAG_TAMPER_CHECK) && crcXor != run->tamperValue) {
            showError("Tampered DATA", run->selfPath);
            run->failureFlag = 1;
        }
    } else {
        runFinishingActions(run->dialogWindow);
        if (run->settings.command[0] && !run->failureFlag) startCommand(run->dialogWindow);
    }
    releaseMemberHeader();
    return !run->failureFlag;
}
