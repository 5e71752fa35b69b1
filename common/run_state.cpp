#include "common/run_state.h"

RunState* run;

int isWin32s;
int autoStart;
int overwriteWithoutAsking;
int keepNewerFiles = 1;
int askBeforeClass;
int dirFromCommandLine;
