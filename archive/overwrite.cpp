#include "archive/overwrite.h"

#include "archive/member_header.h"
#include "archive/time_convert.h"
#include "common/run_state.h"
#include "common/text_ops.h"

const uint32_t NEWEST_TIME = 0xFFFFFFFF;

// A file that cannot be read, or whose time cannot be expressed, counts as
// newer than any member, so it is never replaced unasked.
uint32_t existingFileTime(const char* path) {
    FileTime lastWrite;
    if (!osLastWriteTime(path, &lastWrite)) return NEWEST_TIME;
    uint32_t unixTime = NEWEST_TIME;
    if (!fileTimeToUnix(&lastWrite, &unixTime)) return NEWEST_TIME;
    return unixTime;
}

// Any answer but Yes or No, a failed box included, stops the pass rather than
// replace a file nobody agreed to. The file itself is not touched here:
// replaceExistingFile does that once the member is whole.
OverwriteDecision overwriteDecision() {
    uint32_t attributes = osFileAttributes(run->outputPath);
    if (attributes == INVALID_ATTRIBUTES) return OverwriteDecision::write;
    uint32_t existing = existingFileTime(run->outputPath);
    formatText(run->messageText, sizeof(run->messageText), "\"%s\" %s", run->outputPath, "Overwrite?");
    if (run->keepNewerFiles && existing >= run->header->timeStamp) {
        osNoteKeptFile(run->outputPath, existing == NEWEST_TIME ? KeptFile::timeUnreadable : KeptFile::asNewOrNewer);
        return OverwriteDecision::skip;
    }
    if (!run->overwriteWithoutAsking) {
        int answer = osMessageBox(run->dialogWindow, run->messageText, run->windowTitle,
                                  MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
        if (answer == IDNO) {
            osNoteKeptFile(run->outputPath, KeptFile::answeredNo);
            return OverwriteDecision::skip;
        }
        if (answer != IDYES) return OverwriteDecision::stop;
    }
    return OverwriteDecision::write;
}

// With attributes restored, a read-only file is replaced too: its mark is
// cleared just before the swap, and put back when Windows refuses the swap,
// so that a member that fails leaves the old file exactly as it was.
int replaceExistingFile(const char* from) {
    uint32_t attributes = osFileAttributes(run->outputPath);
    int cleared = run->settings.restoreAttributes && attributes != INVALID_ATTRIBUTES &&
                  !(attributes & ATTRIBUTE_DIRECTORY) && attributes != ATTRIBUTE_NORMAL;
    if (cleared) osSetFileAttributes(run->outputPath, ATTRIBUTE_NORMAL);
    if (osReplaceFile(from, run->outputPath)) return 1;
    if (cleared) osSetFileAttributes(run->outputPath, attributes);
    return 0;
}

// A time that has no FILETIME is left as the file has it.
void setOutputTimes(FileHandle file) {
    MemberHeader& header = *run->header;
    uint32_t* times[3] = {&header.creationTime, &header.lastAccessTime, &header.lastWriteTime};
    FileTime converted[3];
    const FileTime* given[3];
    for (int i = 0; i < 3; ++i) {
        if (isWin32s) applyTimeZone(times[i]);
        given[i] = unixToFileTime(*times[i], &converted[i]) ? &converted[i] : 0;
    }
    osSetFileTimes(file, given[0], given[1], given[2]);
}

void restoreMemberAttribute() {
    if (run->settings.restoreAttributes) osSetFileAttributes(run->outputPath, run->header->attribute);
}
