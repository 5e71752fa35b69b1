// The fast decoding against the plain one on arbitrary packed data: the
// same bytes written, the same CRC, progress, window and failure, and the
// archive left at the same place. The first byte picks the method and the
// pattern the window starts with (history from earlier members); the next
// three the unpacked size (18 bits); the fifth, when its top bit is set,
// claims more packed bytes than the file holds, so that a refill fails.
#include <cstdlib>

#include "common/run_state.h"
#include "decode/archive_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "fuzz/fuzz_support.h"
#include "platform/host/host_control.h"
#include "support/reference_decoding.h"

const size_t PREFIX = 5;

static DecodingOutcome decodeOnce(const uint8_t* data, size_t size, void (*decode)()) {
    DecodingOutcome outcome;
    runOnArchive(data, size, [&] {
        for (uint32_t i = 0; i < WINDOW_SIZE; ++i) run->window[i] = static_cast<unsigned char>((i * (data[0] | 1)) >> 5);
        run->archiveHandle = osOpenRead(run->selfPath);
        osSeek(run->archiveHandle, PREFIX, SEEK_FROM_START);
        run->header.method = static_cast<unsigned char>('4' + (data[0] & 3));
        run->header.unpackedSize = data[1] | (data[2] << 8) | (static_cast<uint32_t>(data[3] & 3) << 16);
        uint32_t missing = data[4] & 0x80 ? (data[4] & 0x7F) * 521u + 1 : 0;
        run->header.packedSize = static_cast<uint32_t>(size - PREFIX) + missing;
        run->outputHandle = osCreateOutput("out");
        resetArchiveInput();
        buildCrcTable(CRC16_POLYNOMIAL);
        outcome = recordDecoding(decode);
        osCloseOutput(run->outputHandle);
        run->outputHandle = INVALID_FILE;
        osClose(run->archiveHandle);
        run->archiveHandle = INVALID_FILE;
    });
    return outcome;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < PREFIX) return 0;
    if (!(decodeOnce(data, size, decodeMember) == decodeOnce(data, size, decodeMemberPlainly))) std::abort();
    return 0;
}
