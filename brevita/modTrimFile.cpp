#include "brevita/modTrimFile.h"

#include "brevita/AppEnv.h"
#include "brevita/AppError.h"
#include "brevita/SafeFiles.h"
#include "brevita/modCallExternalApp.h"
#include "brevita/modCommon.h"
#include "brevita/modLogging.h"
#include "brevita/modStartup.h"

#include <QDir>

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
        pid = StartHiddenProgram(SndprobeArguments(full, options), ProgramFolder().string());
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
    // A replace that failed has changed nothing, so nothing is counted.
    return onError.Step([&] { ReplaceFileAtomically(temp, full); });
}

} // namespace brevita
