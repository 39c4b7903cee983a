/* The options a run reads before it looks at the source. Internal to
 * libsndprobe. */
#ifndef SNDKIT_RUNOPTIONS_H
#define SNDKIT_RUNOPTIONS_H

#include "sndkit/run.h"

/* The next list field as a whole number, nDefault when it is empty or
 * missing; false when it is not a number. */
bool IntField(wchar_t **ppszCursor, int32_t nDefault, int32_t *pn);
/* Value of an option as a whole number; false when it is there but not one. */
bool IntOption(int32_t argc, wchar_t **argv, const wchar_t *pszName, int32_t nDefault, int32_t *pn);
/* A value longer than the value buffers would be cut and then name another
 * file or mean another number; false for such a line, which is refused as a
 * whole. */
bool ValuesFit(int32_t argc, wchar_t **argv);
/* -trace: the level for the rest of the run, at least 1. */
void ReadTraceOption(Run *r);
/* -strip: the request, its destination, flags and edge. */
void ReadStripOption(Run *r);

#endif
