/* The option helpers behind the exported GetArg* functions (sndprobe.h)
 * and list fields. */
#ifndef SNDKIT_ARGS_H
#define SNDKIT_ARGS_H

#include "VmLib/vmapi.h"

#ifdef __cplusplus
extern "C" {
#endif

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

#ifdef __cplusplus
}
#endif

#endif
