// The Reference button's directory chooser: the classic open-file dialog with
// a template that shows only drives and directories.
#pragma once

#include "platform/platform.h"

// 1 and the chosen directory in directory (cut to size) when the user
// confirmed one.
int chooseDirectory(WindowHandle owner, char* directory, uint32_t size);
int dropTrailingSeparator(char* path);
