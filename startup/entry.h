// The program's start-up order, from the command-line tail to the dialog.
#pragma once

int velkarMain(const char* commandTail);
void startRun(const char* commandTail);
void settleDestination();
