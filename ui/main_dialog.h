// The main dialog, through which the destination is confirmed and the
// extract pass runs. Its logic works on control ids only, so that the host
// layer can drive it as the window system does.
#pragma once

#include "platform/platform.h"
#include "resources/control_ids.h"

const int AUTO_START_TIMER = 1;
const uint32_t AUTO_START_DELAY = 700;
const uint32_t DIRECTORY_LIMIT = 255;

intptr_t mainDialogEvent(WindowHandle dialog, int event, uintptr_t value);
void stripQuotes(char* text);
int runMainDialog();
