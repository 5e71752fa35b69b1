#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/run_state.h"
#include "decode/archive_input.h"
#include "platform/host/host_control.h"
#include "startup/entry.h"

namespace {

// In memory when the system offers it, so that each input costs no disk.
const std::string& archivePath() {
    static const std::string path = [] {
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/velkar-fuzz-" + std::to_string(getpid());
    }();
    return path;
}

void writeArchive(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(archivePath().c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    hostReset();
    hostSetDiscardOutput(true);
}

}  // namespace

void runOnArchive(const uint8_t* data, size_t size, const std::function<void()>& body) {
    writeArchive(data, size);
    if (!allocateRun()) std::abort();
    std::snprintf(run->selfPath, sizeof(run->selfPath), "%s", archivePath().c_str());
    run->outputHandle = INVALID_FILE;
    run->keepNewerFiles = 1;
    body();
    releaseRun();
}

std::unique_ptr<DecoderState> decoderOnArchive(const uint8_t* data, size_t size, uint32_t offset) {
    writeArchive(data, size);
    auto d = std::make_unique<DecoderState>();
    d->input = osOpenRead(archivePath().c_str());
    d->output = INVALID_FILE;
    osSeek(d->input, static_cast<int32_t>(offset), SEEK_FROM_START);
    buildCrcTable(&d->crc, CRC16_POLYNOMIAL);
    resetArchiveInput(d.get());
    return d;
}
