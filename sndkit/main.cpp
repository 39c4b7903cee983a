#include <langinfo.h>

#include <clocale>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "sndkit/sndprobe.h"

// Arguments arrive as the locale's multibyte text; the whole program is wide.
int main(int argc, char **argv) {
    // A reader that goes away must not cut the run short before the copy is written.
    signal(SIGPIPE, SIG_IGN);
    // Only the character set: numbers are read and printed the same everywhere.
    // ASCII reads alike in every locale, and loading one costs more than most
    // runs, so it is loaded only for arguments beyond ASCII.
    bool ascii = true;
    for (int i = 1; i < argc && ascii; ++i)
        for (const char *p = argv[i]; *p && ascii; ++p)
            ascii = static_cast<unsigned char>(*p) < 0x80;
    if (!ascii) {
        setlocale(LC_CTYPE, "");
        // Without a configured locale the C one cannot read non-ASCII file
        // names; take their bytes as UTF-8, as the console text is.
        if (!strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968"))
            setlocale(LC_CTYPE, "C.UTF-8");
    }
    std::vector<std::wstring> wide(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        std::mbstate_t state{};
        const char *src = argv[i];
        size_t n = std::mbsrtowcs(nullptr, &src, 0, &state);
        if (n == static_cast<size_t>(-1)) {
            // Undecodable bytes: keep them one byte per character rather than fail.
            for (const char *p = argv[i]; *p; ++p)
                wide[i].push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
            continue;
        }
        wide[i].resize(n);
        src = argv[i];
        state = {};
        std::mbsrtowcs(wide[i].data(), &src, n + 1, &state);
    }
    std::vector<wchar_t *> wargv;
    for (auto &w : wide)
        wargv.push_back(w.data());
    wargv.push_back(nullptr);
    return SndProbeMain(argc, wargv.data());
}
