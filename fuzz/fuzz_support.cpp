#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/member_header.h"
#include "platform/host/host_control.h"
#include "common/run_state.h"

namespace {

// In memory when the system offers it, so that each input costs no disk.
const std::string& archivePath() {
    static const std::string path = [] {
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/velkar-fuzz-" + std::to_string(getpid());
    }();
    return path;
}

}  // namespace

void runOnArchive(const uint8_t* data, size_t size, const std::function<void()>& body) {
    FILE* file = std::fopen(archivePath().c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);

    hostReset();
    hostSetDiscardOutput(true);
    run = static_cast<RunState*>(std::calloc(1, sizeof(RunState)));
    std::snprintf(run->selfPath, sizeof(run->selfPath), "%s", archivePath().c_str());
    run->outputHandle = INVALID_FILE;
    body();
    releaseMemberHeader();
    std::free(run);
    run = nullptr;
}
