// The fast loop for processors with BMI2 and AVX-512, whose masked stores let
// a copy from 16 or more bytes back go in 16-byte pieces and still end
// exactly; built with those options on 64-bit x86 hosts and run only where
// the processor has them.
#include "decode/fast_loop.h"

void decodeSymbolsFastAvx512(DecoderState* d) { decodeSymbolsLoop(d); }
