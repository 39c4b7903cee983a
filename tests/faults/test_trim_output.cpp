// What TrimWAVFile accepts from sndprobe: only a complete trim of its input,
// never a file cut short, whatever sndprobe's exit status said; and reading
// it never waits on something that is not a file.
#include "brevita/modTrimFile.h"
#include "../brevita/TestSupport.h"
#include "../common/siggen.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <future>

using namespace brevita;
using namespace brevita_test;
namespace fs = std::filesystem;

namespace {

struct TrimOutput : ::testing::Test {
    TempDir tmp;
    std::string input = (tmp / "in.wav").string();
    fs::path output = tmp / "out.wav";

    void SetUp() override {
        ASSERT_TRUE(siggen::WriteWav16(
            input,
            siggen::Concat({siggen::Silence(1200, 8000), siggen::Noise(3000, 1500, 8000, 3),
                            siggen::Silence(900, 8000)}),
            8000));
        const std::string cmd = "'" + std::string(BREVITA_BIN_DIR) + "/sndprobe' '" + input +
                                "' -silence:-45dB,300,20 '-strip:" + output.string() +
                                ",3,250' >/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        ASSERT_LT(fs::file_size(output), fs::file_size(input));
    }
    // The output with its bytes changed by edit.
    fs::path Variant(const std::string &name, const std::function<void(std::string &)> &edit) {
        std::string bytes = ReadFile(output);
        edit(bytes);
        WriteFile(tmp / name, bytes);
        return tmp / name;
    }
};

} // namespace

TEST_F(TrimOutput, SndprobesOwnTrimAndTheUnchangedCopyAreAccepted) {
    EXPECT_TRUE(IsCompleteTrimOf(output, input));
    EXPECT_TRUE(IsCompleteTrimOf(input, input));
}

TEST_F(TrimOutput, AnOutputCutShortIsRefusedWhereverItStops) {
    const std::string whole = ReadFile(output);
    for (size_t keep : {size_t{0}, size_t{8}, size_t{12}, size_t{44}, whole.size() / 2,
                        whole.size() - 2, whole.size() - 1}) {
        SCOPED_TRACE(keep);
        EXPECT_FALSE(
            IsCompleteTrimOf(Variant("cut.wav", [&](std::string &b) { b.resize(keep); }), input));
    }
}

TEST_F(TrimOutput, AnotherFormatOrMoreAudioThanTheInputIsRefused) {
    // Another sample rate in the format chunk.
    EXPECT_FALSE(IsCompleteTrimOf(Variant("rate.wav", [](std::string &b) { b[24] ^= 1; }), input));
    // More audio than the input holds: the input's data plus a few bytes.
    const std::string in = ReadFile(input);
    EXPECT_FALSE(IsCompleteTrimOf(Variant("long.wav",
                                          [&](std::string &b) {
                                              b = in + "abcd";
                                              const uint32_t riff = uint32_t(b.size() - 8);
                                              const uint32_t data = uint32_t(b.size() - 44);
                                              std::memcpy(b.data() + 4, &riff, 4);
                                              std::memcpy(b.data() + 40, &data, 4);
                                          }),
                                  input));
    // Not a WAV file at all.
    EXPECT_FALSE(IsCompleteTrimOf(Variant("text.wav", [](std::string &b) { b = "RIFF"; }), input));
}

TEST_F(TrimOutput, NothingThatIsNotAFileIsWaitedOn) {
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
