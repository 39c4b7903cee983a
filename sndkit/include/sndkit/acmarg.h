/* The -acm option: codec drivers loaded for the duration of one run, and the
 * lookup of an option named after an audio format. */
#ifndef SNDKIT_ACMARG_H
#define SNDKIT_ACMARG_H

#include "VmLib/vmapi.h"
#include "vmwav/vmwav.h"

#define ACMARG_VERSION 256u
#define ACMARG_MAX_DRIVERS 16

typedef struct AcmArgContext *HACMARG;

#ifdef __cplusplus
extern "C" {
#endif

/* Sets up the codec registry and loads the drivers of every
 * "-acm[:file[,mid,pid]]" option from argument 1 on (a bare -acm loads the
 * built-in table). Drivers that cannot be loaded are reported and skipped.
 * Null for a wrong version, a null module handle or a failed registry. */
SNDPROBE_API HACMARG AcmArgInit(uint32_t dwVersion, VMHINSTANCE hInstance, int32_t nCount,
                                wchar_t **ppszArgs, uint32_t dwReserved);
/* Unloads every driver and the registry, and frees the context; 0, or -1 when
 * anything could not be released (the rest is still released). */
SNDPROBE_API int32_t AcmArgTerm(HACMARG hAcmArg);
/* Index of the first argument from nIndex on that is an option named after
 * a format, the names tried in their fixed order; its value is copied into
 * pszValue (cchValue characters, always terminated) when given. -1 if none. */
SNDPROBE_API int32_t WavFormatGetArgOption(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                           uintptr_t dwReserved, wchar_t *pszValue,
                                           int32_t cchValue);

/* Loads every entry of the built-in table that is not loaded yet; 0 when all
 * are loaded, -1 when any is missing (each one reported). */
int32_t AcmDriverLoadAll(HACMCONTEXT hAcm);
/* Unloads every loaded entry of the built-in table; 0, or -1 on any failure. */
int32_t AcmDriverUnloadAll(HACMCONTEXT hAcm);

#ifdef __cplusplus
}
#endif

#endif
