// The decoding's sticky failure: the first one stays, since what follows it
// is only the consequence of the data already being wrong.
#pragma once

#include "common/run_state.h"

inline void failDecoding(DecodeFailure failure) {
    if (run->decodeFailure == DECODE_OK) run->decodeFailure = failure;
}
