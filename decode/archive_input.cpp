#include "decode/archive_input.h"

#include "decode/decoder_state.h"

void resetArchiveInput(DecoderState* d) { d->inputPos = INPUT_BUFFER_SIZE; }

// Each refill asks for no more than the member still holds, so the file stays
// positioned exactly behind the member's packed data for the next header.
// Asking for nothing is a caller's error and fails rather than handing out a
// stale byte.
int nextArchiveByte(DecoderState* d, uint32_t wanted) {
    if (d->inputPos >= INPUT_BUFFER_SIZE) {
        uint32_t n = wanted < INPUT_BUFFER_SIZE ? wanted : INPUT_BUFFER_SIZE;
        if (n == 0) return -1;
        if (osRead(d->input, d->inputBuffer, n) != static_cast<int32_t>(n)) return -1;
        d->inputPos = 0;
    }
    return d->inputBuffer[d->inputPos++];
}
