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
// - the writer never fails on such a list.
#include <fuzzer/FuzzedDataProvider.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sndkit/eventlist.h"
#include "sndkit/strip.h"
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

struct Spans {
    HVMARRAY h = CreateSpanList();
    ~Spans() { DestroySpanList(h); }
    int32_t size() const { return ArrayGetSize(h); }
    const EventSpan &operator[](int32_t i) const { return *SpanAt(h, i); }
};

void Put(std::vector<uint8_t> &v, uint32_t x, int n) {
    for (int i = 0; i < n; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}

// A WAV file of nBlocks frames, frame i holding i in its first four bytes.
std::vector<uint8_t> Source(const WAVEFORMATEX &wfx, uint32_t nBlocks) {
    std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0,   0,   0,   0,
                              'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    Put(v, 16, 4);
    Put(v, wfx.wFormatTag, 2);
    Put(v, wfx.nChannels, 2);
    Put(v, wfx.nSamplesPerSec, 4);
    Put(v, wfx.nAvgBytesPerSec, 4);
    Put(v, wfx.nBlockAlign, 2);
    Put(v, wfx.wBitsPerSample, 2);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    Put(v, nBlocks * wfx.nBlockAlign, 4);
    for (uint32_t i = 0; i < nBlocks; ++i) {
        Put(v, i, 4);
        v.insert(v.end(), wfx.nBlockAlign - 4u, uint8_t(0x5A));
    }
    const uint32_t riff = uint32_t(v.size() - 8);
    memcpy(v.data() + 4, &riff, 4);
    return v;
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The data chunk of a WAV file written by the library.
std::vector<uint8_t> DataOf(const std::string &path) {
    std::vector<uint8_t> all;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;)
            all.insert(all.end(), buf, buf + n);
        fclose(f);
    }
    for (size_t at = 12; at + 8 <= all.size();) {
        uint32_t n;
        memcpy(&n, all.data() + at + 4, 4);
        if (!memcmp(all.data() + at, "data", 4) && at + 8 + n <= all.size())
            return std::vector<uint8_t>(all.begin() + long(at + 8), all.begin() + long(at + 8 + n));
        at += 8 + uint64_t(n) + (n & 1);
    }
    __builtin_trap(); // the writer left no data chunk
}

std::wstring Wide(const std::string &s) {
    return std::wstring(s.begin(), s.end());
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
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = f.tag;
    wfx.nChannels = f.channels;
    wfx.nSamplesPerSec = kRates[in.ConsumeIntegralInRange<size_t>(0, std::size(kRates) - 1)];
    wfx.wBitsPerSample = f.bits;
    wfx.nBlockAlign = uint16_t(f.channels * f.bits / 8);
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    const uint32_t align = wfx.nBlockAlign;
    const uint32_t nBlocks = in.ConsumeIntegralInRange<uint32_t>(1, 96000 / align);
    const bool sane = in.ConsumeBool();
    int32_t msEdge = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-1, 1000)
                                      : in.ConsumeIntegral<int32_t>();
    const int32_t flags =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 7) : in.ConsumeIntegral<int32_t>();

    const std::string src = g_dir + "/src.wav", dst = g_dir + "/dst.wav";
    if (!WriteFile(src, Source(wfx, nBlocks)))
        abort();
    unlink(dst.c_str());
    HWAVFILE hSource =
        WavOpen(WAV_VERSION, VmModuleHandle(), Wide(src).c_str(), nullptr, 0, 0, WAV_MODE_READ);
    if (!hSource)
        __builtin_trap(); // a plain PCM file the library refuses
    WAVEFORMATEX *pwfxStored = WavGetFormat(hSource, WAV_FORMAT_STORED);
    const int32_t msLength = WavGetLength(hSource);
    const int32_t cbData = WavGetDataSize(hSource);
    if (!pwfxStored || msLength < 0 || cbData != int32_t(nBlocks * align))
        __builtin_trap();

    // Events: as one detector reports them, or anything at all.
    Spans events;
    const int32_t window = in.ConsumeIntegralInRange<int32_t>(1, 200);
    int64_t cursor = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<int32_t>(0, msLength);
    for (int n = in.ConsumeIntegralInRange<int>(0, 12); n > 0 && in.remaining_bytes(); --n) {
        if (sane) {
            // At least 1 ms long, after the last one ended, inside the audio.
            if (cursor >= msLength)
                break;
            const int32_t start = int32_t(cursor);
            const int32_t duration = in.ConsumeIntegralInRange<int32_t>(1, msLength - start);
            AppendSpan(events.h, start, duration, window);
            cursor = int64_t(start) + duration + in.ConsumeIntegralInRange<int32_t>(1, msLength);
        } else {
            AppendSpan(events.h, in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>(),
                       in.ConsumeIntegral<int32_t>());
        }
    }

    // The plan, which sorts the events, and the steps it is made of for what
    // lies between them.
    HVMARRAY hAdjusted = StripPlan(events.h, msLength, msEdge, flags);
    HVMARRAY hProcessed = ProcessSpans(events.h, msLength, flags);
    HVMARRAY hInverse = (flags & STRIP_EXTRACT) ? nullptr : InvertSpans(hProcessed, msLength);
    HVMARRAY hKept = (flags & STRIP_EXTRACT) ? hProcessed : hInverse;
    if (!hProcessed || !hKept || !hAdjusted)
        __builtin_trap();

    // Every widened stretch lies inside the audio.
    const int32_t nAdjusted = ArrayGetSize(hAdjusted);
    for (int32_t i = 0; i < nAdjusted; ++i) {
        const EventSpan *p = SpanAt(hAdjusted, i);
        if (p->msStart < 0 || p->msDuration < 0 ||
            (p->msStart < msLength && int64_t(p->msStart) + p->msDuration > msLength))
            __builtin_trap();
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
            if (k->msDuration < 0 || k->msStart < 0 ||
                int64_t(k->msStart) + k->msDuration > msLength)
                __builtin_trap();
            if (i > 0) {
                const EventSpan *prev = SpanAt(hKept, i - 1);
                if (int64_t(prev->msStart) + prev->msDuration > k->msStart)
                    __builtin_trap();
            }
            for (int32_t e = 0; e < ArrayGetSize(hProcessed); ++e) {
                const EventSpan *c = SpanAt(hProcessed, e);
                if (k->msStart < int64_t(c->msStart) + c->msDuration &&
                    c->msStart < int64_t(k->msStart) + k->msDuration)
                    __builtin_trap();
            }
        }
        // Stripping the ends leaves at most the one stretch between them.
        if (brevita && nKept > 1)
            __builtin_trap();
    }

    const int32_t written = WriteSpans(hAdjusted, hSource, Wide(dst).c_str(), pwfxStored, msLength);
    if (sane && written != 0)
        __builtin_trap();
    if (written == 0) {
        const std::vector<uint8_t> out = DataOf(dst);
        // Whole blocks of the source's data, nothing else.
        if (out.size() % align)
            __builtin_trap();
        std::vector<uint32_t> blocks;
        for (size_t at = 0; at < out.size(); at += align) {
            uint32_t index;
            memcpy(&index, out.data() + at, 4);
            if (index >= nBlocks)
                __builtin_trap();
            for (size_t b = 4; b < align; ++b)
                if (out[at + b] != 0x5A)
                    __builtin_trap();
            blocks.push_back(index);
        }
        if (sane && brevita && !blocks.empty()) {
            // One run, in order, no block twice...
            for (size_t i = 1; i < blocks.size(); ++i)
                if (blocks[i] != blocks[i - 1] + 1)
                    __builtin_trap();
            // ...from the stretch's start, rounded down to its block, to its
            // end, within one block (or to the end of the data).
            const EventSpan *p = SpanAt(hAdjusted, 0);
            const double bytesPerMs = wfx.nAvgBytesPerSec / 1000.0;
            const double start = p->msStart * bytesPerMs;
            const double end = double(int64_t(p->msStart) + p->msDuration) * bytesPerMs;
            const double first = double(blocks.front()) * align;
            const double last = double(blocks.back() + 1) * align;
            if (first > start || first + align <= start)
                __builtin_trap();
            const bool toTheEnd = int64_t(p->msStart) + p->msDuration >= msLength;
            if (toTheEnd ? last != double(cbData) : (last <= end - align || last >= end + align))
                __builtin_trap();
        }
    }

    DestroySpanList(hAdjusted);
    DestroySpanList(hInverse);
    DestroySpanList(hProcessed);
    WavFormatFree(pwfxStored);
    WavClose(hSource);
    return 0;
}
