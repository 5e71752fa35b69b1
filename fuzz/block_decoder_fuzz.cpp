// The block decoder over arbitrary packed data. The first byte picks the
// method, the next three the unpacked size (18 bits: up to 256 KiB, several
// windows, yet quick); the rest is the member's packed data.
#include "decode/archive_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "fuzz/fuzz_support.h"
#include "common/run_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    runOnArchive(data, size, [size, data] {
        run->archiveHandle = osOpenRead(run->selfPath);
        osSeek(run->archiveHandle, 4, SEEK_FROM_START);
        run->header.method = static_cast<unsigned char>('4' + (data[0] & 3));
        run->header.unpackedSize = data[1] | (data[2] << 8) | (static_cast<uint32_t>(data[3] & 3) << 16);
        run->header.packedSize = static_cast<uint32_t>(size - 4);
        resetArchiveInput();
        buildCrcTable(CRC16_POLYNOMIAL);
        decodeMember();
        osClose(run->archiveHandle);
        run->archiveHandle = INVALID_FILE;
    });
    return 0;
}
