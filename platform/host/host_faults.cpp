#include "platform/host/host_faults.h"

namespace {

struct HostFaults {
    int callCounts[HOST_CALL_KINDS] = {};
    int failingCall[HOST_CALL_KINDS] = {};  // counted from the start; 0 for none
    bool failFromThenOn[HOST_CALL_KINDS] = {};
    bool shortReads = false;
    int64_t writeBytesLeft = -1;
    int allocationsLeft = -1;
    bool failDialog = false;
};

HostFaults& faults() {
    static HostFaults state;
    return state;
}

}  // namespace

void hostResetFaults() { faults() = HostFaults(); }

void hostFailCall(HostCall kind, int n, bool fromThenOn) {
    faults().failingCall[kind] = n > 0 ? faults().callCounts[kind] + n : 0;
    faults().failFromThenOn[kind] = fromThenOn;
}

int hostCallCount(HostCall kind) { return faults().callCounts[kind]; }

bool hostCallFails(HostCall kind) {
    int call = ++faults().callCounts[kind];
    int failing = faults().failingCall[kind];
    return failing > 0 && (call == failing || (faults().failFromThenOn[kind] && call > failing));
}

void hostFailReadsAfter(int n, bool shortRead) {
    hostFailCall(HOST_READ, n + 1, true);
    faults().shortReads = shortRead;
}
void hostFailWritesAfter(int64_t bytes) { faults().writeBytesLeft = bytes; }
void hostFailAllocationsAfter(int n) { faults().allocationsLeft = n; }
void hostFailDialog(bool fail) { faults().failDialog = fail; }

bool hostAllocationFails() {
    int& left = faults().allocationsLeft;
    if (left == 0) return true;
    if (left > 0) --left;
    return false;
}

bool hostReadsShort() { return faults().shortReads; }

uint32_t hostWriteAllowance(uint32_t count) {
    uint32_t allowed = hostCallFails(HOST_WRITE) ? count / 2 : count;
    int64_t& left = faults().writeBytesLeft;
    if (left >= 0 && left < count) allowed = static_cast<uint32_t>(left);
    if (left >= 0) left -= allowed;
    return allowed;
}

bool hostDialogFails() { return faults().failDialog; }
