#pragma once
// Trimming one WAV file: sndprobe, started in the state folder, writes
// the trimmed copy as the temporary file there; a copy that differs in size
// from the input replaces it (or goes to a given destination).

#include <filesystem>
#include <string>
#include <vector>

namespace brevita {

// The trim settings as typed in the window; blanks around them are dropped.
struct TrimOptions {
    std::string silenceLevel = "-45";  // dB
    std::string silenceToTrim = "300"; // ms
    std::string silencePadding = "250";
    // The threshold follows each recording's noise floor instead of the level.
    bool followLineNoise = false;
    // A DTMF key after the last speech is cut with the trailing silence.
    bool cutClosingKey = false;
    // A dry run: a changed file's result goes below this folder (at the
    // place it has below the stream files folder) instead of over it.
    std::string dryRunFolder;
    // The batch's trim slot (0 and up) whose temporary file the trim uses.
    int worker = 0;
};

inline constexpr int32_t kSndprobeWaitMs = 5000;

// The temporary file of a trim slot in the state folder (the program folder
// in a development build): tempWAVFile.wav for slot 0, tempWAVFile2.wav for
// slot 1, and so on.
std::filesystem::path TempWavPath(int worker = 0);
// Removes every slot's temporary file and whatever a killed sndprobe left
// beside them; only while no trim runs.
void RemoveTrimTemporaries();
// The test output: TrimTest.WAV in the user's home folder.
std::string TestOutputPath();

// A path with a "/" is used as it stands; any other is a file name in the
// stream files folder.
std::string FullWavPath(const std::string &wavPath);

// Where a dry run puts the result for fullPath.
std::filesystem::path DryRunPath(const std::string &fullPath, const std::string &dryRunFolder);

// The seconds of audio in a WAV file, from its header as the WAV library
// reads it (the audio bytes present over the byte rate); 0 when it cannot.
double WavSeconds(const std::filesystem::path &file);

// True when output is a complete WAV file (every size in its header agrees
// with its length) in input's format, holding no more audio than input: what
// a trim of input can be, and a file cut short cannot.
bool IsCompleteTrimOf(const std::filesystem::path &output, const std::filesystem::path &input);

// sndprobe's argument vector for one file.
std::vector<std::string> SndprobeArguments(const std::string &fullPath, const TrimOptions &options);

// How the options trim, for the log and the dry run: "level -45 dB",
// "following line noise", either with "; closing key cut".
std::string TrimModeText(const TrimOptions &options);

// Trims wavPath (in options.worker's temporary file; trims in different
// slots may run at once); with an empty destinationPath the input is replaced in
// place when silence was removed (or, in a dry run, the result is written
// to DryRunPath and the input left alone), otherwise the result (trimmed or not) is
// written to destinationPath and the input is left alone. True when the
// result differs in size from the input. A run of sndprobe that does not
// end within the wait is ended; one that fails (no output, an incomplete
// one, or a non-zero exit status) is logged and changes nothing.
bool TrimWAVFile(const std::string &wavPath, const std::string &destinationPath,
                 const TrimOptions &options);

} // namespace brevita
