// Files as servers really leave them: headers that claim the wrong sizes or
// byte rates, recordings cut off at hang-up.
#include <gtest/gtest.h>

#include "sndkit/test_cli_support.h"

namespace {

using namespace cli;

std::vector<uint8_t> Slice(const std::vector<uint8_t> &v, size_t from, size_t count) {
    return std::vector<uint8_t>(v.begin() + long(from), v.begin() + long(from + count));
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
        WriteBytes(src, bytes);
        Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(Events(r.out).size(), 2u) << r.out;
        ExpectCopyOf(dir / "tempWAVFile.wav", src, {{550 * kMs8k, 3900 * kMs8k}});
    }
    // A block codec's rate cannot be worked out from the other fields: a
    // header that does not give it is refused, never trimmed at a guess.
    TempDir dir;
    std::string src = dir / "gsm.wav";
    ASSERT_TRUE(WriteSndfile(src, SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, Greeting(8000)));
    auto bytes = ReadBytes(src);
    for (uint32_t avg : {0u, 3250u, 1626u}) {
        SCOPED_TRACE(avg);
        SetLe32(bytes, 28, avg);
        WriteBytes(src, bytes);
        Result r = RunProbe(dir, {src, kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "sndprobe: unable to open file: " + src + "\n\n");
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"gsm.wav"});
    }
}

TEST(CliDamaged, RecordingsWithWrongSizesOrCutOffAtHangUpTrimWithACorrectHeader) {
    TempDir dir;
    std::string good = dir / "good.wav";
    ASSERT_TRUE(siggen::WriteWav16(good, Greeting(8000), 8000));
    const auto bytes = ReadBytes(good);
    ASSERT_EQ(bytes.size(), 44u + 80000);
    const auto fmt = Slice(bytes, 20, 16);
    struct Case {
        const char *what;
        uint32_t riff, data;
        size_t cbFile;
        std::vector<uint8_t> kept; // expected audio of the trimmed copy
    } cases[] = {
        {"RIFF size 0", 0, 80000, bytes.size(), Slice(bytes, 44 + 550 * 16, 3900 * 16)},
        {"sizes never updated", 36, 0xFFFFFFFFu, bytes.size(),
         Slice(bytes, 44 + 550 * 16, 3900 * 16)},
        // Cut inside the tone, mid-sample: whole samples up to the cut are
        // kept, as no trailing silence remains.
        {"hang-up at an odd byte", 80036, 80000, 44 + 60001,
         Slice(bytes, 44 + 550 * 16, 60000 - 550 * 16)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> v(bytes.begin(), bytes.begin() + long(c.cbFile));
        SetLe32(v, 4, c.riff);
        SetLe32(v, 40, c.data);
        WriteBytes(dir / "damaged.wav", v);
        Result r = RunProbe(dir, {"damaged.wav", kDesktopSilence, kDesktopStrip});
        EXPECT_EQ(r.status, 0) << r.out;
        ExpectWav(dir / "tempWAVFile.wav", fmt, c.kept);
    }

    // Stereo cut inside a frame, and GSM cut inside a block: rounded down to
    // whole blocks, which the copy then holds whole.
    siggen::Samples stereo;
    for (int16_t s : Greeting(8000))
        stereo.insert(stereo.end(), 2, s);
    ASSERT_TRUE(
        WriteSndfile(dir / "stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, stereo));
    ASSERT_TRUE(
        WriteSndfile(dir / "gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, Greeting(8000)));
    for (auto [name, align] : {std::pair<std::string, size_t>{"stereo.wav", 4}, {"gsm.wav", 65}}) {
        SCOPED_TRACE(name);
        auto v = ReadBytes(dir / name);
        auto chunks = Chunks(v);
        const size_t cbData = chunks["data"].size(), offData = v.size() - cbData;
        v.resize(offData + cbData / 2 + align / 2 + 1);
        WriteBytes(dir / "cut.wav", v);
        Result r = RunProbe(dir, {"cut.wav", kDesktopSilence, "-strip:out.wav,0,0"});
        EXPECT_EQ(r.status, 0) << r.out;
        auto out = ReadBytes(dir / "out.wav");
        EXPECT_TRUE(WellFormed(out));
        auto data = Chunks(out)["data"];
        EXPECT_EQ(data.size() % align, 0u);
        EXPECT_GT(data.size(), 0u);
        if (align == 65) {
            // The fact chunk counts the samples of the whole blocks kept.
            auto fact = Chunks(out)["fact"];
            ASSERT_EQ(fact.size(), 4u);
            EXPECT_EQ(fact[0] | fact[1] << 8 | fact[2] << 16, int(data.size() / 65 * 320));
            continue;
        }
        // What an independent reader makes of the copy: whole frames only.
        SF_INFO info{};
        SNDFILE *f = sf_open((dir / "out.wav").c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(size_t(info.frames), data.size() / 4);
        sf_close(f);
    }

    // Not RIFF/WAVE, or no format chunk: still refused.
    auto v = bytes;
    v[3] = 'X';
    WriteBytes(dir / "rifx.wav", v);
    v = bytes;
    std::copy_n("junk", 4, v.begin() + 12);
    WriteBytes(dir / "nofmt.wav", v);
    for (const char *name : {"rifx.wav", "nofmt.wav"}) {
        Result r = RunProbe(dir, {name, kDesktopSilence, "-strip:refused.wav,3,250"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, std::string("sndprobe: unable to open file: ") + name + "\n\n");
        EXPECT_FALSE(fs::exists(dir / "refused.wav"));
    }
}

} // namespace
