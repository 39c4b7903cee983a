// Fuzz target: the strip arithmetic. Event lists, file lengths, edges and
// flags from the input go through the plan of the stretches to keep (and the
// steps that choose, invert and widen them), and the writer copies those
// stretches out of a real file whose every sample block carries its own
// number, so the copy shows exactly which bytes it took. What must hold:
// - every kept stretch lies inside the audio, and every byte copied is a
//   whole sample block of the source's data;
// - for events as a detector reports them (inside the audio, each at least
//   1 ms long and starting after the last one ended) the stretches between
//   the chosen events are in order and
//   never overlap, and with leading and/or trailing stripping (what Brevita
//   asks for) the copy is one run of consecutive blocks, starting and
//   ending within one block of the widened stretch's ends;
// - the writer never fails on such a list;
// - a copy of all of the audio is the source byte for byte, also one whose
//   odd data ends the file without its pad byte; any other copy is a
//   well-formed file.
#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <algorithm>

#include "sndkit/eventlist.h"
#include "sndkit/strip.h"
#include "common/files.h"
#include "vmwav/vmwav.h"

namespace {

struct Format {
    uint16_t tag, channels, bits;
};
// Frame kinds only: a block is one frame, at least four bytes so it can
// hold its number, in a few sizes that do not divide each other.
const Format kFormats[] = {
    {1, 2, 16}, {1, 1, 32}, {1, 2, 24}, {1, 3, 16}, {1, 5, 8},
    {1, 4, 24}, {7, 4, 8},  {6, 6, 8},  {1, 2, 32}, {1, 7, 16},
};
const uint32_t kRates[] = {8000, 11025, 16000, 22050, 44100, 48000, 7350, 1000};

std::string g_dir;

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

int64_t End(const EventSpan *p) {
    return int64_t(p->msStart) + p->msDuration;
}

// A WAV file of nBlocks frames, frame i holding i in its first four bytes.
// Odd data loses its pad byte for bare 1 (the RIFF size still counting it)
// and 2 (the RIFF size that of the file).
std::vector<uint8_t> Source(const Format &f, uint32_t rate, uint32_t align, uint32_t nBlocks,
                            int bare) {
    std::vector<uint8_t> audio;
    for (uint32_t i = 0; i < nBlocks; ++i) {
        Put(audio, i, 4);
        audio.insert(audio.end(), align - 4u, uint8_t(0x5A));
    }
    std::vector<uint8_t> file = BuildRiff(
        {{"fmt ", FmtBody(f.tag, f.channels, rate, uint16_t(align), f.bits)}, {"data", audio}});
    if (bare != 0 && audio.size() % 2 != 0) {
        file.pop_back();
        if (bare == 2)
            SetLe32(file, 4, uint32_t(file.size() - 8));
    }
    return file;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string t = std::string(base) + "/fuzz_strip.XXXXXX";
    if (!mkdtemp(t.data()))
        abort();
    g_dir = t;
    atexit([] { std::filesystem::remove_all(g_dir); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const Format &f = kFormats[in.ConsumeIntegralInRange<size_t>(0, std::size(kFormats) - 1)];
    const uint32_t rate = kRates[in.ConsumeIntegralInRange<size_t>(0, std::size(kRates) - 1)];
    const uint32_t align = f.channels * f.bits / 8u;
    const uint32_t nBlocks = in.ConsumeIntegralInRange<uint32_t>(1, 96000 / align);
    const int bare = in.ConsumeIntegralInRange<int>(0, 2);
    const bool sane = in.ConsumeBool();
    int32_t msEdge = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-1, 1000)
                                      : in.ConsumeIntegral<int32_t>();
    const int32_t flags =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 7) : in.ConsumeIntegral<int32_t>();

    const std::string src = g_dir + "/src.wav", dst = g_dir + "/dst.wav";
    const std::vector<uint8_t> source = Source(f, rate, align, nBlocks, bare);
    if (!WriteBytes(src, source))
        abort();
    unlink(dst.c_str());
    HWAVFILE hSource =
        WavOpen(WAV_VERSION, VmModuleHandle(), Wide(src).c_str(), nullptr, 0, 0, WAV_MODE_READ);
    Check(hSource != nullptr); // a plain PCM file the library refuses
    WAVEFORMATEX *pwfxStored = WavGetFormat(hSource, WAV_FORMAT_STORED);
    const int32_t msLength = WavGetLength(hSource);
    const int32_t cbData = WavGetDataSize(hSource);
    Check(pwfxStored && msLength >= 0 && cbData == int32_t(nBlocks * align));

    // Events: as one detector reports them, or anything at all.
    HVMARRAY hEvents = CreateSpanList();
    const int32_t window = in.ConsumeIntegralInRange<int32_t>(1, 200);
    int64_t cursor = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<int32_t>(0, msLength);
    for (int n = in.ConsumeIntegralInRange<int>(0, 12); n > 0 && in.remaining_bytes(); --n) {
        if (sane) {
            // At least 1 ms long, after the last one ended, inside the audio.
            if (cursor >= msLength)
                break;
            const int32_t start = int32_t(cursor);
            const int32_t duration = in.ConsumeIntegralInRange<int32_t>(1, msLength - start);
            AppendSpan(hEvents, start, duration, window);
            cursor = int64_t(start) + duration + in.ConsumeIntegralInRange<int32_t>(1, msLength);
        } else {
            AppendSpan(hEvents, in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>(),
                       in.ConsumeIntegral<int32_t>());
        }
    }

    // The plan, which sorts the events, and the steps it is made of for what
    // lies between them.
    const int32_t msKeyTail = in.ConsumeIntegralInRange<int32_t>(0, 1000);
    HVMARRAY hAdjusted = StripPlan(hEvents, msLength, msEdge, flags, msKeyTail);
    HVMARRAY hProcessed = ProcessSpans(hEvents, msLength, flags, msKeyTail);
    HVMARRAY hInverse = (flags & STRIP_EXTRACT) ? nullptr : InvertSpans(hProcessed, msLength);
    HVMARRAY hKept = (flags & STRIP_EXTRACT) ? hProcessed : hInverse;
    Check(hProcessed && hKept && hAdjusted);

    // Every widened stretch lies inside the audio.
    for (int32_t i = 0; i < ArrayGetSize(hAdjusted); ++i) {
        const EventSpan *p = SpanAt(hAdjusted, i);
        Check(p->msStart >= 0 && p->msDuration >= 0 &&
              (p->msStart >= msLength || End(p) <= msLength));
    }
    const bool stripping = !(flags & STRIP_EXTRACT);
    const bool brevita = stripping && (flags & (STRIP_LEADING | STRIP_TRAILING));
    if (sane && stripping) {
        // The stretches kept between chosen events: in order, apart, and
        // outside every chosen event. (Extracted events are kept as they
        // were chosen: a trailing one with its window added, even past the
        // end, and the widening is what clamps them.)
        const int32_t nKept = ArrayGetSize(hKept);
        for (int32_t i = 0; i < nKept; ++i) {
            const EventSpan *k = SpanAt(hKept, i);
            Check(k->msDuration >= 0 && k->msStart >= 0 && End(k) <= msLength &&
                  (i == 0 || End(SpanAt(hKept, i - 1)) <= k->msStart));
            for (int32_t e = 0; e < ArrayGetSize(hProcessed); ++e) {
                const EventSpan *c = SpanAt(hProcessed, e);
                Check(k->msStart >= End(c) || c->msStart >= End(k));
            }
        }
        // Stripping the ends leaves at most the one stretch between them.
        Check(!brevita || nKept <= 1);
    }

    const int32_t written = WriteSpans(hAdjusted, hSource, Wide(dst).c_str(), pwfxStored, msLength);
    Check(!sane || written == 0);
    if (written == 0) {
        // A complete file from the writer: the source's own layout for all
        // of its audio's worth, a well-formed file for anything else.
        const std::vector<uint8_t> file = ReadBytes(dst);
        Check(Chunks(file).count("data"));
        const std::vector<uint8_t> out = Chunks(file)["data"];
        const bool unpadded = source.size() % 2 != 0;
        const auto audioAt = source.end() - long(cbData) - long(cbData % 2 != 0 && !unpadded);
        if (unpadded && out.size() == size_t(cbData))
            Check(file.size() == source.size() &&
                  std::equal(source.begin(), audioAt, file.begin()));
        else
            Check(WellFormed(file));
        Check(!std::equal(out.begin(), out.end(), audioAt, audioAt + cbData) || file == source);
        // Whole blocks of the source's data, nothing else.
        Check(out.size() % align == 0);
        std::vector<uint32_t> blocks;
        for (size_t at = 0; at < out.size(); at += align) {
            blocks.push_back(Le32(out, at));
            Check(blocks.back() < nBlocks &&
                  std::all_of(out.begin() + long(at + 4), out.begin() + long(at + align),
                              [](uint8_t b) { return b == 0x5A; }));
            // One run, in order, no block twice.
            Check(!(sane && brevita) || blocks.size() == 1 ||
                  blocks.back() == blocks[blocks.size() - 2] + 1);
        }
        if (sane && brevita && !blocks.empty()) {
            // The run goes from the stretch's start, rounded down to its
            // block, to its end, within about a block (or to the end of the data).
            const EventSpan *p = SpanAt(hAdjusted, 0);
            const double bytesPerMs = rate * align / 1000.0, start = p->msStart * bytesPerMs,
                         end = double(End(p)) * bytesPerMs;
            const double first = double(blocks.front()) * align,
                         last = double(blocks.back() + 1) * align;
            Check(first <= start && start < first + align);
            // The start rounds down to its block; the length is whole bytes
            // (cut) before it rounds up to a block, so the end may fall
            // short by less than a block and a byte.
            Check(End(p) >= msLength ? last == double(cbData)
                                     : end - align - 1 < last && last < end + align);
        }
    }

    DestroySpanList(hEvents);
    DestroySpanList(hAdjusted);
    DestroySpanList(hInverse);
    DestroySpanList(hProcessed);
    WavFormatFree(pwfxStored);
    WavClose(hSource);
    return 0;
}
