#include "common/run_state.h"

RunState* run;

int isWin32s;
