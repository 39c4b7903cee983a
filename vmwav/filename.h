/* File names: wide names as the system sees them, and the program's folder. */
#ifndef VMWAV_FILENAME_H
#define VMWAV_FILENAME_H

#include <wchar.h>

#include <string>

/* The wide name in the locale's multibyte text; false when it cannot be
 * converted or is empty. */
bool FileNameToLocal(const wchar_t *pszName, std::string *pOut);

/* The folder holding libsndprobe (or the program it is linked into), without
 * a trailing "/"; empty when it cannot be found. */
std::string ProgramFolder(void);

/* A name without any "/" is taken to be in the program's folder. */
std::string InProgramFolder(const std::string &name);

#endif
