// The installer script over arbitrary bytes: both readings, with every
// class and group line carried out against the host's records, under the
// single-byte and the Japanese code page (the first byte chooses), must
// keep every copy inside its buffer.
#include <cstring>

#include "common/run_state.h"
#include "fuzz/fuzz_support.h"
#include "install/finishing_actions.h"
#include "install/installer_script.h"
#include "platform/host/host_control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    runOnArchive(nullptr, 0, [&] {
        hostSetCodePage(data[0] & 1 ? 932 : 0);
        isWin32s = data[0] & 2 ? 1 : 0;
        run->askBeforeClass = 0;
        size_t length = size - 1 < sizeof(run->scriptText) - 1 ? size - 1 : sizeof(run->scriptText) - 1;
        std::memcpy(run->scriptText, data + 1, length);
        std::strcpy(run->extractDir, "C:\\Program Files\\A destination of some length\\for the joined paths");
        parseInstallerScript();
        run->createGroup = 1;
        run->registerClass = 1;
        runFinishingActions(nullptr);
    });
    return 0;
}
