// The "$" installer script, read during the scan pass.
#pragma once

void parseInstallerScript();
