/* A wvsprintfW-style formatter: %s wide string, %hs (or %S) narrow string,
 * %c wide char, %d %i %u %x %X (each also with 'l'), width, precision, the
 * '-', '0' and '#' flags, %%. No floating point: format such text first with
 * swprintf and print it through %s.
 *
 * As on the original 32-bit platform every integer conversion consumes a
 * 32-bit argument: pass int32_t / uint32_t, never long or a pointer. 'l' is
 * accepted and changes nothing. A pointer printed with %08X is passed as its
 * low 32 bits, WIDEPRINTF_PTR32(p), so the lines keep their eight-digit layout;
 * that is enough to pair the allocation and release lines of one block.
 * A null %s prints "(null)"; an unknown conversion is copied as it stands. */
#ifndef VMLIB_WIDEPRINTF_H
#define VMLIB_WIDEPRINTF_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#define WIDEPRINTF_PTR32(p) (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)))

/* Writes at most cchBuf - 1 characters and always terminates (a longer line
 * is cut). Returns the number of characters written, without the terminator;
 * 0 (and nothing written) when cchBuf is 0. */
int WidePrintfV(wchar_t *pszBuf, size_t cchBuf, const wchar_t *pszFormat, va_list args);
int WidePrintf(wchar_t *pszBuf, size_t cchBuf, const wchar_t *pszFormat, ...);

#endif
