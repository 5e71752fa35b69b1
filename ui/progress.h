// The percentage of the member being written, and the message pump that
// keeps the dialog alive meanwhile.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

uint32_t progressPercentage(uint32_t done, uint32_t total);
void reportProgress(uint32_t done, uint32_t total);
void pumpMessages(WindowHandle dialog);
