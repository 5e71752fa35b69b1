// The one way failures are shown. Each report counts in the run's outcome and
// sets failureFlag, so that the pass stops, and returns 0 for the caller to
// hand up.
#pragma once

#include "common/run_state.h"

void showError(FailureKind kind, const char* subject);
void showNotEnoughMemory();
int reportReadError();
int reportEarlyEnd();
int reportBadHeader();
int reportOpenError(const char* path);
// A decoding that stopped early: its message (none for Cancel), and the
// whole run ends with it.
int reportDecodeFailure();
