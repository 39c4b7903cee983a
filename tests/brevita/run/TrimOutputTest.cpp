// What TrimWAVFile accepts from sndprobe: only a complete trim of its input,
// never a file cut short, whatever sndprobe's exit status said; and reading
// it never waits on something that is not a file.
#include "TrimFile.h"
#include "Recordings.h"
#include "TestSupport.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <future>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

TEST(TrimOutput, OnlyACompleteTrimOfTheInputIsAccepted) {
    TempDir tmp;
    const fs::path input = tmp / "in.wav", output = tmp / "out.wav";
    ASSERT_TRUE(WriteRecording(input.string(), 1200, 900));
    ASSERT_TRUE(SndprobeTrim(input.string(), output.string()));
    const std::string whole = ReadFile(output), in = ReadFile(input);
    ASSERT_LT(whole.size(), in.size());
    EXPECT_TRUE(IsCompleteTrimOf(output, input));
    EXPECT_TRUE(IsCompleteTrimOf(input, input));

    // More audio than the input holds: the input's data plus a few bytes.
    std::string longer = in + "abcd";
    const uint32_t riff = uint32_t(longer.size() - 8), data = uint32_t(longer.size() - 44);
    std::memcpy(longer.data() + 4, &riff, 4);
    std::memcpy(longer.data() + 40, &data, 4);
    std::string rate = whole;
    rate[24] ^= 1; // another sample rate in the format chunk
    std::vector<std::pair<std::string, std::string>> refused = {
        {"longer", longer}, {"rate", rate}, {"no WAV", "RIFF"}};
    for (size_t keep : {size_t{0}, size_t{8}, size_t{12}, size_t{44}, whole.size() / 2,
                        whole.size() - 2, whole.size() - 1})
        refused.emplace_back("cut at " + std::to_string(keep), whole.substr(0, keep));
    for (const auto &[what, bytes] : refused) {
        WriteFile(tmp / "variant.wav", bytes);
        EXPECT_FALSE(IsCompleteTrimOf(tmp / "variant.wav", input)) << what;
    }

    // Nothing that is not a file is waited on.
    const fs::path fifo = tmp / "fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto result = std::async(std::launch::async, [&] {
        return IsCompleteTrimOf(output, fifo) || IsCompleteTrimOf(fifo, input) ||
               IsCompleteTrimOf(tmp.path(), input) || IsCompleteTrimOf(tmp / "absent.wav", input);
    });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "blocked on a named pipe";
    EXPECT_FALSE(result.get());
}

namespace {

// 8-bit noise of an odd number of samples after leadMs of silence, the data
// chunk ending the file without its pad byte; the RIFF size counts that
// byte or not, as recorders differ.
std::string UnpaddedRecording(double leadMs, bool riffCountsPad) {
    siggen::Samples s =
        siggen::Concat({siggen::Silence(leadMs, 8000), siggen::Noise(3000, 1500, 8000, 7)});
    if (s.size() % 2 == 0)
        s.pop_back();
    const std::vector<uint8_t> pcm = siggen::ToPcm8(s);
    const WAVEFORMATEX wfx = siggen::PcmFormat(8000, 8);
    const uint32_t cbData = uint32_t(pcm.size()), cbFmt = 16;
    const uint32_t cbRiff = 36 + cbData + (riffCountsPad ? 1 : 0);
    std::string v = "RIFF";
    v.append(reinterpret_cast<const char *>(&cbRiff), 4);
    v += "WAVEfmt ";
    v.append(reinterpret_cast<const char *>(&cbFmt), 4);
    v.append(reinterpret_cast<const char *>(&wfx), 16);
    v += "data";
    v.append(reinterpret_cast<const char *>(&cbData), 4);
    v.append(pcm.begin(), pcm.end());
    return v;
}

} // namespace

TEST(TrimOutput, AnOddRecordingWithoutItsLastPadByteIsCopiedAsItIsAndAccepted) {
    TempDir tmp;
    const fs::path input = tmp / "in.wav", output = tmp / "out.wav";
    for (bool counted : {false, true}) {
        SCOPED_TRACE(counted ? "RIFF size counts the pad" : "RIFF size of the file");
        WriteFile(input, UnpaddedRecording(0, counted));
        EXPECT_TRUE(IsCompleteTrimOf(input, input));
        ASSERT_TRUE(SndprobeTrim(input.string(), output.string()));
        EXPECT_EQ(ReadFile(output), ReadFile(input)) << "nothing to cut";
        EXPECT_TRUE(IsCompleteTrimOf(output, input));

        WriteFile(input, UnpaddedRecording(1200, counted));
        ASSERT_TRUE(SndprobeTrim(input.string(), output.string()));
        EXPECT_LT(fs::file_size(output), fs::file_size(input));
        EXPECT_TRUE(IsCompleteTrimOf(output, input));
    }
}
