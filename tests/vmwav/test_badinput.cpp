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

bool Opens(const TempDir &dir, const std::vector<uint8_t> &bytes) {
    WriteBytes(dir / "case.wav", bytes);
    HWAVFILE h = OpenRead(dir / "case.wav");
    EXPECT_TRUE(h == nullptr || WavClose(h) == 0);
    return h != nullptr;
}

TEST(WavBadInput, DamagedFilesDoNotOpen) {
    TempDir dir;
    const auto fmt = FmtBody(WAVE_FORMAT_PCM, 1, 8000, 2, 16);
    const std::vector<uint8_t> good = BuildRiff({{"fmt ", fmt}, {"data", Audio(200)}});
    ASSERT_TRUE(Opens(dir, good));
    // Every truncation, so also every RIFF size beyond the file.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(Opens(dir, Cut(good, n))) << n;

    std::vector<uint8_t> v = good;
    SetLe32(v, 40, 202); // the data chunk claims more than is there
    EXPECT_FALSE(Opens(dir, v)) << "chunk size beyond the file";
    SetLe32(v, 40, 0xFFFFFFF0u);
    EXPECT_FALSE(Opens(dir, v)) << "huge chunk size";
    for (int32_t delta : {-2, -1, 1, 2}) {
        v = good;
        SetLe32(v, 4, uint32_t(int32_t(v.size()) - 8 + delta));
        EXPECT_FALSE(Opens(dir, v)) << "RIFF size off by " << delta;
    }
    v = good;
    v.insert(v.end(), 8, 0);
    EXPECT_FALSE(Opens(dir, v)) << "bytes after the RIFF chunk";
    v = good;
    v[8] = 'A';
    EXPECT_FALSE(Opens(dir, v)) << "not a WAVE form";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"data", Audio(200)}}))) << "no fmt";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"fmt ", fmt}}))) << "no data";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"data", Audio(200)}, {"fmt ", fmt}}))) << "data first";
    EXPECT_FALSE(Opens(dir, BuildRiff({{"fmt ", fmt}, {"data", {}}}))) << "empty data";
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
