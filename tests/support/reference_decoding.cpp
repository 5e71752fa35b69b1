#include "support/reference_decoding.h"

#include "decode/block_decoder.h"

void decodeMemberPlainly() {
    startMember();
    while (run->producedCount < run->targetSize) {
        if (run->blockSymbolsLeft == 0 && !readBlockHeader()) return;
        if (!decodeSymbol()) return;
    }
    finishMember();
}

bool DecodingOutcome::operator==(const DecodingOutcome& other) const {
    return failure == other.failure && crc == other.crc && progress == other.progress && window == other.window &&
           fields == other.fields && filePosition == other.filePosition;
}

namespace {

std::vector<std::pair<uint32_t, uint32_t>>* recordedProgress;

int recordProgress(uint32_t done, uint32_t total) {
    recordedProgress->push_back({done, total});
    return 1;
}

}  // namespace

DecodingOutcome recordDecoding(void (*decode)()) {
    DecodingOutcome outcome;
    recordedProgress = &outcome.progress;
    run->progress = recordProgress;
    decode();
    run->progress = nullptr;
    outcome.failure = run->decodeFailure;
    outcome.crc = run->crc;
    outcome.window.assign(reinterpret_cast<const char*>(run->window), sizeof(run->window));
    outcome.fields = {run->windowPos,  run->producedCount,    run->blockSymbolsLeft, run->packedLeft,
                      run->inputPos,   run->bitBuffer,        run->pendingByte,      run->pendingBitCount,
                      run->bytesPastEnd};
    outcome.filePosition = osSeek(run->archiveHandle, 0, SEEK_FROM_CURRENT);
    return outcome;
}
