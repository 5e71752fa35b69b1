#include "tools/velkar_build/member_check.h"

#include <cstdio>
#include <cstdlib>

#include "common/run_state.h"
#include "decode/archive_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "decode/output_sink.h"
#include "platform/host/host_control.h"

bool decodeWithStub(const std::string& file, const MemberData& member, uint16_t* crc, const std::string& outputPath) {
    if (file.size() >= sizeof(run->selfPath) || member.dataOffset > 0x7FFFFFFF) return false;
    RunState* state = static_cast<RunState*>(std::calloc(1, sizeof(RunState)));
    if (!state) return false;
    run = state;
    std::snprintf(run->selfPath, sizeof(run->selfPath), "%s", file.c_str());
    hostSetDiscardOutput(outputPath.empty());
    bool decoded = false;
    run->archiveHandle = osOpenRead(run->selfPath);
    if (run->archiveHandle != INVALID_FILE &&
        osSeek(run->archiveHandle, static_cast<int32_t>(member.dataOffset), SEEK_FROM_START) != -1) {
        run->outputHandle = osCreateOutput(outputPath.empty() ? "discarded" : outputPath.c_str());
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
    hostSetDiscardOutput(false);
    return decoded;
}
