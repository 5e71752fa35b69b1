// The fast loop for processors with BMI2, whose shifts take their count from
// any register and leave the flags alone; built with that option on 64-bit
// x86 hosts and run only where the processor has it.
#include "decode/fast_loop.h"

void decodeSymbolsFastBmi2(DecoderState* d) { decodeSymbolsLoop(d); }
