/* The run of the sndprobe command line, callable from any program. */
#ifndef SNDKIT_SNDPROBE_H
#define SNDKIT_SNDPROBE_H

#include "VmLib/vmapi.h"

/* Runs sndprobe over argv (argv[0] is the program path); returns the exit
 * status: 0 on success (also without arguments), 1 on any failure. */
SNDPROBE_API int SndProbeMain(int argc, wchar_t **argv);

#endif
