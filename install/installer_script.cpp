#include "install/installer_script.h"

#include "common/run_state.h"

// The script reader arrives with the installer actions. Until then an
// archive that carries a script must not be unpacked as if it had none:
// its titles, destination, command and options would all be ignored, so the
// scan pass fails and nothing is written.
void parseInstallerScript() {
    run->failureFlag = 1;
}
