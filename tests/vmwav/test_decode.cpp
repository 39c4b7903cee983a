// Every supported encoding decodes to 16-bit mono of the right length and
// content, compared with what an independent implementation wrote and reads.
#include <math.h>

#include <algorithm>

#include "sndfixture.h"
#include "wavfixture.h"

namespace {

// What the decoded audio must equal besides coming within minSnrDb of the
// source: the 16-bit source itself (kExact), what the independent
// implementation decodes (kIndependent: G.711 and 8 bits keep the shape, well
// above 30 dB for this signal), or nothing more (kSnr).
enum Match { kExact, kIndependent, kSnr };

const struct Encoding {
    const char *name;
    int format;
    Match match;
    double minSnrDb;
} kEncodings[] = {
    {"pcm_u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, kIndependent, 30},
    {"pcm_16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, kExact, 0},
    {"pcm_24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, kExact, 0},
    {"pcm_32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, kExact, 0},
    {"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kExact, 0},
    {"double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, kExact, 0},
    {"ext_pcm_24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, kExact, 0},
    {"ext_float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, kExact, 0},
    {"ext_ulaw", SF_FORMAT_WAVEX | SF_FORMAT_ULAW, kIndependent, 30},
    {"ulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, kIndependent, 30},
    {"alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, kIndependent, 30},
    {"ima_adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, kSnr, 20},
    {"ms_adpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, kSnr, 18},
    {"gsm610", SF_FORMAT_WAV | SF_FORMAT_GSM610, kSnr, 8},
};

double SnrDb(const std::vector<int16_t> &ref, const std::vector<int16_t> &got) {
    double sig = 0, err = 0;
    for (size_t i = 0; i < ref.size() && i < got.size(); ++i) {
        sig += double(ref[i]) * ref[i];
        err += (double(ref[i]) - got[i]) * (double(ref[i]) - got[i]);
    }
    return err == 0 ? 200 : 10 * log10(sig / err);
}

class Decode : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(Decode, LengthAndContentMatchTheSource) {
    const auto [e, rate, channels] = GetParam();
    const Encoding &enc = kEncodings[e];
    TempDir dir;
    const std::string path = dir / "src.wav";
    // Not a whole number of milliseconds, nor of codec blocks.
    const size_t frames = size_t(rate) * 3 / 4 + 37;
    const std::vector<int16_t> source = TestSignal(frames, channels, rate);
    ASSERT_TRUE(WriteSndfile(path, enc.format, rate, channels, source));

    int32_t msLength = -1;
    const std::vector<int16_t> got = DecodeAll(path, &msLength);
    int refChannels = 0;
    const std::vector<int16_t> independent = ReadSndfile(path, &refChannels);
    ASSERT_EQ(refChannels, channels);
    ASSERT_FALSE(got.empty());
    if (enc.match == kSnr) {
        // The writer may count the padding of the last block as audio.
        EXPECT_GE(got.size(), frames);
        EXPECT_LE(got.size(), independent.size() / channels);
    } else {
        EXPECT_EQ(got.size(), frames);
    }
    EXPECT_EQ(msLength, int32_t(got.size() * 1000 / rate));
    const std::vector<int16_t> mono = MixMono(source, channels);
    if (enc.match == kExact) {
        EXPECT_EQ(got, mono);
    } else if (enc.match == kIndependent) {
        EXPECT_EQ(got, MixMono(independent, channels));
    }
    EXPECT_GT(SnrDb(mono, got), enc.minSnrDb);
}

// Every encoding at 8000 Hz and at 11025 Hz, whose milliseconds are no whole
// number of samples, in mono and stereo (GSM 6.10 has no stereo).
std::vector<std::tuple<int, int, int>> Cases() {
    std::vector<std::tuple<int, int, int>> v;
    for (int e = 0; e < int(std::size(kEncodings)); ++e)
        for (int rate : {8000, 11025})
            for (int channels : {1, 2})
                if (channels == 1 || kEncodings[e].format != (SF_FORMAT_WAV | SF_FORMAT_GSM610))
                    v.emplace_back(e, rate, channels);
    return v;
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, int, int>> &t) {
    const auto [e, rate, channels] = t.param;
    return std::string(kEncodings[e].name) + "_" + std::to_string(rate) + "_" +
           std::to_string(channels) + "ch";
}

INSTANTIATE_TEST_SUITE_P(AllEncodings, Decode, ::testing::ValuesIn(Cases()), CaseName);

TEST(DecodeCoded, AFactCountEndingInTheLastBlockIsTheLength) {
    TempDir dir;
    const std::string path = dir / "ima.wav";
    ASSERT_TRUE(WriteSndfile(path, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 8000, 1,
                             TestSignal(6037, 1, 8000)));
    std::vector<uint8_t> bytes = ReadBytes(path);
    const size_t at = FindBody(bytes, "fact");
    ASSERT_LT(at + 4, bytes.size());
    for (uint32_t count : {6037u, 6037u / 2, 100000u}) {
        SetLe32(bytes, at, count);
        WriteBytes(path, bytes);
        int32_t ms = 0;
        // 12 blocks of 505: only a count inside the twelfth is believed.
        EXPECT_EQ(DecodeAll(path, &ms).size(), count == 6037 ? 6037u : 6060u) << count;
        EXPECT_EQ(ms, count == 6037 ? 754 : 757);
    }
}

} // namespace
