/* File names: wide names as the system sees them, and the program's folder.
 *
 * A name reaches the file system with exactly the bytes it arrived with,
 * whatever the locale: a byte that does not decode in the locale stands in
 * the wide name as FILENAME_BYTE_ESCAPE + the byte (a lone low surrogate,
 * which no decoder produces), and goes back out as that byte. */
#ifndef VMWAV_FILENAME_H
#define VMWAV_FILENAME_H

#include <string.h>
#include <wchar.h>

#include <string>

#define FILENAME_BYTE_ESCAPE 0xDC00

/* Multibyte text in the locale as a wide string, escaping what does not
 * decode. Inline: the program's main uses it on its arguments too. */
inline std::wstring FileNameFromLocal(const char *psz) {
    std::wstring wide;
    mbstate_t state{};
    size_t left = psz ? strlen(psz) : 0;
    while (left > 0) {
        wchar_t wc;
        size_t used = mbrtowc(&wc, psz, left, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2) || used == 0) {
            wc = static_cast<wchar_t>(FILENAME_BYTE_ESCAPE + static_cast<unsigned char>(*psz));
            used = 1;
            state = {};
        }
        wide.push_back(wc);
        psz += used;
        left -= used;
    }
    return wide;
}

/* The wide name in the locale's multibyte text, escaped bytes as they came;
 * false when it cannot be converted or is empty. */
bool FileNameToLocal(const wchar_t *pszName, std::string *pOut);

/* The folder holding libsndprobe (or the program it is linked into), without
 * a trailing "/"; empty when it cannot be found. */
std::string ProgramFolder(void);

/* A name without any "/" is taken to be in the program's folder. */
std::string InProgramFolder(const std::string &name);

#endif
