// Every supported encoding decodes to 16-bit mono of the right length and
// content, compared with what an independent implementation wrote and reads.
#include <math.h>

#include <algorithm>

#include "sndfixture.h"
#include "wavfixture.h"

namespace {

// How close the decoded audio must come to what was written.
enum Match {
    kExact,       // the 16-bit source itself
    kIndependent, // what the independent implementation decodes
    kSnr,         // at least minSnrDb against the source
};

struct Encoding {
    const char *name;
    int format;
    Match match;
    double minSnrDb;
    bool monoOnly;
};

const Encoding kEncodings[] = {
    {"pcm_u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, kIndependent, 0, false},
    {"pcm_16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, kExact, 0, false},
    {"pcm_24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, kExact, 0, false},
    {"pcm_32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, kExact, 0, false},
    {"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kExact, 0, false},
    {"double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, kExact, 0, false},
    {"ext_pcm_16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, kExact, 0, false},
    {"ext_pcm_24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, kExact, 0, false},
    {"ext_float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, kExact, 0, false},
    {"ext_ulaw", SF_FORMAT_WAVEX | SF_FORMAT_ULAW, kIndependent, 0, false},
    {"ulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, kIndependent, 0, false},
    {"alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, kIndependent, 0, false},
    {"ima_adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, kSnr, 20, false},
    {"ms_adpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, kSnr, 18, false},
    {"gsm610", SF_FORMAT_WAV | SF_FORMAT_GSM610, kSnr, 8, true},
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
    const std::string path = dir.File("src.wav");
    // Not a whole number of milliseconds, nor of codec blocks.
    const size_t frames = size_t(rate) * 3 / 4 + 37;
    const std::vector<int16_t> source = TestSignal(frames, channels, rate);
    ASSERT_TRUE(WriteSndfile(path, enc.format, rate, channels, source)) << enc.name;

    int32_t msLength = -1;
    const std::vector<int16_t> got = DecodeAll(path, &msLength);
    int refChannels = 0;
    const std::vector<int16_t> independent = ReadSndfile(path, &refChannels);
    ASSERT_EQ(refChannels, channels);
    ASSERT_FALSE(got.empty()) << enc.name;
    if (enc.match == kSnr) {
        // The writer may count the padding of the last block as audio.
        EXPECT_GE(got.size(), frames) << enc.name;
        EXPECT_LE(got.size(), independent.size() / channels) << enc.name;
    } else {
        EXPECT_EQ(got.size(), frames) << enc.name;
    }
    EXPECT_EQ(msLength, int32_t(got.size() * 1000 / rate)) << enc.name;

    switch (enc.match) {
    case kExact:
        EXPECT_EQ(got, MixMono(source, channels)) << enc.name;
        break;
    case kIndependent:
        EXPECT_EQ(got, MixMono(independent, channels)) << enc.name;
        // G.711 and 8 bits keep the shape: well above 30 dB for this signal.
        EXPECT_GT(SnrDb(MixMono(source, channels), got), 30) << enc.name;
        break;
    case kSnr:
        EXPECT_GT(SnrDb(MixMono(source, channels), got), enc.minSnrDb) << enc.name;
        break;
    }
}

// Every encoding at every rate, in mono and stereo where it has stereo.
std::vector<std::tuple<int, int, int>> Cases() {
    std::vector<std::tuple<int, int, int>> v;
    for (int e = 0; e < int(std::size(kEncodings)); ++e)
        for (int rate : {8000, 11025, 22050})
            for (int channels = 1; channels <= (kEncodings[e].monoOnly ? 1 : 2); ++channels)
                v.emplace_back(e, rate, channels);
    return v;
}

INSTANTIATE_TEST_SUITE_P(AllEncodings, Decode, ::testing::ValuesIn(Cases()), [](const auto &info) {
    return std::string(kEncodings[std::get<0>(info.param)].name) + "_" +
           std::to_string(std::get<1>(info.param)) + "_" + std::to_string(std::get<2>(info.param)) +
           "ch";
});

TEST(DecodeCoded, AFactCountEndingInTheLastBlockIsTheLength) {
    TempDir dir;
    const std::string path = dir.File("ima.wav");
    ASSERT_TRUE(WriteSndfile(path, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 8000, 1,
                             TestSignal(6037, 1, 8000)));
    std::vector<uint8_t> bytes = ReadBytes(path);
    const size_t at = FindBody(bytes, "fact");
    ASSERT_LT(at + 4, bytes.size());
    for (uint32_t count : {6037u, 6037u / 2, 100000u}) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(count >> (8 * i));
        WriteBytes(path, bytes);
        int32_t ms = 0;
        // 12 blocks of 505: only a count inside the twelfth is believed.
        EXPECT_EQ(DecodeAll(path, &ms).size(), count == 6037 ? 6037u : 6060u) << count;
        EXPECT_EQ(ms, count == 6037 ? 754 : 757);
    }
}

TEST(DecodeRead, ConvertedReadsFollowOnAndStopAtTheEnd) {
    TempDir dir;
    const std::string path = dir.File("s.wav");
    const std::vector<int16_t> source = TestSignal(1001, 1, 8000);
    ASSERT_TRUE(WriteSndfile(path, SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, source));
    HWAVFILE h = WavOpen(WAV_VERSION, VmModuleHandle(), TempDir::Wide(path).c_str(), nullptr, 0, 0,
                         WAV_MODE_READ);
    ASSERT_NE(h, nullptr);
    std::vector<int16_t> buf(2000);
    // Not converting yet: no play-format reads.
    EXPECT_LT(WavReadFormatPlay(h, buf.data(), 100), 0);
    ASSERT_EQ(WavAcmConvertInit(h, 1, 0), 0);
    // An odd byte count delivers whole samples only.
    EXPECT_EQ(WavReadFormatPlay(h, buf.data(), 1001), 1000);
    EXPECT_EQ(WavReadFormatPlay(h, buf.data() + 500, 4000), 1002);
    EXPECT_EQ(WavReadFormatPlay(h, buf.data(), 4000), 0);
    EXPECT_EQ(WavAcmConvertTerm(h, 0), 0);
    EXPECT_EQ(WavClose(h), 0);
}

} // namespace
