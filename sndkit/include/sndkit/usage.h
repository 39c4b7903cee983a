/* The texts sndprobe prints without analysing a file: the usage and the
 * level table. Internal to libsndprobe. */
#ifndef SNDKIT_USAGE_H
#define SNDKIT_USAGE_H

#include "VmLib/vmapi.h"

/* Prints the usage text followed by the level-table help, at level 1. */
void PrintUsage(void);

/* Prints the level table for "field,start,stop,step" (null or empty: "dB"
 * with that field's range), at level 1. 0, or -1 (nothing printed) when
 * start, stop or step is not a number. */
int32_t PrintLevelTable(const wchar_t *pszText);

#endif
