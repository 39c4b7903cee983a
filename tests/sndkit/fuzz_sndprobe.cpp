// Fuzz target: the whole run of one file with the desktop program's command
// line, the input and the destination in a scratch folder (named in full:
// the fuzzer's own paths are relative to where it was started). Whatever the
// input, the run leaves nothing in the folder but the input and, exactly when
// it succeeds, a complete WAV file.
#include <dirent.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sndprobe.h"
#include "vmwav/riff.h"

namespace {

std::string g_folder, g_input, g_dest;
std::wstring g_inputArg, g_stripArg;

struct Memory {
    std::vector<uint8_t> bytes;
};

int ReadMemory(void *pUser, uint64_t offset, void *pBuffer, size_t cb) {
    const auto &v = static_cast<const Memory *>(pUser)->bytes;
    if (offset > v.size() || cb > v.size() - offset)
        return -1;
    memcpy(pBuffer, v.data() + offset, cb);
    return 0;
}

bool Store(const char *path, const uint8_t *data, size_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        ok = n > 0;
        done += ok ? size_t(n) : 0;
    }
    return close(fd) == 0 && ok;
}

// Sizes that are the file's own, chunks that fill it, and audio in it.
bool Complete(const char *path) {
    Memory m;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        m.bytes.insert(m.bytes.end(), buf, buf + n);
    close(fd);
    RiffInfo info;
    if (RiffParse({&m, m.bytes.size(), ReadMemory}, &info) != RIFF_OK)
        return false;
    uint32_t riff;
    memcpy(&riff, m.bytes.data() + 4, 4);
    return riff == m.bytes.size() - 8 && !info.bClipped && info.offEnd == m.bytes.size();
}

// Anything in the folder besides what a run may leave there.
bool Strays() {
    DIR *d = opendir(g_folder.c_str());
    if (d == nullptr)
        return true;
    bool strays = false;
    while (const dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && name != "in.wav" && name != "tempWAVFile.wav" &&
            name != "trace.ini")
            strays = true;
    }
    closedir(d);
    return strays;
}

void RemoveFolder() {
    unlink(g_input.c_str());
    unlink(g_dest.c_str());
    unlink((g_folder + "/trace.ini").c_str());
    rmdir(g_folder.c_str());
}

std::wstring Wide(const std::string &s) {
    return std::wstring(s.begin(), s.end());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzz-sndprobe-XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        abort();
    g_folder = tmpl;
    g_input = g_folder + "/in.wav";
    g_dest = g_folder + "/tempWAVFile.wav";
    g_inputArg = Wide(g_input);
    g_stripArg = L"-strip:" + Wide(g_dest) + L",3,250";
    atexit(RemoveFolder);
    setenv("SNDPROBE_TRACE_INI", (g_folder + "/trace.ini").c_str(), 1);
    // The event lines would drown the fuzzer's own.
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0)
        abort();
    close(null);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!Store(g_input.c_str(), data, size))
        abort();
    static wchar_t program[] = L"sndprobe", silence[] = L"-silence:-45dB,300,20";
    wchar_t *argv[] = {program, g_inputArg.data(), silence, g_stripArg.data(), nullptr};
    const int status = SndProbeMain(4, argv);
    struct stat st;
    const bool present = lstat(g_dest.c_str(), &st) == 0;
    if (status == 0 ? !present || !S_ISREG(st.st_mode) || !Complete(g_dest.c_str()) : present)
        __builtin_trap();
    if (Strays())
        __builtin_trap();
    unlink(g_dest.c_str());
    return 0;
}
