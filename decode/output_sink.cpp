#include "decode/output_sink.h"

#include "archive/errors.h"
#include "decode/crc16.h"
#include "common/run_state.h"
#include "common/text_ops.h"
#include "ui/progress.h"

// The text copy stops at the first zero byte, like lstrcpynA, and each call
// replaces what the buffer held: only the last piece of a long member stays.
static void copyToText(char* text, uint32_t capacity, const unsigned char* data, uint32_t length) {
    uint32_t n = 0;
    while (n < length && n < capacity - 1 && data[n]) {
        text[n] = static_cast<char>(data[n]);
        ++n;
    }
    text[n] = 0;
}

void writeOutput(const unsigned char* data, uint32_t length, FileHandle handle) {
    if (handle != INVALID_FILE) {
        uint32_t written = 0;
        if (!osWrite(handle, data, length, &written) || written != length) {
            showError("Write ERROR", run->outputPath);
            fatalExit(1);
        }
        crcFeed(data, static_cast<int32_t>(length));
        return;
    }
    if (run->reservedKind == 1) copyToText(run->messageText, sizeof(run->messageText), data, length);
    else if (run->reservedKind == 2) copyToText(run->scriptText, sizeof(run->scriptText), data, length);
}

void flushWindow(uint32_t n) {
    writeOutput(run->window, n, run->outputHandle);
}

// Pieces go straight from the file into the window, bypassing the input
// buffer. Progress counts the bytes written before the current piece.
void copyStoredMember(int32_t size) {
    run->crc = 0;
    int32_t remaining = size;
    while (remaining > 0) {
        uint32_t piece = remaining < static_cast<int32_t>(WINDOW_SIZE) ? static_cast<uint32_t>(remaining) : WINDOW_SIZE;
        if (osRead(run->archiveHandle, run->window, piece) != static_cast<int32_t>(piece)) {
            reportReadError();
            fatalExit(1);
        }
        flushWindow(piece);
        if (run->outputHandle != INVALID_FILE)
            reportProgress(static_cast<uint32_t>(size - remaining), static_cast<uint32_t>(size));
        remaining -= static_cast<int32_t>(piece);
    }
}
