/* A wvsprintfW-style formatter: %s wide string, %c wide char, %d %i %u %ld %lu
 * %x %X %lx %lX, width, '0' and '-' flags, %%. No floating point. */
#ifndef SNDKIT_WFORMAT_H
#define SNDKIT_WFORMAT_H

#include <stdarg.h>
#include <stddef.h>
#include <wchar.h>

/* Writes at most cchBuf - 1 characters and always terminates (a longer line
 * is cut). Returns the number of characters written, without the terminator. */
int WFormatV(wchar_t *pszBuf, size_t cchBuf, const wchar_t *pszFormat, va_list args);
int WFormat(wchar_t *pszBuf, size_t cchBuf, const wchar_t *pszFormat, ...);

#endif
