// The settings block at offset 512 of the program's own file.
#pragma once

void readSettingsBlock();
