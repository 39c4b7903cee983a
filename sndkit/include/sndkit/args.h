/* Option lookups on the argument vector, list fields and level conversions.
 * An option is "-name[:value]" or "/name[:value]"; names match without
 * regard to case. Because "/" also starts absolute file names, an argument
 * that begins with "/" is an option only when letters alone follow up to the
 * ":" or the end ("/SILENCE:-30dB" is, "/home/a.wav" and "/x.wav" are not).
 * Values are cut to ARG_VALUE_CHARS - 1 characters. */
#ifndef SNDKIT_ARGS_H
#define SNDKIT_ARGS_H

#include "VmLib/vmapi.h"

#define ARG_VALUE_CHARS 512
#define ARGF_UNESCAPE 0x00000001u

#ifdef __cplusplus
extern "C" {
#endif

/* Index of the first argument at or after nIndex that matches pszName (null
 * name: the first plain argument), its value copied into pszValue when given;
 * -1 when none matches. */
SNDPROBE_API int32_t GetArgOption(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                  const wchar_t *pszName, wchar_t *pszValue, int32_t cchValue);
/* A new copy (StrRelease) of the option's non-empty value, else of the
 * default, else null. */
SNDPROBE_API wchar_t *GetArgString(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                   const wchar_t *pszName, const wchar_t *pszDefault,
                                   uint32_t dwFlags);
/* The option's non-empty value as a whole number, else nDefault. */
SNDPROBE_API int32_t GetArgInt(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                               const wchar_t *pszName, int32_t nDefault);
/* nDefault when absent; true when the value is empty or not a number. */
SNDPROBE_API int32_t GetArgBool(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                const wchar_t *pszName, int32_t nDefault);
/* The option's non-empty value as a double, else dDefault. */
SNDPROBE_API double GetArgFloat(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                const wchar_t *pszName, double dDefault);

/* Non-zero when pszArg is an option argument rather than a plain one. */
int32_t IsArgOption(const wchar_t *pszArg);

/* Fields of a modifiable list, split in place at any of pszSeparators; the
 * cursor becomes null when the list is used up. Empty fields are kept. */
wchar_t *NextToken(wchar_t **ppszCursor, const wchar_t *pszSeparators);
wchar_t *NextTokenString(wchar_t **ppszCursor, const wchar_t *pszSeparators,
                         const wchar_t *pszDefault, uint32_t dwFlags);
int32_t NextTokenInt(wchar_t **ppszCursor, const wchar_t *pszSeparators, int32_t nDefault);
double NextTokenFloat(wchar_t **ppszCursor, const wchar_t *pszSeparators, double dDefault);

/* Non-zero when the whole text (blanks around it allowed) is a whole number,
 * a decimal number, or a decimal number followed by "dB" or "%". */
int32_t IsIntText(const wchar_t *psz);
int32_t IsFloatText(const wchar_t *psz);
int32_t IsLevelText(const wchar_t *psz);

/* "-40dB", "50%", "0.5" or a PCM value such as "328", as a linear amplitude. */
double ParseLevel(const wchar_t *pszText);
double DbToLinear(double d);
double LinearToDb(double x);
int32_t LinearToPcm(double x);
double PcmToLinear(int16_t s);

#ifdef __cplusplus
}
#endif

#endif
