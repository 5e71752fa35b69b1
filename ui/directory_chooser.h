// The Reference button's directory chooser: the classic open-file dialog with
// a template that shows only drives and directories.
#pragma once

#include "platform/platform.h"

int chooseDirectory(WindowHandle owner);
int dropTrailingSeparator(char* path);
