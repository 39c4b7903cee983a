#include "brevita/modTrimFile.h"

#include "brevita/AppEnv.h"
#include "brevita/AppError.h"
#include "brevita/SafeFiles.h"
#include "brevita/modCallExternalApp.h"
#include "brevita/modCommon.h"
#include "brevita/modLogging.h"
#include "brevita/modStartup.h"
#include "brevita/modTrimLock.h"

#include <QDir>

#include <cstring>
#include <fstream>

#include <sys/stat.h>

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

} // namespace

fs::path TempWavPath() {
    return ProgramFolder() / "tempWAVFile.wav";
}

std::string TestOutputPath() {
    return JoinPath(QDir::homePath().toStdString(), "TrimTest.WAV");
}

std::string FullWavPath(const std::string &wavPath) {
    if (wavPath.find('/') != std::string::npos) {
        return wavPath;
    }
    return StreamFilesPath + wavPath;
}

fs::path DryRunPath(const std::string &fullPath, const std::string &dryRunFolder) {
    std::string rel = fullPath;
    if (rel.compare(0, StreamFilesPath.size(), StreamFilesPath) == 0) {
        rel = rel.substr(StreamFilesPath.size());
    } else {
        rel = "elsewhere/" + rel;
    }
    return fs::path(dryRunFolder) / fs::path(rel).relative_path();
}

double WavSeconds(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    char riff[12];
    if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) || std::memcmp(riff + 8, "WAVE", 4)) {
        return 0;
    }
    uint32_t byteRate = 0;
    // Chunks follow one another, each padded to an even size.
    for (char head[8]; in.read(head, 8);) {
        uint32_t size;
        std::memcpy(&size, head + 4, 4);
        if (!std::memcmp(head, "fmt ", 4) && size >= 16) {
            char fmt[16];
            if (!in.read(fmt, 16)) {
                return 0;
            }
            std::memcpy(&byteRate, fmt + 8, 4);
            in.seekg(size - 16 + (size & 1), std::ios::cur);
        } else if (!std::memcmp(head, "data", 4)) {
            return byteRate ? double(size) / byteRate : 0;
        } else {
            in.seekg(size + (size & 1), std::ios::cur);
        }
    }
    return 0;
}

std::vector<std::string> SndprobeArguments(const std::string &fullPath,
                                           const TrimOptions &options) {
    return {(ProgramFolder() / "sndprobe").string(), fullPath,
            "-silence:" + TrimBlanks(options.silenceLevel) + "dB," +
                TrimBlanks(options.silenceToTrim) + ",20",
            "-strip:tempWAVFile.wav,3," + TrimBlanks(options.silencePadding)};
}

bool TrimWAVFile(const std::string &wavPath, const std::string &destinationPath,
                 const TrimOptions &options) {
    if (wavPath.empty()) {
        return false;
    }
    ErrorHandler onError(ErrorReport::FormMessage, "TrimWAVFile", "frmMain");
    const std::string full = FullWavPath(wavPath);
    WriteToLog("    Full path to WAV file=" + full);
    if (!IsFile(full)) {
        WriteToLog("(error) file not found on hard drive - invalid path in SQL");
        return false;
    }
    uintmax_t inputSize = 0;
    const fs::path temp = TempWavPath();
    // Without the input's size, or with an old output still in place, no
    // result of this run could be trusted.
    if (!onError.Step([&] { inputSize = fs::file_size(full); }) ||
        !onError.Step([&] { RemoveIfThere(temp); })) {
        return false;
    }
    if (!destinationPath.empty() && !onError.Step([&] { RemoveIfThere(destinationPath); })) {
        return false;
    }

    int32_t pid = 0;
    onError.Step([&] {
        // sndprobe holds the trim lock with us: should we die before it
        // ends, its output cannot land in the middle of the next run.
        pid = StartHiddenProgram(SndprobeArguments(full, options), ProgramFolder().string(),
                                 TrimLock::HeldFd());
    });
    WaitForProcessExit(pid, kSndprobeWaitMs);
    // A run still going after the wait is ended here: its output could
    // otherwise land during the next file's run. A failed run is no result.
    const int32_t status = pid > 0 ? FinishProcess(pid) : -1;
    if (status != 0 || !IsFile(temp)) {
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
    // A replace that failed has changed nothing, so nothing is counted.
    return onError.Step([&] { ReplaceFileAtomically(temp, full); });
}

} // namespace brevita
