// The archive walk over arbitrary bytes: every header, every skip, the
// reserved members and, in the extract pass, every member's data (written
// nowhere) must be handled without touching memory outside the buffers.
#include "archive/walk.h"
#include "common/run_state.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runOnArchive(data, size, [] {
        run->settings.flags = FLAG_TAMPER_CHECK;
        if (walkArchive(nullptr, WalkPass::scan) || run->failureFlag) walkArchive(nullptr, WalkPass::extract);
    });
    return 0;
}
