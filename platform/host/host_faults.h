// Fault injection through the host layer, SQLite's way, for the tests and
// the fuzz targets: they link velkar_host_testing, the only build of the
// layer that has it. velkar-run and velkar-build ship without it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/host/host_fault_points.h"

const char* const HOST_CALL_NAMES[HOST_CALL_KINDS] = {"read",  "seek",  "write", "create",
                                                      "close", "mkdir", "pump",  "rename"};

// The n-th call of a kind from now on fails, once or from then on. A failed
// read returns -1, a seek -1, a write stops short as on a full disk, a create
// or a directory creation fails, closing an output file reports failure (the
// file is closed all the same), a pump presses the dialog's Cancel, and a
// finished file cannot take its real name.
void hostFailCall(HostCall kind, int n, bool fromThenOn);
// Calls of the kind made since the last reset.
int hostCallCount(HostCall kind);

// Further failures on demand. Reads: the next n calls of osRead succeed,
// later ones fail, or with shortRead deliver only half of what they are
// asked for. Writes: n more bytes fit, then writes stop short as on a full
// disk. Allocations: the next n succeed and the ones after fail. The dialog: its
// template cannot be loaded. -1, an empty text and false switch them off.
void hostFailReadsAfter(int n, bool shortRead = false);
void hostFailWritesAfter(int64_t bytes);
void hostFailAllocationsAfter(int n);
void hostFailDialog(bool fail);
