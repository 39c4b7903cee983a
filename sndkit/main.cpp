#include <langinfo.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sndprobe.h"
#include "vmwav/filename.h"

// Arguments arrive as the locale's multibyte text; the whole program is wide.
int main(int argc, char **argv) {
    // What every tool answers; the bare usage on a bad command line keeps
    // its status 1.
    if (argc == 2 && !strcmp(argv[1], "--version")) {
        fputs("sndprobe " SNDPROBE_VERSION "\n", stdout);
        return 0;
    }
    if (argc == 2 && !strcmp(argv[1], "--help"))
        argc = 1;
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
    // File names among them keep their bytes even where they do not decode.
    std::vector<std::wstring> wide;
    for (int i = 0; i < argc; ++i)
        wide.push_back(FileNameFromLocal(argv[i]));
    std::vector<wchar_t *> wargv;
    for (auto &w : wide)
        wargv.push_back(w.data());
    wargv.push_back(nullptr);
    return SndProbeMain(argc, wargv.data());
}
