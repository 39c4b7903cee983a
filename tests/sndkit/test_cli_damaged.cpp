// Files as servers really leave them: headers that claim the wrong byte rate.
#include <gtest/gtest.h>

#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;

const char kDesktopSilence[] = "-silence:-45dB,300,20";
const char kDesktopStrip[] = "-strip:tempWAVFile.wav,3,250";

void Store(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

void SetLe32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = uint8_t(x >> (8 * i));
}

TEST(CliDamaged, CutsComeFromTheAudioNotFromTheClaimedByteRate) {
    // 16-bit 8 kHz mono moves 16000 bytes a second whatever the header says.
    for (uint32_t avg : {0u, 32000u, 16001u, 8000u}) {
        SCOPED_TRACE(avg);
        TempDir dir;
        std::string src = dir / "claims.wav";
        ASSERT_TRUE(siggen::WriteWav16(src, Greeting(8000), 8000));
        auto bytes = ReadBytes(src);
        SetLe32(bytes, 28, avg);
        Store(src, bytes);
        Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(Events(r.out).size(), 2u) << r.out;
        ExpectCopyOf(dir / "tempWAVFile.wav", src, {{550, 3900}}, 16000);
    }
    // A block codec's rate cannot be worked out from the other fields: a
    // header that does not give it is refused, never trimmed at a guess.
    TempDir dir;
    std::string src = dir / "gsm.wav";
    ASSERT_TRUE(WriteSnd(src, SF_FORMAT_GSM610, 8000, 1, Greeting(8000)));
    auto bytes = ReadBytes(src);
    for (uint32_t avg : {0u, 3250u, 1626u}) {
        SCOPED_TRACE(avg);
        SetLe32(bytes, 28, avg);
        Store(src, bytes);
        Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "sndprobe: unable to open file: " + src + "\n\n");
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"gsm.wav"});
    }
}

} // namespace
