// The one way failures are shown, and the exit for failures deep inside the
// decoders.
#pragma once

void showError(const char* message, const char* subject);
void showNotEnoughMemory();
int reportReadError();
int reportEarlyEnd();
int reportBadHeader();
int reportOpenError(const char* path);
[[noreturn]] void fatalExit(int status);
