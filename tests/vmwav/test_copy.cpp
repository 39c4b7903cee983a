// Copies made through the library: a full copy is the source byte for byte,
// cut stretches of block-coded files still decode, raw seeks do not depend
// on converted reads nor on the mapped view of the audio.
#include <sys/syscall.h>
#include <unistd.h>

#include "sndfixture.h"
#include "wavfixture.h"

// The kernel's copy as the library in this program sees it: bytes it still
// copies before it refuses, as between file systems that cannot share them
// (-1: no limit).
static int64_t g_kernelCopyLeft = -1;
static int g_kernelCopyRefusals = 0;

extern "C" ssize_t copy_file_range(int fdIn, off64_t *offIn, int fdOut, off64_t *offOut, size_t cb,
                                   unsigned flags) {
    if (g_kernelCopyLeft == 0) {
        ++g_kernelCopyRefusals;
        errno = EXDEV;
        return -1;
    }
    if (g_kernelCopyLeft > 0)
        cb = std::min(cb, size_t(g_kernelCopyLeft));
    const ssize_t n = syscall(SYS_copy_file_range, fdIn, offIn, fdOut, offOut, cb, flags);
    if (n > 0 && g_kernelCopyLeft > 0)
        g_kernelCopyLeft -= n;
    return n;
}

namespace {

// 8-bit mono with an odd number of frames (so a pad byte), an odd-sized
// LIST before the audio and chunks after it.
std::vector<uint8_t> HandMadeSource() {
    std::vector<uint8_t> audio(2001);
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = uint8_t(128 + 100 * sin(double(i) / 7));
    std::vector<uint8_t> list = {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'h', 'i', 0};
    return BuildRiff({{"fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 8000, 1, 8)},
                      {"LIST", list},
                      {"data", audio},
                      {"cue ", std::vector<uint8_t>(28, 7)},
                      {"junk", {1, 2, 3}}});
}

TEST(WavCopy, AFullCopyIsTheSourceByteForByteAndACutKeepsTheOtherChunks) {
    TempDir dir;
    WriteBytes(dir / "handmade.wav", HandMadeSource());
    std::vector<std::string> paths = {dir / "handmade.wav"};
    // {format, channels}; float brings fact and PEAK chunks.
    const std::pair<int, int> kinds[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2},    {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1},
        {SF_FORMAT_WAV | SF_FORMAT_ULAW, 1},      {SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2},
        {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1}, {SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2},
        {SF_FORMAT_WAV | SF_FORMAT_GSM610, 1}};
    for (auto [format, channels] : kinds) {
        paths.push_back(dir / (std::to_string(format) + ".wav"));
        ASSERT_TRUE(
            WriteSndfile(paths.back(), format, 8000, channels, TestSignal(4321, channels, 8000)));
    }
    for (const std::string &from : paths) {
        ASSERT_TRUE(CopyStretch(from, from + ".copy", 0, -1)) << from;
        EXPECT_EQ(ReadBytes(from + ".copy"), ReadBytes(from)) << from;
    }

    // A cut of the hand-made source keeps its chunks, with new sizes.
    ASSERT_TRUE(CopyStretch(paths[0], dir / "cut.wav", 100, 1000));
    const std::vector<uint8_t> src = ReadBytes(paths[0]), cut = ReadBytes(dir / "cut.wav");
    // 1001 bytes fewer: 1001 audio bytes and the pad byte go, nothing else.
    ASSERT_EQ(cut.size(), src.size() - 1002);
    HWAVFILE h = OpenRead(dir / "cut.wav");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WavGetDataSize(h), 1000);
    EXPECT_EQ(WavGetLength(h), 125);
    std::vector<uint8_t> raw(1000);
    EXPECT_EQ(WavRead(h, raw.data(), 4000), 1000);
    EXPECT_EQ(WavClose(h), 0);
    const auto data = src.begin() + FindBody(src, "data");
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), data + 100));
    EXPECT_TRUE(std::equal(src.end() - 48, src.end(), cut.end() - 48)) << "trailing chunks";
}

// Recorders that stop at the last sample leave an odd data chunk without its
// pad byte at the end of the file, their RIFF size counting the byte or not.
TEST(WavCopy, AnOddDataChunkEndingTheFileIsCopiedWithItsPadOrWithoutAndPaddedWhenCut) {
    TempDir dir;
    std::vector<uint8_t> audio(2001);
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = uint8_t(i * 13 + 5);
    const auto fmt = FmtBody(WAVE_FORMAT_MULAW, 1, 8000, 1, 8, 0);
    const auto padded = BuildRiff({{"fmt ", fmt}, {"fact", {0xD1, 7, 0, 0}}, {"data", audio}});
    const std::vector<uint8_t> bare(padded.begin(), padded.end() - 1);
    std::vector<uint8_t> bareOwnSize = bare;
    SetLe32(bareOwnSize, 4, uint32_t(bare.size() - 8));
    const std::vector<uint8_t> cut(audio.begin() + 100, audio.begin() + 1101);
    const auto wellFormedCut = BuildRiff({{"fmt ", fmt}, {"fact", {0xE9, 3, 0, 0}}, {"data", cut}});
    const std::pair<const char *, std::vector<uint8_t>> sources[] = {
        {"padded", padded},
        {"RIFF size counts the pad", bare},
        {"RIFF size of the file", bareOwnSize}};
    for (const auto &[what, bytes] : sources) {
        SCOPED_TRACE(what);
        WriteBytes(dir / "src.wav", bytes);
        ASSERT_TRUE(CopyStretch(dir / "src.wav", dir / "copy.wav", 0, -1));
        EXPECT_EQ(ReadBytes(dir / "copy.wav"), bytes);
        ASSERT_TRUE(CopyStretch(dir / "src.wav", dir / "cut.wav", 100, 1001));
        EXPECT_EQ(ReadBytes(dir / "cut.wav"), wellFormedCut);
    }
}

TEST(WavCopy, WholeBlockStretchesOfCodedFilesDecode) {
    TempDir dir;
    const std::string from = dir / "src.wav", to = dir / "cut.wav";
    // {format, channels, every block restarts the decoder}
    for (auto [format, channels, independentBlocks] :
         std::initializer_list<std::tuple<int, int, bool>>{
             {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, true},
             {SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, true},
             {SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, false}}) {
        ASSERT_TRUE(WriteSndfile(from, format, 8000, channels, TestSignal(16000, channels, 8000)));
        // The block size and the samples per block, from the stored format.
        const std::vector<uint8_t> bytes = ReadBytes(from);
        const size_t fmt = FindBody(bytes, "fmt ");
        ASSERT_LT(fmt + 20, bytes.size());
        const int32_t block = bytes[fmt + 12] | bytes[fmt + 13] << 8;
        const int32_t frames = bytes[fmt + 18] | bytes[fmt + 19] << 8;

        const std::vector<int16_t> whole = DecodeAll(from);
        for (int32_t first : {0, 3}) {
            ASSERT_TRUE(CopyStretch(from, to, first * block, 5 * block)) << format;
            const std::vector<int16_t> cut = DecodeAll(to);
            ASSERT_EQ(cut.size(), size_t(5 * frames)) << format;
            const std::vector<uint8_t> copy = ReadBytes(to);
            const size_t fact = FindBody(copy, "fact");
            ASSERT_LT(fact + 4, copy.size());
            EXPECT_EQ(Le32(copy, fact), uint32_t(5 * frames)) << "fact count";
            // A decoder that carries state across blocks starts afresh in a
            // cut; with the steady tones here it does not catch up, so only a
            // cut from the start can match.
            if (independentBlocks || first == 0) {
                EXPECT_TRUE(std::equal(cut.begin(), cut.end(), whole.begin() + first * frames))
                    << format << " from block " << first;
            }
        }
    }
}

TEST(WavCopy, WhereTheKernelCannotCopyTheWriterCopiesTheSameBytes) {
    TempDir dir;
    const std::string from = dir / "src.wav";
    // More audio than the writer's own buffer holds.
    ASSERT_TRUE(
        WriteSndfile(from, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, TestSignal(40000, 2, 8000)));
    // The kernel copies everything, nothing, or 1000 bytes before it refuses.
    for (int64_t limit : {-1, 0, 1000}) {
        SCOPED_TRACE(limit);
        g_kernelCopyLeft = limit;
        g_kernelCopyRefusals = 0;
        const bool copied = CopyStretch(from, dir / "copy.wav", 0, -1);
        g_kernelCopyLeft = -1;
        ASSERT_TRUE(copied);
        EXPECT_EQ(ReadBytes(dir / "copy.wav"), ReadBytes(from));
        EXPECT_EQ(g_kernelCopyRefusals > 0, limit >= 0);
    }
}

// The analysis reads converted audio to the end; the cut then seeks and
// copies raw bytes on the same handle.
TEST(WavCopy, RawSeeksAndConvertedReadsKeepTheirOwnPlaces) {
    TempDir dir;
    const std::string path = dir / "s.wav";
    ASSERT_TRUE(
        WriteSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, TestSignal(3000, 2, 8000)));
    const std::vector<int16_t> whole = DecodeAll(path);
    const std::vector<uint8_t> bytes = ReadBytes(path);
    HWAVFILE h = OpenRead(path);
    ASSERT_NE(h, nullptr);
    std::vector<int16_t> play(4000);
    EXPECT_LT(WavReadFormatPlay(h, play.data(), 100), 0) << "not converting yet";
    ASSERT_EQ(WavAcmConvertInit(h, 1, 0), 0);
    EXPECT_EQ(WavReadFormatPlay(h, play.data(), 1001), 1000) << "whole samples only";
    ASSERT_EQ(WavSeek(h, 1234, 0), 1234);
    std::vector<uint8_t> raw(100);
    ASSERT_EQ(WavRead(h, raw.data(), 100), 100);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), bytes.begin() + FindBody(bytes, "data") + 1234));
    EXPECT_EQ(WavSeek(h, -34, SEEK_CUR), 1300);
    // Converted reads go on where they stopped, up to the end.
    ASSERT_EQ(WavReadFormatPlay(h, play.data(), 8000), 5000);
    EXPECT_TRUE(std::equal(play.begin(), play.begin() + 2500, whole.begin() + 500));
    EXPECT_EQ(WavReadFormatPlay(h, play.data(), 8000), 0);
    // The raw end: the last bytes, then nothing; no seeking past it.
    EXPECT_EQ(WavSeek(h, -10, SEEK_END), 11990);
    EXPECT_EQ(WavRead(h, raw.data(), 100), 10);
    EXPECT_EQ(WavRead(h, raw.data(), 100), 0);
    EXPECT_EQ(WavSeek(h, 12000, 0), 12000);
    EXPECT_EQ(WavSeek(h, 12001, 0), -1);
    EXPECT_EQ(WavSeek(h, -1, 0), -1);
    EXPECT_EQ(WavAcmConvertTerm(h, 0), 0);
    EXPECT_EQ(WavClose(h), 0);
}

// A new file is seen only once WavClose has made it complete; WavDiscard
// leaves nothing.
TEST(WavCopy, AFileMadeFromAPlainFormatAppearsCompleteOnClose) {
    TempDir dir;
    WAVEFORMATEX *fmt = WavFormatPcm(11025, 8, 1, 0);
    ASSERT_NE(fmt, nullptr);
    HWAVFILE h = Create(dir / "new.wav", fmt);
    ASSERT_NE(h, nullptr);
    const std::vector<uint8_t> audio = {0, 64, 128, 192, 255};
    EXPECT_EQ(WavWrite(h, audio.data(), 3), 3);
    EXPECT_EQ(WavWrite(h, audio.data() + 3, 2), 2);
    EXPECT_EQ(WavRead(h, nullptr, 1), -1) << "a new file is not read";
    EXPECT_TRUE(dir.Names().empty());
    EXPECT_EQ(WavClose(h), 0);
    EXPECT_EQ(ReadBytes(dir / "new.wav"),
              BuildRiff({{"fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 11025, 1, 8)}, {"data", audio}}));
    // 8-bit audio is unsigned: its extremes decode to the 16-bit ones.
    EXPECT_EQ(DecodeAll(dir / "new.wav"), (std::vector<int16_t>{-32768, -16384, 0, 16384, 32512}));
    h = Create(dir / "gone.wav", fmt);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WavDiscard(h), 0);
    EXPECT_EQ(WavDiscard(h), -1) << "gone";
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"new.wav"});
    EXPECT_EQ(WavFormatFree(fmt), 0);

    // A changed record no longer carries its source's other chunks.
    WriteBytes(dir / "hand.wav", HandMadeSource());
    HWAVFILE src = OpenRead(dir / "hand.wav");
    ASSERT_NE(src, nullptr);
    WAVEFORMATEX *stored = WavGetFormat(src, WAV_FORMAT_STORED);
    ASSERT_NE(stored, nullptr);
    stored->nSamplesPerSec = stored->nAvgBytesPerSec = 16000;
    h = Create(dir / "to.wav", stored);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WavWrite(h, audio.data(), 4), 4);
    EXPECT_EQ(WavClose(h), 0);
    EXPECT_EQ(ReadBytes(dir / "to.wav"),
              BuildRiff({{"fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 16000, 1, 8)},
                         {"data", {0, 64, 128, 192}}}));
    EXPECT_EQ(WavFormatFree(stored), 0);
    EXPECT_EQ(WavClose(src), 0);
}

// The read-only view of a source's audio data.
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

} // namespace
