#include "decode/archive_input.h"

#include "common/run_state.h"

void resetArchiveInput() {
    run->inputPos = INPUT_BUFFER_SIZE;
}

// Each refill asks for no more than the member still holds, so the file stays
// positioned exactly behind the member's packed data for the next header.
// Asking for nothing is a caller's error and fails rather than handing out a
// stale byte.
int nextArchiveByte(FileHandle file, uint32_t wanted) {
    if (run->inputPos >= INPUT_BUFFER_SIZE) {
        uint32_t n = wanted < INPUT_BUFFER_SIZE ? wanted : INPUT_BUFFER_SIZE;
        if (n == 0) return -1;
        if (osRead(file, run->inputBuffer, n) != static_cast<int32_t>(n)) return -1;
        run->inputPos = 0;
    }
    return run->inputBuffer[run->inputPos++];
}
