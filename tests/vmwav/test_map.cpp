// The read-only view of a source's audio data.
#include "wavfixture.h"

TEST(WavMap, TheViewHoldsTheStoredDataBytesUntilClose) {
    TempDir dir;
    std::vector<uint8_t> audio(3001);
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = uint8_t(i * 7 + 3);
    // A chunk before the data moves it off the start of any page.
    WriteBytes(dir / "a.wav", BuildRiff({{"fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 8000, 1, 8)},
                                         {"LIST", std::vector<uint8_t>(4099, 1)},
                                         {"data", audio}}));
    HWAVFILE h = OpenRead(dir / "a.wav");
    ASSERT_NE(h, nullptr);
    const auto *p = static_cast<const uint8_t *>(WavMapData(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(p, p + audio.size()), audio);
    EXPECT_EQ(WavMapData(h), p); // made once
    // Raw reads are not moved by the view.
    uint8_t first[2];
    EXPECT_EQ(WavRead(h, first, 2), 2);
    EXPECT_EQ(first[1], audio[1]);
    EXPECT_EQ(WavClose(h), 0);

    // Only a file opened for reading has a view.
    TraceCapture trace(3);
    const WAVEFORMATEX wfx = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    HWAVFILE hNew = Create(dir / "new.wav", &wfx);
    ASSERT_NE(hNew, nullptr);
    EXPECT_EQ(WavMapData(hNew), nullptr);
    EXPECT_EQ(WavMapData(nullptr), nullptr);
    EXPECT_EQ(WavClose(hNew), 0);
    EXPECT_EQ(trace.Positions(L"wavfile"), 2u);
}
