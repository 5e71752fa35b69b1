// What the dialog shows while the extract pass runs: the member's name, its
// percentage, and the message pump that keeps the dialog alive meanwhile.
#pragma once

#include <stdint.h>

#include "archive/walk.h"

// The walk's display of the main dialog.
extern const WalkDisplay dialogDisplay;

uint32_t progressPercentage(uint32_t done, uint32_t total);
int reportProgress(uint32_t done, uint32_t total);
void pumpMessages(WindowHandle dialog);
