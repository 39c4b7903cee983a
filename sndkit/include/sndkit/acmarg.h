/* The -acm option behind AcmArgInit (sndprobe.h): the walk over the built-in
 * table of codec driver files. */
#ifndef SNDKIT_ACMARG_H
#define SNDKIT_ACMARG_H

#include "VmLib/vmapi.h"
#include "vmwav/vmwav.h"

/* Named -acm files one context holds; any further one is refused. */
#define ACMARG_MAX_DRIVERS 16

#ifdef __cplusplus
extern "C" {
#endif

/* Loads every entry of the built-in table that is not loaded yet; 0 when all
 * are loaded, -1 when any is missing (each one reported). */
int32_t AcmDriverLoadAll(HACMCONTEXT hAcm);
/* Unloads every loaded entry of the built-in table; 0, or -1 on any failure. */
int32_t AcmDriverUnloadAll(HACMCONTEXT hAcm);

#ifdef __cplusplus
}
#endif

#endif
