/* Wide-string helpers. Strings they return come from the counting allocator
 * and are released with StrRelease. */
#ifndef SNDKIT_STREX_H
#define SNDKIT_STREX_H

#include "VmLib/vmapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new copy of psz; null (after an error position) for a null argument or
 * when memory is exhausted. */
wchar_t *StrDuplicate(const wchar_t *psz);
/* Releases a string of StrDuplicate; null is accepted. */
void StrRelease(wchar_t *psz);
/* Position of pszWhat in pszText without regard to case, or null (also when
 * either is null). */
const wchar_t *StrFindNoCase(const wchar_t *pszText, const wchar_t *pszWhat);
/* Copies pszSource into pszDest (cchDest characters, always terminated),
 * expanding backslash escapes (\b \f \n \r \t \v, \xHH, \uHHHH, octal). */
void StrUnescape(const wchar_t *pszSource, wchar_t *pszDest, int32_t cchDest);

/* Numbers as _wtoi and wcstod read them, independent of the user's locale:
 * leading blanks skipped, reading stops at the first character that does not
 * fit, no digits (or a null text) gives 0. Whole numbers saturate at the
 * 32-bit range; hexadecimal, "inf" and "nan" are not read. */
int32_t StrToInt(const wchar_t *psz);
double StrToDouble(const wchar_t *psz);

#ifdef __cplusplus
}
#endif

#endif
