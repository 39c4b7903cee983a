// Fuzz target: the whole run of one file with the desktop program's command
// line, the input and the destination in a scratch folder (named in full:
// the fuzzer's own paths are relative to where it was started). Whatever the
// input, the run leaves nothing in the folder but the input and, exactly when
// it succeeds, a complete WAV file or, where nothing was cut, the input byte
// for byte (a recording whose odd data ends it without its pad stays so).
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "common/files.h"
#include "sndprobe.h"
#include "vmwav/riff.h"

namespace {

std::string g_folder, g_input, g_dest;
std::wstring g_inputArg, g_stripArg;

int ReadMemory(void *pUser, uint64_t offset, void *pBuffer, size_t cb) {
    const auto &v = *static_cast<const std::vector<uint8_t> *>(pUser);
    if (offset > v.size() || cb > v.size() - offset)
        return -1;
    memcpy(pBuffer, v.data() + offset, cb);
    return 0;
}

// Sizes that are the file's own, chunks that fill it, and audio in it.
bool Complete(const std::string &path) {
    std::vector<uint8_t> v = ReadBytes(path);
    RiffInfo info;
    return RiffParse({&v, v.size(), ReadMemory}, &info) == RIFF_OK && !info.bClipped &&
           info.offEnd == v.size() && Le32(v, 4) == v.size() - 8;
}

// Anything in the folder besides what a run may leave there.
bool Strays() {
    for (const auto &e : std::filesystem::directory_iterator(g_folder)) {
        const std::string name = e.path().filename();
        if (name != "in.wav" && name != "tempWAVFile.wav" && name != "trace.ini")
            return true;
    }
    return false;
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
    atexit([] { std::filesystem::remove_all(g_folder); });
    setenv("SNDPROBE_TRACE_INI", (g_folder + "/trace.ini").c_str(), 1);
    // The event lines would drown the fuzzer's own.
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0)
        abort();
    close(null);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> input(data, data + size);
    if (!WriteBytes(g_input, input))
        abort();
    static wchar_t program[] = L"sndprobe", silence[] = L"-silence:-45dB,300,20";
    wchar_t *argv[] = {program, g_inputArg.data(), silence, g_stripArg.data(), nullptr};
    const int status = SndProbeMain(4, argv);
    std::error_code ec;
    const auto st = std::filesystem::symlink_status(g_dest, ec);
    const bool present = std::filesystem::exists(st);
    if ((status == 0 ? !std::filesystem::is_regular_file(st) ||
                           (!Complete(g_dest) && ReadBytes(g_dest) != input)
                     : present) ||
        Strays())
        __builtin_trap();
    unlink(g_dest.c_str());
    return 0;
}
