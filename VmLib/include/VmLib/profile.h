/* Private profile files: "[section]" headers and "key=value" lines, names
 * compared without regard to case, ';' starting a comment line. */
#ifndef VMLIB_PROFILE_H
#define VMLIB_PROFILE_H

#include <stdint.h>

/* The integer value of key in section; nDefault when the file, the section
 * or the key is missing or the value is empty, 0 when it is not a number. */
int32_t ProfileGetInt(const char *pszPath, const char *pszSection, const char *pszKey,
                      int32_t nDefault);

/* Sets key in section to pszValue, keeping every other line as it was and
 * adding the section or the key when missing; creates the file and its folder
 * when needed. The file is replaced whole, never left half written. 0 or -1. */
int32_t ProfileWriteString(const char *pszPath, const char *pszSection, const char *pszKey,
                           const char *pszValue);

#endif
