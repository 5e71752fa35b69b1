#include "archive/walk.h"

#include "archive/errors.h"
#include "archive/member_header.h"
#include "archive/output_names.h"
#include "archive/overwrite.h"
#include "archive/time_convert.h"
#include "common/byte_order.h"
#include "common/run_state.h"
#include "common/text_ops.h"
#include "decode/archive_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "decode/output_sink.h"

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
    // A value cut off by the end of the file stays partly zero; it then
    // cannot match, and the check after the walk says so.
    if (run->settings.flags & FLAG_TAMPER_CHECK) {
        unsigned char value[2] = {0, 0};
        osRead(run->archiveHandle, value, sizeof(value));
        run->tamperValue = readLittle16(value);
    }
    buildCrcTable(&run->decoder->crc, CRC16_POLYNOMIAL);
    run->crcXor = 0;
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
    if (here > run->archiveSize || run->header->packedSize > run->archiveSize - here) return reportEarlyEnd();
    if (osSeek(run->archiveHandle, static_cast<int32_t>(here + run->header->packedSize), SEEK_FROM_START) == -1)
        return reportReadError();
    return 1;
}

// Decodes the member into the output file, or into text when outputHandle
// is INVALID_FILE (the reserved members, which show no progress). 0 after a
// failure, which has then been reported and ends the run.
static int decodeData(char* text, uint32_t textSize) {
    DecoderState* d = run->decoder;
    d->input = run->archiveHandle;
    d->output = run->outputHandle;
    d->crc.value = 0;
    resetArchiveInput(d);
    d->failure = DECODE_OK;
    d->memoryText = text;
    d->memoryTextSize = textSize;
    d->progress = run->outputHandle != INVALID_FILE && run->display ? run->display->showProgress : 0;
    const MemberHeader& header = *run->header;
    if (header.method == '0') copyStoredMember(d, static_cast<int32_t>(header.unpackedSize));
    else if (header.method != 'd') decodeMember(d, header.method, header.packedSize, header.unpackedSize);
    return reportDecodeFailure();
}

static int isReservedName(const char* name) { return (name[0] == '!' || name[0] == '$') && name[1] == 0; }

// The scan pass decodes only "!" and "$", into memory, and acts on them at
// once; every other member is passed over.
static int scanMember() {
    run->crcXor ^= run->header->dataCrc;
    if (!isReservedName(run->memberPath)) return skipMember();
    int isQuestion = run->memberPath[0] == '!';
    run->outputHandle = INVALID_FILE;
    char* text = isQuestion ? run->messageText : run->scriptText;
    uint32_t textSize = isQuestion ? sizeof(run->messageText) : sizeof(run->scriptText);
    text[0] = 0;  // an empty member puts no text of its own there
    if (!decodeData(text, textSize)) return 0;
    // A No to an earlier question lets the pass go on over the members
    // behind it, but the next reserved member, once decoded, is neither
    // asked nor parsed: the pass ends there.
    if (run->failureFlag) return 0;
    if (isQuestion) {
        if (osMessageBox(run->dialogWindow, run->messageText, run->windowTitle,
                         MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) == IDNO) {
            run->failureFlag = 1;
            run->outcome.declined = 1;
        }
    } else {
        run->installer->readScript();
    }
    return 1;
}

// The member goes into a new file beside its destination, so that a member
// that fails, a Cancel or a killed run never cuts or half-writes a file under
// its real name: an old file stays as it was until the new one is whole.
static int createOutput() {
    copyText(run->tempPath, run->outputPath, sizeof(run->tempPath));
    char* name = lastComponent(run->tempPath);
    *name = 0;
    // "D:" alone would name the drive's root, not its current directory.
    if (name == run->tempPath || name[-1] == ':') appendText(run->tempPath, ".", sizeof(run->tempPath));
    run->outputHandle = osCreateTempOutput(run->tempPath, sizeof(run->tempPath));
    return run->outputHandle != INVALID_FILE;
}

static void discardOutput() {
    osCloseOutput(run->outputHandle);
    run->outputHandle = INVALID_FILE;
    osDeleteFile(run->tempPath);
}

// Closes the written file, checks its CRC, gives it the real name and the
// member's times and attribute. A failure is reported with the real name;
// the temporary file is removed first. Returns 0 after a reported failure.
static int finishOutput() {
    setOutputTimes(run->outputHandle);
    int closed = osCloseOutput(run->outputHandle);
    run->outputHandle = INVALID_FILE;
    FailureKind failure = FailureKind::none;
    if (!closed) failure = FailureKind::closeError;
    else if (run->decoder->crc.value != run->header->dataCrc) failure = FailureKind::crcError;
    else if (!replaceExistingFile(run->tempPath)) failure = FailureKind::openError;
    if (failure != FailureKind::none) {
        osDeleteFile(run->tempPath);
        showError(failure, run->outputPath);
        run->failureFlag = 1;
        return 0;
    }
    restoreMemberAttribute();
    return 1;
}

// The folders on the way were made unchecked, as they may exist already; a
// directory entry counts as unpacked only when its own folder is there.
static int folderIsThere() {
    if (osCreateDirectory(run->outputPath)) return 1;
    uint32_t attributes = osFileAttributes(run->outputPath);
    return attributes != INVALID_ATTRIBUTES && (attributes & ATTRIBUTE_DIRECTORY);
}

static int extractMember() {
    if (isReservedName(run->memberPath)) return skipMember();
    OutputPath prepared = prepareOutputPath();
    if (prepared == OutputPath::refused) {
        ++run->outcome.pathsRefused;
        return skipMember();
    }
    if (prepared == OutputPath::tooLong) return reportOpenError(run->memberPath);
    if (isWin32s) applyTimeZone(&run->header->timeStamp);
    int isDirectory = run->header->method == 'd';
    if (!isDirectory) {
        OverwriteDecision decision = overwriteDecision();
        if (decision == OverwriteDecision::skip) {
            ++run->outcome.filesKept;
            return skipMember();
        }
        if (decision == OverwriteDecision::stop) {
            run->failureFlag = 1;
            run->outcome.declined = 1;
            return 0;
        }
        if (!createOutput()) return reportOpenError(run->outputPath);
    }
    if (!decodeData(0, 0)) {
        if (!isDirectory) discardOutput();
        return 0;
    }
    if (isDirectory) {
        if (folderIsThere()) ++run->outcome.foldersMade;
        else ++run->outcome.foldersMissing;
        return 1;
    }
    if (!finishOutput()) return 0;
    ++run->outcome.filesWritten;
    return 1;
}

static void walkMembers(WalkPass pass) {
    for (;;) {
        if (readMemberHeader() != HeaderRead::read) return;
        int goOn = pass == WalkPass::scan ? scanMember() : extractMember();
        if (!goOn) return;
    }
}

int walkArchive(WindowHandle window, WalkPass pass) {
    run->dialogWindow = window;
    run->failureFlag = 0;
    run->outputHandle = INVALID_FILE;
    if (!openArchive()) {
        closeArchive();
        return 0;
    }
    walkMembers(pass);
    closeArchive();
    if (pass == WalkPass::scan) {
        if (!run->failureFlag && (run->settings.flags & FLAG_TAMPER_CHECK) && run->crcXor != run->tamperValue) {
            showError(FailureKind::tampered, run->selfPath);
            run->failureFlag = 1;
        }
    } else if (!run->outcome.aborted) {
        run->installer->runFinishingActions(run->dialogWindow);
        if (run->settings.command[0] && !run->failureFlag) run->installer->startCommand(run->dialogWindow);
    }
    releaseMemberHeader();
    return !run->failureFlag;
}
