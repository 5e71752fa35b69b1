#include "tools/velkar_build/member_check.h"

#include <cstdio>
#include <cstdlib>

#include "common/run_state.h"
#include "decode/archive_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "decode/output_sink.h"
#include "platform/platform.h"
#include "tools/velkar_build/system.h"

bool decodeWithStub(const std::string& file, const MemberData& member, uint16_t* crc, const std::string& outputPath) {
    std::string selfPath = stubCallPath(file, sizeof(run->selfPath));
    if (selfPath.empty() || member.dataOffset > 0x7FFFFFFF) return false;
    RunState* state = static_cast<RunState*>(std::calloc(1, sizeof(RunState)));
    if (!state) return false;
    run = state;
    std::snprintf(run->selfPath, sizeof(run->selfPath), "%s", selfPath.c_str());
    std::string discarded = discardDecodedOutput(outputPath.empty());
    bool decoded = false;
    run->archiveHandle = osOpenRead(run->selfPath);
    if (run->archiveHandle != INVALID_FILE &&
        osSeek(run->archiveHandle, static_cast<int32_t>(member.dataOffset), SEEK_FROM_START) != -1) {
        run->outputHandle = osCreateOutput(outputPath.empty() ? discarded.c_str() : outputPath.c_str());
        if (run->outputHandle != INVALID_FILE) {
            run->header.method = static_cast<unsigned char>(member.method);
            run->header.packedSize = member.packedSize;
            run->header.unpackedSize = member.unpackedSize;
            buildCrcTable(CRC16_POLYNOMIAL);
            resetArchiveInput();
            if (member.method == '0')
                copyStoredMember(static_cast<int32_t>(member.unpackedSize));
            else
                decodeMember();
            decoded = run->decodeFailure == DECODE_OK;
            *crc = run->crc;
            decoded = osCloseOutput(run->outputHandle) && decoded;
        }
    }
    if (run->archiveHandle != INVALID_FILE) osClose(run->archiveHandle);
    std::free(run);
    run = nullptr;
    discardDecodedOutput(false);
    return decoded;
}
