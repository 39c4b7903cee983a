/* The process-wide trace channel: numbered levels, "trace.ini" settings,
 * replaceable filter and output hooks. Internal to libsndprobe. */
#ifndef SNDKIT_TRACE_H
#define SNDKIT_TRACE_H

#include <stdarg.h>
#include "VmLib/vmapi.h"

#define TRACE_VERSION 512u
#define TRACE_BUFFER_CHARS 4096

/* Levels every unit uses. */
#define TRACE_RESULT 1
#define TRACE_ERROR 3
#define TRACE_DETAIL 4
#define TRACE_ENTRY 5
#define TRACE_STATS 6
#define TRACE_ALLOC 9

/* Opaque trace context; null always means the process-wide one. */
typedef struct TraceContext *HTRACE;

/* Non-zero when a line of nLevel is to be written. */
typedef int32_t (*TraceFilterProc)(void *pHook, int32_t nLevel, uintptr_t r1, uintptr_t r2);
/* Writes pszText as it stands; 0 on success. */
typedef int32_t (*TraceOutputProc)(void *pHook, uint32_t nLevel, const wchar_t *pszText,
                                   uintptr_t r1, uintptr_t r2);

#ifdef __cplusplus
extern "C" {
#endif

/* Creates (once) and returns the process-wide context; null for a wrong version. */
HTRACE TraceInit(uint32_t dwVersion, VMHINSTANCE hInstance);
/* Formats like wvsprintfW and writes; 0 written or filtered, -1 no context or output failed. */
int32_t Trace(HTRACE hTrace, int32_t nLevel, const wchar_t *pszFormat, ...);
int32_t TraceV(HTRACE hTrace, int32_t nLevel, const wchar_t *pszFormat, va_list args);
int32_t TraceText(HTRACE hTrace, int32_t nLevel, const wchar_t *pszText);
int32_t TraceIsEnabled(HTRACE hTrace, int32_t nLevel);
int32_t TraceGetLevel(HTRACE hTrace);
/* -1 re-reads "Level"; 0..9 sets it and writes it back to "trace.ini". */
int32_t TraceSetLevel(HTRACE hTrace, int32_t nLevel);
/* Restores the defaults, then installs both hooks when both are non-null. */
int32_t TraceSetHooks(HTRACE hTrace, void *pHook, TraceFilterProc pfnFilter,
                      TraceOutputProc pfnOutput);

/* The error-position line every failure path writes at level 3. */
int32_t TracePosition(const wchar_t *pszUnit, uint32_t nPosition);

#ifdef __cplusplus
}
#endif

#endif
