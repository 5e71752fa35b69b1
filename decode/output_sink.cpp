#include "decode/output_sink.h"

#include "decode/crc16.h"
#include "decode/decoder_state.h"

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

int writeOutput(DecoderState* d, const unsigned char* data, uint32_t length, FileHandle handle) {
    if (handle != INVALID_FILE) {
        uint32_t written = 0;
        if (!osWrite(handle, data, length, &written) || written != length) {
            failDecoding(d, DECODE_WRITE_FAILED);
            return 0;
        }
        crcFeed(&d->crc, data, static_cast<int32_t>(length));
        return 1;
    }
    if (d->memoryText) copyToText(d->memoryText, d->memoryTextSize, data, length);
    return 1;
}

// Bytes decoded after a failure are the failure's consequence and are
// never written.
int flushWindow(DecoderState* d, uint32_t n) {
    if (d->failure != DECODE_OK) return 0;
    return writeOutput(d, d->window, n, d->output);
}

int reportDecodeProgress(DecoderState* d, uint32_t done, uint32_t total) {
    if (!d->progress || d->progress(done, total)) return 1;
    failDecoding(d, DECODE_CANCELLED);
    return 0;
}

// Pieces go straight from the file into the window, bypassing the input
// buffer. Progress counts the bytes written before the current piece.
void copyStoredMember(DecoderState* d, int32_t size) {
    d->crc.value = 0;
    int32_t remaining = size;
    while (remaining > 0) {
        uint32_t piece = remaining < static_cast<int32_t>(WINDOW_SIZE) ? static_cast<uint32_t>(remaining) : WINDOW_SIZE;
        if (osRead(d->input, d->window, piece) != static_cast<int32_t>(piece)) {
            failDecoding(d, DECODE_READ_FAILED);
            return;
        }
        if (!flushWindow(d, piece) ||
            !reportDecodeProgress(d, static_cast<uint32_t>(size - remaining), static_cast<uint32_t>(size)))
            return;
        remaining -= static_cast<int32_t>(piece);
    }
}
