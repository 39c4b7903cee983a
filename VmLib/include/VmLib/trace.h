/* The process-wide trace channel: numbered levels, "trace.ini" settings,
 * replaceable filter and output hooks. Internal to libsndprobe.
 *
 * "trace.ini" is the file named by SNDPROBE_TRACE_INI (when set and not
 * empty), else $XDG_CONFIG_HOME/sndprobe/trace.ini, else
 * ~/.config/sndprobe/trace.ini; section "TRACE", keys "Level" (default 0; a
 * stored value outside 0..9 counts as the nearest of them) and "OutputTo"
 * (default 1: the debugger channel; 2: standard output; else nowhere).
 * Formatting follows wideprintf.h. Single-threaded: one text buffer serves all. */
#ifndef VMLIB_TRACE_H
#define VMLIB_TRACE_H

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

/* Where the default output writes. */
#define TRACE_OUTPUT_DEBUGGER 1
#define TRACE_OUTPUT_STDOUT 2

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

/* Creates (once) and returns the process-wide context; null for a version
 * other than TRACE_VERSION or a null module handle. */
HTRACE TraceInit(uint32_t dwVersion, VMHINSTANCE hInstance);
/* Formats like wvsprintfW and writes; 0 written or filtered, -1 no context or
 * output failed. A line longer than the buffer is cut. */
int32_t Trace(HTRACE hTrace, int32_t nLevel, const wchar_t *pszFormat, ...);
int32_t TraceV(HTRACE hTrace, int32_t nLevel, const wchar_t *pszFormat, va_list args);
/* Writes pszText unformatted; -1 for no context, a null text or a failed output. */
int32_t TraceText(HTRACE hTrace, int32_t nLevel, const wchar_t *pszText);
/* The filter's answer for nLevel; 0 without a context. */
int32_t TraceIsEnabled(HTRACE hTrace, int32_t nLevel);
/* The current level, or -1 without a context. */
int32_t TraceGetLevel(HTRACE hTrace);
/* -1 re-reads "Level"; 0..9 sets it and writes it back to "trace.ini" (0
 * without writing when it is already the level); anything else is refused
 * with -1. -1 too when the write-back fails; the new level is in force then. */
int32_t TraceSetLevel(HTRACE hTrace, int32_t nLevel);
/* Restores the defaults, then installs both hooks when both are non-null. */
int32_t TraceSetHooks(HTRACE hTrace, void *pHook, TraceFilterProc pfnFilter,
                      TraceOutputProc pfnOutput);

/* The error-position line every failure path writes at level 3. */
int32_t TracePosition(const wchar_t *pszUnit, uint32_t nPosition);
/* A failure path's end: its error position, then -1 for the caller to return. */
static inline int32_t TraceFail(const wchar_t *pszUnit, uint32_t nPosition) {
    TracePosition(pszUnit, nPosition);
    return -1;
}
/* A failure that does not end the operation: its error position, and the
 * operation's result becomes -1. */
static inline void TraceFailResult(int32_t *pResult, const wchar_t *pszUnit, uint32_t nPosition) {
    *pResult = TraceFail(pszUnit, nPosition);
}
/* The same line for a unit that returns failure codes of its own enum
 * instead of writing positions: its caller writes the code as the number. */
int32_t TraceCode(const wchar_t *pszUnit, int32_t nCode);

/* The two channels, for output hooks of programs: the debugger channel
 * (standard error while a debugger is attached, else dropped) and standard
 * output as UTF-8. 0 on success (a dropped line included), -1 on a failed write. */
int32_t TraceWriteDebugger(const wchar_t *pszText);
int32_t TraceWriteStdout(const wchar_t *pszText);

/* The file "trace.ini" stands for, by the rules above (UTF-8 path). */
const char *TraceIniPath(void);

#ifdef __cplusplus
}
#endif

#endif
