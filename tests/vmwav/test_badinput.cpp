// Damaged and foreign files fail cleanly: no handle, no crash, nothing read
// beyond what the file holds (the sanitizer build checks the last two).
#include "wavfixture.h"

namespace {

std::vector<uint8_t> Audio(size_t cb) {
    return std::vector<uint8_t>(cb, 0x11);
}

std::vector<uint8_t> Cut(std::vector<uint8_t> v, size_t n) {
    v.resize(n);
    return v;
}

// The audio bytes the library finds in the file; -1 when it does not open.
int32_t DataSizeOf(const TempDir &dir, const std::vector<uint8_t> &bytes) {
    WriteBytes(dir / "case.wav", bytes);
    HWAVFILE h = OpenRead(dir / "case.wav");
    if (h == nullptr)
        return -1;
    const int32_t cb = WavGetDataSize(h);
    EXPECT_EQ(WavClose(h), 0);
    return cb;
}

// Opened files always hold audio: an empty data chunk is refused.
bool Opens(const TempDir &dir, const std::vector<uint8_t> &bytes) {
    return DataSizeOf(dir, bytes) >= 0;
}

// Recordings cut off at hang-up and sizes never updated are read as far as
// whole blocks go; what cannot be a WAV file at all still does not open.
TEST(WavBadInput, DamagedFilesOpenAsFarAsTheirWholeBlocksGo) {
    TempDir dir;
    const auto fmt = FmtBody(WAVE_FORMAT_PCM, 1, 8000, 2, 16);
    const std::vector<uint8_t> good = BuildRiff({{"fmt ", fmt}, {"data", Audio(200)}});
    ASSERT_EQ(DataSizeOf(dir, good), 200);
    // Every truncation: nothing before the first whole sample, then whole samples.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_EQ(DataSizeOf(dir, Cut(good, n)), n < 46 ? -1 : int32_t(n - 44) / 2 * 2) << n;

    std::vector<uint8_t> v = good;
    for (uint32_t cb : {202u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        SetLe32(v, 40, cb);
        EXPECT_EQ(DataSizeOf(dir, v), 200) << "data chunk claims " << cb;
    }
    for (uint32_t riff : {0u, 235u, 237u, 0xFFFFFFFFu}) {
        v = good;
        SetLe32(v, 4, riff);
        EXPECT_EQ(DataSizeOf(dir, v), 200) << "RIFF size " << riff;
    }
    v = good;
    v.insert(v.end(), {'L', 'I', 'S', 'T', 0xFF, 0, 0, 0, 'I', 'N'});
    EXPECT_EQ(DataSizeOf(dir, v), 200) << "a chunk after the audio cut short";

    v = good;
    v[8] = 'A';
    EXPECT_FALSE(Opens(dir, v)) << "not a WAVE form";
    v = good;
    v[3] = 'X';
    EXPECT_FALSE(Opens(dir, v)) << "not RIFF";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"data", Audio(200)}}))) << "no fmt";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"fmt ", fmt}}))) << "no data";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"data", Audio(200)}, {"fmt ", fmt}}))) << "data first";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"fmt ", fmt}, {"data", {}}}))) << "empty data";
    EXPECT_FALSE(
        Opens(dir, Cut(BuildRiff({{"fmt ", fmt}, {"LIST", Audio(300)}, {"data", Audio(2)}}), 100)))
        << "the chunk before the audio cut short";
}

// The copy of a damaged file is a correct one: the sizes are those of what
// it holds, and a chunk cut short after the audio is left out.
TEST(WavBadInput, CopiesOfDamagedFilesHaveCorrectSizes) {
    TempDir dir;
    const auto fmt = FmtBody(WAVE_FORMAT_PCM, 1, 8000, 2, 16);
    const std::vector<uint8_t> list = {'I', 'N', 'F', 'O'};
    const auto whole = BuildRiff({{"fmt ", fmt}, {"data", Audio(200)}, {"LIST", list}});
    std::vector<uint8_t> v = whole;
    SetLe32(v, 4, 0);
    WriteBytes(dir / "riff0.wav", v);
    ASSERT_TRUE(CopyStretch(dir / "riff0.wav", dir / "copy.wav", 0, -1));
    EXPECT_EQ(ReadBytes(dir / "copy.wav"), whole);

    v = whole;
    v.resize(v.size() - 2); // the LIST chunk loses its end
    WriteBytes(dir / "cut.wav", v);
    ASSERT_TRUE(CopyStretch(dir / "cut.wav", dir / "copy.wav", 0, -1));
    EXPECT_EQ(ReadBytes(dir / "copy.wav"), BuildRiff({{"fmt ", fmt}, {"data", Audio(200)}}));

    v = Cut(whole, 44 + 151); // the audio itself cut off mid-sample
    WriteBytes(dir / "hangup.wav", v);
    ASSERT_TRUE(CopyStretch(dir / "hangup.wav", dir / "copy.wav", 0, -1));
    EXPECT_EQ(ReadBytes(dir / "copy.wav"), BuildRiff({{"fmt ", fmt}, {"data", Audio(150)}}));
}

TEST(WavBadInput, FormatsTooShortOrInconsistentDoNotOpen) {
    TempDir dir;
    // Samples per block 500, seven coefficient pairs: a complete MS ADPCM tail.
    std::vector<uint8_t> msTail(4 + 7 * 4, 0);
    msTail[0] = 0xF4;
    msTail[1] = 1;
    msTail[2] = 7;
    auto msFmt = FmtBody(WAVE_FORMAT_ADPCM, 1, 8000, 256, 4, 32, msTail);
    SetLe32(msFmt, 8, 4096); // 256 bytes a block, 500 samples: 4096 bytes a second
    EXPECT_TRUE(Opens(dir, BuildRiff({{"fmt ", msFmt}, {"data", Audio(256)}})));
    SetLe32(msFmt, 8, 4000);
    EXPECT_FALSE(Opens(dir, BuildRiff({{"fmt ", msFmt}, {"data", Audio(256)}})))
        << "a block codec with another byte rate";
    const std::vector<std::pair<const char *, std::vector<uint8_t>>> fmts = {
        {"14-byte fmt", Cut(FmtBody(1, 1, 8000, 2, 16), 14)},
        {"cbSize beyond the chunk", FmtBody(1, 1, 8000, 2, 16, 4, {1, 2})},
        {"IMA without cbSize", FmtBody(WAVE_FORMAT_IMA_ADPCM, 1, 8000, 256, 4)},
        {"IMA with too many samples",
         FmtBody(WAVE_FORMAT_IMA_ADPCM, 1, 8000, 256, 4, 2, {0xFF, 1})},
        {"MS ADPCM without its coefficients",
         FmtBody(WAVE_FORMAT_ADPCM, 1, 8000, 256, 4, 4, {244, 1, 7, 0})},
        {"MS ADPCM coefficients beyond cbSize",
         FmtBody(WAVE_FORMAT_ADPCM, 1, 8000, 256, 4, 28, Cut(msTail, 28))},
        {"GSM with cbSize 0", FmtBody(WAVE_FORMAT_GSM610, 1, 8000, 65, 0, 0)},
        {"GSM stereo", FmtBody(WAVE_FORMAT_GSM610, 2, 8000, 65, 0, 2, {0x40, 1})},
        {"extensible with cbSize 0", FmtBody(WAVE_FORMAT_EXTENSIBLE, 1, 8000, 2, 16, 0)},
        {"no channels", FmtBody(1, 0, 8000, 2, 16)},
        {"no rate", FmtBody(1, 1, 0, 2, 16)},
        {"no block size", FmtBody(1, 1, 8000, 0, 16)},
        {"bits beyond the block", FmtBody(1, 1, 8000, 2, 24)},
        {"float of 16 bits", FmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 2, 16)},
        {"mu-law of 16 bits", FmtBody(WAVE_FORMAT_MULAW, 1, 8000, 2, 16)},
    };
    for (const auto &[what, body] : fmts)
        EXPECT_FALSE(Opens(dir, BuildRiff({{"fmt ", body}, {"data", Audio(260)}}))) << what;
}

TEST(WavBadInput, FoldersForeignFilesAndMissingFilesDoNotOpen) {
    TempDir dir;
    EXPECT_EQ(OpenRead(dir.Path()), nullptr);
    EXPECT_EQ(OpenRead(dir / "absent.wav"), nullptr);
    WriteBytes(dir / "text.wav", std::vector<uint8_t>(1000, 'x'));
    EXPECT_EQ(OpenRead(dir / "text.wav"), nullptr);
    EXPECT_EQ(OpenRead(""), nullptr);
    EXPECT_EQ(WavOpen(WAV_VERSION + 1, VmModuleHandle(), Wide(dir / "text.wav").c_str(), nullptr, 0,
                      0, WAV_MODE_READ),
              nullptr);
    WAVEFORMATEX *fmt = WavFormatPcm(8000, 16, 1, 0);
    ASSERT_NE(fmt, nullptr);
    EXPECT_EQ(Create(dir / "no/such.wav", fmt), nullptr);
    EXPECT_EQ(WavFormatFree(fmt), 0);
}

TEST(WavBadInput, AnUnknownTagIsReadRawButNotConvertedAndWrongCallsFail) {
    TempDir dir;
    const std::string path = dir / "g729.wav";
    std::vector<uint8_t> fmt = FmtBody(0x0133, 1, 8000, 10, 0, 0);
    SetLe32(fmt, 8, 1000); // average bytes per second
    WriteBytes(path, BuildRiff({{"fmt ", fmt}, {"data", Audio(2500)}}));
    HWAVFILE h = OpenRead(path);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WavGetLength(h), 2500);
    EXPECT_EQ(WavAcmConvertInit(h, 1, 0), -1);
    int16_t play[8];
    EXPECT_EQ(WavReadFormatPlay(h, play, sizeof play), -1);
    uint8_t raw[16];
    EXPECT_EQ(WavRead(h, raw, sizeof raw), 16);
    EXPECT_EQ(raw[15], 0x11);
    WAVEFORMATEX stereo = {WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0};
    EXPECT_EQ(WavSetFormat(h, &stereo, WAV_FORMAT_PLAY), -1) << "reads are mono";
    EXPECT_EQ(WavFormatFree(&stereo), -1) << "not a record of ours";
    EXPECT_EQ(WavWrite(h, "x", 1), -1) << "a read file is not written";
    EXPECT_EQ(WavAcmConvertTerm(h, 0), 0);
    EXPECT_EQ(WavClose(h), 0);
    EXPECT_EQ(WavClose(h), -1) << "closed twice";
    EXPECT_EQ(WavGetLength(h), -1);
    // Still copied byte for byte.
    ASSERT_TRUE(CopyStretch(path, path + ".copy", 0, -1));
    EXPECT_EQ(ReadBytes(path + ".copy"), ReadBytes(path));
}

// The fuzzer starts from these; each must get past the parser to be of use.
TEST(WavBadInput, TheFuzzCorpusSeedsAreValidFiles) {
    size_t n = 0;
    for (const auto &e : std::filesystem::directory_iterator(VMWAV_CORPUS_DIR)) {
        HWAVFILE h = OpenRead(e.path().string());
        ASSERT_NE(h, nullptr) << e.path();
        const bool bUnknown = e.path().filename() == "unknown_tag.wav";
        EXPECT_EQ(WavAcmConvertInit(h, 1, 0), bUnknown ? -1 : 0) << e.path();
        EXPECT_EQ(WavClose(h), 0);
        ++n;
    }
    EXPECT_GE(n, 10u);
}

} // namespace
