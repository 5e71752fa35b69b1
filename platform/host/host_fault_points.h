// Where the host layer asks whether a call is to fail. Only the layer's
// testing build (velkar_host_testing, compiled with VELKAR_HOST_FAULTS)
// defines these, in host_faults.cpp; every call site checks HOST_FAULTS
// first, so the shipped build neither calls nor contains them.
#pragma once

#include <cstdint>
#include <string>

#ifdef VELKAR_HOST_FAULTS
constexpr bool HOST_FAULTS = true;
#else
constexpr bool HOST_FAULTS = false;
#endif

// The calls a test can make fail by count (host_faults.h).
enum HostCall {
    HOST_READ,
    HOST_SEEK,
    HOST_WRITE,
    HOST_CREATE,
    HOST_CLOSE,
    HOST_MAKE_DIRECTORY,
    HOST_PUMP,
    HOST_RENAME,
    HOST_CALL_KINDS
};

// Counts the call and says whether it is to fail.
bool hostCallFails(HostCall kind);
bool hostAllocationFails();
// A failing read delivers half of what it was asked for instead of failing.
bool hostReadsShort();
// The bytes of count that a write may put down, as on a full disk.
uint32_t hostWriteAllowance(uint32_t count);
bool hostDialogFails();
void hostResetFaults();
