#include "sndkit/sndprobe.h"

// Placeholder until the run of one file lands.
int SndProbeMain(int, wchar_t **) { return 0; }
