#include "vmwav/filename.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <vector>

bool FileNameToLocal(const wchar_t *pszName, std::string *pOut) {
    if (pszName == nullptr || *pszName == L'\0')
        return false;
    std::string out;
    mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (const wchar_t *p = pszName; *p; ++p) {
        if (*p >= FILENAME_BYTE_ESCAPE + 0x80 && *p <= FILENAME_BYTE_ESCAPE + 0xFF) {
            out.push_back(char(*p - FILENAME_BYTE_ESCAPE));
            continue;
        }
        const size_t n = wcrtomb(buf, *p, &state);
        if (n == size_t(-1))
            return false;
        out.append(buf, n);
    }
    *pOut = std::move(out);
    return true;
}

std::string ProgramFolder(void) {
    Dl_info info;
    std::string path;
    if (dladdr(reinterpret_cast<void *>(&ProgramFolder), &info) != 0 && info.dli_fname != nullptr)
        path = info.dli_fname;
    else if (char *exe = realpath("/proc/self/exe", nullptr)) {
        // A statically linked program has no loader to ask: it is its own file.
        path = exe;
        free(exe);
    } else {
        return std::string();
    }
    char *real = realpath(path.c_str(), nullptr);
    if (real != nullptr) {
        path = real;
        free(real);
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string(".");
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::string InProgramFolder(const std::string &name) {
    if (name.find('/') != std::string::npos)
        return name;
    std::string folder = ProgramFolder();
    if (folder.empty())
        return name;
    if (folder.back() != '/')
        folder += '/';
    return folder + name;
}
