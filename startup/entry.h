// The program's start-up order, from the command-line tail to the dialog.
#pragma once

#include "common/run_state.h"

RunOutcome velkarMain(const char* commandTail);
int stubExitStatus(const RunOutcome& outcome);
// The run's record, zero-filled, together with the walk's member header and
// decoder, and the installer wired into the walk; 0 when memory is short.
int allocateRun();
// Frees all three and the raw header the walk may still hold.
void releaseRun();
void startRun(const char* commandTail);
void settleDestination();
