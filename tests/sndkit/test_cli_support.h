// Runs the built sndprobe in a folder of its own and reads what it wrote.
#ifndef TESTS_SNDKIT_TEST_CLI_SUPPORT_H
#define TESTS_SNDKIT_TEST_CLI_SUPPORT_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/siggen.h"
#include "vmwav/sndfixture.h"

namespace cli {

namespace fs = std::filesystem;

struct Result {
    int status = -1; // -1 when killed by a signal
    int signal = 0;
    std::string out;
};

// s as one word for the shell.
inline std::string Quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The program with args, run in folder after the shell commands in before
// (limits, traps, planted files) and under the command line in wrapper, if
// any; its trace.ini lives in folder too.
inline Result RunProbeAfter(const TempDir &folder, const std::string &before,
                            const std::vector<std::string> &args, const std::string &wrapper = "") {
    std::string command = "cd " + Quoted(folder.Path()) +
                          " && export SNDPROBE_TRACE_INI=" + Quoted(folder / "trace.ini") + " && " +
                          before + " exec " + wrapper + " " + Quoted(BinDir() + "/sndprobe");
    for (const std::string &a : args)
        command += " " + Quoted(a);
    Result r;
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        r.out.append(buf, n);
    int status = pclose(p);
    if (WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        r.signal = WTERMSIG(status);
    return r;
}

inline Result RunProbe(const TempDir &folder, const std::vector<std::string> &args) {
    return RunProbeAfter(folder, "", args);
}

// The options Brevita starts sndprobe with.
const char kDesktopSilence[] = "-silence:-45dB,300,20";
const char kDesktopStrip[] = "-strip:tempWAVFile.wav,3,250";

// dst is a well-formed WAV file with this fmt chunk and these audio bytes.
inline void ExpectWav(const std::string &dst, const std::vector<uint8_t> &fmt,
                      const std::vector<uint8_t> &data) {
    auto file = ReadBytes(dst);
    EXPECT_TRUE(WellFormed(file)) << dst;
    auto chunks = Chunks(file);
    EXPECT_EQ(chunks["fmt "], fmt);
    EXPECT_TRUE(chunks["data"] == data)
        << "data " << chunks["data"].size() << " bytes, expected " << data.size();
}

// Bytes of a millisecond of 16-bit mono at 8 kHz.
constexpr size_t kMs8k = 16;

// dst holds src's audio bytes {offset, count} of each stretch, in order; a
// count reaching past the end takes the data through its last byte.
inline void ExpectCopyOf(const std::string &dst, const std::string &src,
                         const std::vector<std::pair<size_t, size_t>> &stretches) {
    auto source = Chunks(ReadBytes(src));
    const auto &data = source["data"];
    std::vector<uint8_t> kept;
    for (auto [offset, count] : stretches) {
        ASSERT_LE(offset, data.size());
        count = std::min(count, data.size() - offset);
        kept.insert(kept.end(), data.begin() + long(offset), data.begin() + long(offset + count));
    }
    ExpectWav(dst, source["fmt "], kept);
}

// dst's audio is the run of src's audio that starts at msStart, rounded down
// to a whole block, and lasts msDuration in whole bytes, rounded up to whole
// blocks.
inline void ExpectSliceOf(const std::string &dst, const std::string &src, long msStart,
                          long msDuration) {
    auto source = Chunks(ReadBytes(src)), copy = Chunks(ReadBytes(dst));
    const auto &fmt = source["fmt "], &data = source["data"], &kept = copy["data"];
    ASSERT_GE(fmt.size(), 16u);
    EXPECT_EQ(copy["fmt "], fmt);
    const double align = fmt[12] | fmt[13] << 8, perMs = (fmt[8] | fmt[9] << 8) / 1000.0;
    const auto at = std::search(data.begin(), data.end(), kept.begin(), kept.end());
    ASSERT_NE(at, data.end());
    const double offset = double(at - data.begin()), start = double(msStart) * perMs,
                 length = std::floor(double(msDuration) * perMs);
    EXPECT_EQ(std::fmod(offset, align), 0.0);
    EXPECT_TRUE(offset <= start && start < offset + align) << offset << " for " << start;
    EXPECT_TRUE(double(kept.size()) >= length && double(kept.size()) < length + align)
        << kept.size() << " for " << length;
}

struct Event {
    std::string type;
    long start, duration, value;
};

inline std::vector<Event> Events(const std::string &out) {
    static const std::regex line(
        R"(sndprobe: dwType=(\w+), msStart=(-?\d+), msDuration=(-?\d+), \w+=(-?\d+)\n)");
    std::vector<Event> events;
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
        events.push_back({(*it)[1], std::stol((*it)[2]), std::stol((*it)[3]), std::stol((*it)[4])});
    return events;
}

// 800 ms of digital silence, 3400 ms of a half-scale tone, 800 ms of silence.
inline siggen::Samples Greeting(unsigned rate) {
    return siggen::Concat({siggen::Silence(800, rate), siggen::Sine(440, 16384, 3400, rate),
                           siggen::Silence(800, rate)});
}

// The greeting at 8000 Hz as folder/name; its path.
inline std::string GreetingFile(const TempDir &folder, const std::string &name) {
    const std::string path = folder / name;
    EXPECT_TRUE(siggen::WriteWav16(path, Greeting(8000), 8000)) << path;
    return path;
}

} // namespace cli

#endif
