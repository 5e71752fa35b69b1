// route_probe: exits with 42 and does nothing else. The Wine tests start it
// once to learn whether this machine runs 32-bit Windows programs at all;
// any other outcome (the loader refused, a crash, a hang) sends them to the
// emulated x86 guest instead.
int main() { return 42; }
