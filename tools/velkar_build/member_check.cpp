#include "tools/velkar_build/member_check.h"

#include <memory>

#include "decode/archive_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "decode/output_sink.h"
#include "platform/platform.h"
#include "tools/velkar_build/system.h"

bool decodeWithStub(const std::string& file, const MemberData& member, uint16_t* crc, const std::string& outputPath) {
    std::string path = stubCallPath(file);
    if (path.empty() || member.dataOffset > 0x7FFFFFFF) return false;
    auto d = std::make_unique<DecoderState>();
    std::string discarded = discardDecodedOutput(outputPath.empty());
    bool decoded = false;
    d->input = osOpenRead(path.c_str());
    if (d->input != INVALID_FILE && osSeek(d->input, static_cast<int32_t>(member.dataOffset), SEEK_FROM_START) != -1) {
        d->output = osCreateOutput(outputPath.empty() ? discarded.c_str() : outputPath.c_str());
        if (d->output != INVALID_FILE) {
            buildCrcTable(&d->crc, CRC16_POLYNOMIAL);
            resetArchiveInput(d.get());
            if (member.method == '0') copyStoredMember(d.get(), static_cast<int32_t>(member.unpackedSize));
            else
                decodeMember(d.get(), static_cast<unsigned char>(member.method), member.packedSize,
                             member.unpackedSize);
            decoded = d->failure == DECODE_OK;
            *crc = d->crc.value;
            decoded = osCloseOutput(d->output) && decoded;
        }
    }
    if (d->input != INVALID_FILE) osClose(d->input);
    discardDecodedOutput(false);
    return decoded;
}
