#include "support/reference_decoding.h"

#include "decode/block_decoder.h"

void decodeMemberPlainly(DecoderState* d, unsigned char method, uint32_t packedSize, uint32_t unpackedSize) {
    startMember(d, method, packedSize, unpackedSize);
    while (d->producedCount < d->targetSize) {
        if (d->blockSymbolsLeft == 0 && !readBlockHeader(d)) return;
        if (!decodeSymbol(d)) return;
    }
    finishMember(d);
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

DecodingOutcome recordDecoding(DecoderState* d, MemberDecoder decode, const PackedMember& member) {
    DecodingOutcome outcome;
    recordedProgress = &outcome.progress;
    d->progress = recordProgress;
    decodePacked(d, decode, member);
    d->progress = nullptr;
    outcome.failure = d->failure;
    outcome.crc = d->crc.value;
    outcome.window.assign(reinterpret_cast<const char*>(d->window), sizeof(d->window));
    outcome.fields = {d->windowPos, d->producedCount, d->blockSymbolsLeft, d->packedLeft,  d->inputPos,
                      d->bitBuffer, d->pendingByte,   d->pendingBitCount,  d->bytesPastEnd};
    outcome.filePosition = osSeek(d->input, 0, SEEK_FROM_CURRENT);
    return outcome;
}
