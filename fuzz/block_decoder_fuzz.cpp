// The block decoder over arbitrary packed data. The first byte picks the
// method, the next three the unpacked size (18 bits: up to 256 KiB, several
// windows, yet quick); the rest is the member's packed data.
#include "decode/block_decoder.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    std::unique_ptr<DecoderState> d = decoderOnArchive(data, size, 4);
    uint32_t unpackedSize = data[1] | (data[2] << 8) | (static_cast<uint32_t>(data[3] & 3) << 16);
    decodeMember(d.get(), static_cast<unsigned char>('4' + (data[0] & 3)), static_cast<uint32_t>(size - 4),
                 unpackedSize);
    osClose(d->input);
    return 0;
}
