// The walk over the appended archive: the scan pass and the extract pass.
#pragma once

#include "platform/platform.h"

const int EXTRACT_PASS = 0;
const int SCAN_PASS = 1;

int walkArchive(WindowHandle window, int mode);
int skipMember();
