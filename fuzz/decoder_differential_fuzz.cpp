// Each fast loop against the plain decoding on arbitrary packed data: the
// same bytes written, the same CRC, progress, window and failure, and the
// archive left at the same place. The first byte picks the method and the
// pattern the window starts with (history from earlier members); the next
// three the unpacked size (18 bits); the fifth, when its top bit is set,
// claims more packed bytes than the file holds, so that a refill fails.
#include <cstdlib>

#include "decode/block_decoder.h"
#include "decode/fast_decoder.h"
#include "fuzz/fuzz_support.h"
#include "support/reference_decoding.h"

const size_t PREFIX = 5;

static DecodingOutcome decodeOnce(const uint8_t* data, size_t size, MemberDecoder decode) {
    std::unique_ptr<DecoderState> d = decoderOnArchive(data, size, PREFIX);
    for (uint32_t i = 0; i < WINDOW_SIZE; ++i) d->window[i] = static_cast<unsigned char>((i * (data[0] | 1)) >> 5);
    PackedMember member;
    member.method = static_cast<unsigned char>('4' + (data[0] & 3));
    member.unpackedSize = data[1] | (data[2] << 8) | (static_cast<uint32_t>(data[3] & 3) << 16);
    uint32_t missing = data[4] & 0x80 ? (data[4] & 0x7F) * 521u + 1 : 0;
    member.packedSize = static_cast<uint32_t>(size - PREFIX) + missing;
    d->output = osCreateOutput("out");
    DecodingOutcome outcome = recordDecoding(d.get(), decode, member);
    osCloseOutput(d->output);
    osClose(d->input);
    return outcome;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < PREFIX) return 0;
    DecodingOutcome plain = decodeOnce(data, size, decodeMemberPlainly);
    for (const FastLoop* loop = fastLoops(); *loop; ++loop) {
        useFastLoop(*loop);
        if (!(decodeOnce(data, size, decodeMember) == plain)) std::abort();
    }
    return 0;
}
