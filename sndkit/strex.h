/* Wide-string helpers. Strings they return come from the counting allocator
 * and are released with StrRelease. */
#ifndef SNDKIT_STREX_H
#define SNDKIT_STREX_H

#include "VmLib/vmapi.h"

#ifdef __cplusplus
extern "C" {
#endif

wchar_t *StrDuplicate(const wchar_t *psz);
void StrRelease(wchar_t *psz);
/* Position of pszWhat in pszText without regard to case, or null. */
const wchar_t *StrFindNoCase(const wchar_t *pszText, const wchar_t *pszWhat);
/* Copies pszSource into pszDest (cchDest characters, always terminated),
 * expanding backslash escapes. */
void StrUnescape(const wchar_t *pszSource, wchar_t *pszDest, int32_t cchDest);

#ifdef __cplusplus
}
#endif

#endif
