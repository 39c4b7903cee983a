#include "TrimFile.h"

#include "AppEnv.h"
#include "AppError.h"
#include "SafeFiles.h"
#include "modCallExternalApp.h"
#include "modCommon.h"
#include "modLogging.h"
#include "Startup.h"
#include "TrimLock.h"
#include "UniqueFd.h"
#include "vmwav/riff.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevita {

namespace fs = std::filesystem;

namespace {

bool IsFile(const fs::path &p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Removes whatever is at p (a read-only file too; a link itself, never its
// target). Raises when something stays.
void RemoveIfThere(const fs::path &p) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(p, ec))) {
        fs::remove(p);
    }
}

// sndprobe writes its output under a hidden name first and renames it once
// complete; a run that was killed leaves the hidden file. Only this
// program's runs write there, each slot one at a time, so any of the
// slot's found now is dead.
void RemoveUnfinishedOutputs(const std::string &tempName) {
    const std::string prefix = "." + tempName + ".";
    std::error_code ec;
    for (fs::directory_iterator it(StateFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > prefix.size() + 4 && name.starts_with(prefix) && name.ends_with(".tmp")) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

// tempWAVFile.wav, tempWAVFile2.wav, ...: a slot's file, whatever the
// number of slots the run that made it had.
bool IsTempWavName(const std::string &name) {
    constexpr std::string_view stem = "tempWAVFile", ext = ".wav";
    if (!name.starts_with(stem) || !name.ends_with(ext)) {
        return false;
    }
    const std::string digits = name.substr(stem.size(), name.size() - stem.size() - ext.size());
    return digits.empty() ||
           (digits[0] != '0' && digits.find_first_not_of("0123456789") == std::string::npos);
}

// A WAV file's format chunk and data size, and whether every size in its
// header agrees with the file's length (as it does once a writer has closed
// the file, and not in one cut short).
struct WavHead {
    std::string fmt;
    uint64_t dataSize = 0;
    bool complete = false;
};

// Never waits: whatever is at file now may be a named pipe, not a recording.
std::optional<WavHead> ReadWavHead(const fs::path &file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st;
    char riff[12];
    const bool readable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                          ::pread(fd, riff, 12, 0) == 12 && !std::memcmp(riff, "RIFF", 4) &&
                          !std::memcmp(riff + 8, "WAVE", 4);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    std::optional<WavHead> h;
    if (readable) {
        h.emplace();
        uint32_t riffSize;
        std::memcpy(&riffSize, riff + 4, 4);
        bool fmt = false, data = false, inside = true;
        uint64_t at = 12;
        while (h && at + 8 <= size) {
            char head[8];
            uint32_t n = 0;
            if (::pread(fd, head, 8, static_cast<off_t>(at)) != 8) {
                h.reset();
                break;
            }
            std::memcpy(&n, head + 4, 4);
            inside = inside && at + 8 + n <= size;
            if (!fmt && !std::memcmp(head, "fmt ", 4)) {
                fmt = true;
                h->fmt.resize(std::min<uint32_t>(n, 4096));
                const ssize_t got =
                    ::pread(fd, h->fmt.data(), h->fmt.size(), static_cast<off_t>(at + 8));
                h->fmt.resize(got > 0 ? static_cast<size_t>(got) : 0);
            } else if (!data && !std::memcmp(head, "data", 4)) {
                data = true;
                h->dataSize = n;
            }
            at += 8 + uint64_t{n} + (n & 1);
        }
        // A last odd chunk may end the file without its pad byte, the RIFF
        // size counting that byte or not; sndprobe copies such a file as it is.
        if (h) {
            const uint64_t end = uint64_t{riffSize} + 8;
            h->complete = fmt && data && inside && (end == size || (end == size + 1 && at == end));
        }
    }
    ::close(fd);
    return h;
}

} // namespace

bool IsCompleteTrimOf(const fs::path &output, const fs::path &input) {
    const auto out = ReadWavHead(output);
    const auto in = ReadWavHead(input);
    return out && in && out->complete && out->fmt == in->fmt && out->dataSize <= in->dataSize;
}

fs::path TempWavPath(int worker) {
    return StateFolder() /
           (worker > 0 ? "tempWAVFile" + std::to_string(worker + 1) + ".wav" : "tempWAVFile.wav");
}

void RemoveTrimTemporaries() {
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(StateFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        // sndprobe's unfinished output: "." + the slot's file name + "." + tag + ".tmp"
        if (name.starts_with(".") && name.ends_with(".tmp")) {
            const size_t wav = name.find(".wav.");
            name = wav == std::string::npos ? "" : name.substr(1, wav + 3);
        }
        if (IsTempWavName(name)) {
            found.push_back(it->path());
        }
    }
    for (const fs::path &p : found) {
        std::error_code ignored;
        fs::remove(p, ignored);
    }
}

std::string TestOutputPath() {
    return JoinPath(QDir::homePath().toStdString(), "TrimTest.WAV");
}

std::string FullWavPath(const std::string &wavPath) {
    // sndprobe runs in the program folder and Brevita wherever it was
    // started: only an absolute path names the same file for both.
    if (!wavPath.empty() && wavPath.front() == '/') {
        return wavPath;
    }
    return JoinPath(StreamFilesPath, wavPath);
}

fs::path DryRunPath(const std::string &fullPath, const std::string &dryRunFolder) {
    const fs::path live = fs::path(StreamFilesPath).lexically_normal();
    const fs::path full = fs::path(fullPath).lexically_normal();
    fs::path rel = full.lexically_relative(live);
    fs::path out = dryRunFolder;
    if (rel.empty() || *rel.begin() == "..") {
        out /= "elsewhere";
        rel = full.relative_path();
    }
    // Each part becomes a plain name inside the scratch folder, so no
    // database path can lead out of it.
    for (const fs::path &part : rel) {
        const std::string name = part.string();
        if (name.empty() || name == ".") {
            continue;
        }
        out /= name == ".." ? std::string("%2E%2E") : name;
    }
    return out;
}

double WavSeconds(const fs::path &file) {
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        return 0;
    }
    const auto read = [](void *user, uint64_t offset, void *buffer, size_t cb) {
        const int in = *static_cast<const int *>(user);
        for (size_t done = 0; done < cb;) {
            const ssize_t n = ::pread(in, static_cast<char *>(buffer) + done, cb - done,
                                      static_cast<off_t>(offset + done));
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                return -1;
            }
            done += static_cast<size_t>(n);
        }
        return 0;
    };
    int in = fd.get();
    RiffInfo info;
    if (RiffParse({&in, static_cast<uint64_t>(st.st_size), read}, &info) != RIFF_OK ||
        info.fmt.size() < 16) {
        return 0;
    }
    uint32_t byteRate;
    std::memcpy(&byteRate, info.fmt.data() + 8, 4);
    return byteRate ? double(info.cbData) / byteRate : 0;
}

std::vector<std::string> SndprobeArguments(const std::string &fullPath,
                                           const TrimOptions &options) {
    const std::string level =
        options.followLineNoise ? std::string("auto") : TrimBlanks(options.silenceLevel) + "dB";
    std::vector<std::string> args = {(ProgramFolder() / "sndprobe").string(), fullPath,
                                     "-silence:" + level + "," + TrimBlanks(options.silenceToTrim) +
                                         ",20"};
    // Strip flag 8 counts a key after the last speech, and the air around
    // it, as trailing silence; it needs the DTMF detector to find the key.
    if (options.cutClosingKey) {
        args.push_back("-dtmf");
    }
    args.push_back("-strip:" + TempWavPath(options.worker).filename().string() + "," +
                   (options.cutClosingKey ? "11" : "3") + "," + TrimBlanks(options.silencePadding));
    return args;
}

std::string TrimModeText(const TrimOptions &options) {
    std::string text = options.followLineNoise
                           ? std::string("following line noise")
                           : "level " + TrimBlanks(options.silenceLevel) + " dB";
    if (options.cutClosingKey) {
        text += "; closing key cut";
    }
    return text;
}

bool TrimWAVFile(const std::string &wavPath, const std::string &destinationPath,
                 const TrimOptions &options) {
    if (wavPath.empty()) {
        return false;
    }
    ErrorHandler onError(ErrorReport::FormMessage, "TrimWAVFile", "frmMain");
    const std::string full = FullWavPath(wavPath);
    onError.About("file " + full);
    WriteToLog("    Full path to WAV file=" + full);
    if (!IsFile(full)) {
        WriteToLog("(error) file not found on hard drive - invalid path in SQL");
        return false;
    }
    uintmax_t inputSize = 0;
    std::optional<FileIdentity> input;
    const fs::path temp = TempWavPath(options.worker);
    // Without the input's size, or with an old output still in place, no
    // result of this run could be trusted.
    if (!onError.Step([&] {
            inputSize = fs::file_size(full);
            input = IdentityOf(full);
        }) ||
        !onError.Step([&] {
            RemoveUnfinishedOutputs(temp.filename().string());
            RemoveIfThere(temp);
        })) {
        return false;
    }
    if (!destinationPath.empty() && !onError.Step([&] { RemoveIfThere(destinationPath); })) {
        return false;
    }

    int32_t pid = 0;
    onError.Step([&] {
        // sndprobe holds the trim lock with us: should we die before it
        // ends, its output cannot land in the middle of the next run.
        pid = StartHiddenProgram(SndprobeArguments(full, options), StateFolder().string(),
                                 TrimLock::HeldFd());
    });
    WaitForProcessExit(pid, kSndprobeWaitMs);
    // A run still going after the wait is ended here: its output could
    // otherwise land during the next file's run. A failed run is no result,
    // and neither is an output cut short, whatever the exit status said.
    const int32_t status = pid > 0 ? FinishProcess(pid) : -1;
    if (status != 0 || !IsFile(temp) || !IsCompleteTrimOf(temp, full)) {
        WriteToLog("(error) file trim function failed to run properly.  Skipping file");
        return false;
    }

    bool changed = false;
    if (!onError.Step([&] { changed = fs::file_size(temp) != inputSize; })) {
        return false;
    }
    if (!destinationPath.empty()) {
        onError.Step([&] { ReplaceFileAtomically(temp, destinationPath); });
        return changed;
    }
    if (!changed) {
        return false;
    }
    if (!options.dryRunFolder.empty()) {
        return onError.Step([&] {
            const fs::path target = DryRunPath(full, options.dryRunFolder);
            fs::create_directories(target.parent_path());
            ReplaceFileAtomically(temp, target);
        });
    }
    // A replace that failed has changed nothing, so nothing is counted. The
    // file must still be the one sndprobe read.
    return onError.Step([&] { ReplaceFileAtomically(temp, full, input ? &*input : nullptr); });
}

} // namespace brevita
