#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "sndkit/eventlist.h"
#include "sndkit/strip.h"

namespace {

using Span = std::tuple<int32_t, int32_t, int32_t>;

std::vector<Span> KeptOf(HVMARRAY hEvents, int32_t msLength, int32_t msEdge, int32_t flags,
                         int32_t msKeyTail) {
    HVMARRAY hKept = StripPlan(hEvents, msLength, msEdge, flags, msKeyTail);
    EXPECT_EQ(DestroySpanList(hEvents), 0);
    EXPECT_NE(hKept, nullptr);
    std::vector<Span> out;
    for (int32_t i = 0; i < ArrayGetSize(hKept); ++i) {
        const EventSpan *p = SpanAt(hKept, i);
        out.emplace_back(p->msStart, p->msDuration, p->msWindow);
    }
    EXPECT_EQ(DestroySpanList(hKept), 0);
    return out;
}

// What StripFile keeps of a file of msLength with these events.
std::vector<Span> Kept(const std::vector<Span> &events, int32_t msLength, int32_t msEdge,
                       int32_t flags) {
    HVMARRAY hEvents = CreateSpanList();
    for (auto [s, d, w] : events)
        EXPECT_EQ(AppendSpan(hEvents, s, d, w), 0);
    return KeptOf(hEvents, msLength, msEdge, flags, 0);
}

// The plans the command-line tests do not already check byte for byte.
TEST(Strip, PlansAtTheEdgesOfEachStep) {
    const struct {
        std::vector<Span> events;
        int32_t msLength, msEdge, flags;
        std::vector<Span> kept;
    } cases[] = {
        // A trailing silence counts when its window reaches the end.
        {{{4600, 380, 20}}, 5000, 250, 2, {{0, 4850, 20}}},
        {{{4600, 370, 20}}, 5000, 250, 2, {{0, 5000, 0}}},
        // Silent throughout: only the first 2 x edge remain, without an edge nothing.
        {{{0, 5000, 20}}, 5000, 250, 3, {{0, 500, 0}}},
        {{{0, 5000, 20}}, 5000, -1, 3, {}},
        // No edge: the stretch before an event carries that event's window,
        // the last one the last event's. The events are sorted first.
        {{{4000, 1000, 50}, {0, 800, 30}}, 5000, -1, 3, {{750, 3300, 50}}},
        {{{1000, 500, 40}}, 5000, -1, 0, {{0, 1040, 40}, {1460, 3540, 40}}},
        // Extraction keeps only the chosen events; with none, 2 x edge at most.
        {{{0, 800, 20}, {2000, 100, 20}, {4600, 400, 20}}, 5000, 0, 4 | 1, {{0, 800, 20}}},
        {{}, 400, 300, 4, {{0, 400, 0}}},
        // An edge near the 32-bit limit clamps to the file instead of wrapping.
        {{{0, 800, 20}}, 5000, INT32_MAX, 3, {{0, 5000, 20}}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        EXPECT_EQ(Kept(c.events, c.msLength, c.msEdge, c.flags), c.kept) << i;
    }
}

// A closing key: the silences and keys that reach the end go as one, and the
// padding stops where the key begins.
TEST(Strip, ClosingKeyPlans) {
    constexpr uint32_t S = DETECT_SILENCE, K = DETECT_DTMF;
    const struct {
        std::vector<std::tuple<uint32_t, int32_t, int32_t>> events; // kind, start, duration
        int32_t flags, msKeyTail;
        std::vector<Span> kept;
    } cases[] = {
        // Air, key, air: all of it goes; without the flag only the last air.
        {{{S, 3000, 650}, {K, 3700, 150}, {S, 3880, 1120}}, 11, 0, {{0, 3250, 20}}},
        {{{S, 3000, 650}, {K, 3700, 150}, {S, 3880, 1120}}, 3, 0, {{0, 4130, 20}}},
        // A gap over 100 ms parts the key from the air before it, and the
        // padding then stops a window before the key's event: its tone may
        // begin that much earlier.
        {{{S, 3000, 600}, {K, 3700, 150}, {S, 3880, 1120}, {S, 0, 900}}, 11, 0, {{650, 2600, 20}}},
        {{{S, 3000, 599}, {K, 3700, 150}, {S, 3880, 1120}, {S, 0, 900}}, 11, 0, {{650, 3030, 20}}},
        {{{K, 3100, 150}, {S, 3280, 1720}}, 11, 0, {{0, 3080, 20}}},
        // Air after the key too short to be a silence, when the detector says so.
        {{{S, 3000, 1400}, {K, 4500, 200}}, 11, 300, {{0, 3250, 20}}},
        {{{K, 4500, 200}}, 11, 299, {{0, 5000, 0}}},
        {{{K, 4500, 200}}, 11, 300, {{0, 4480, 20}}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        HVMARRAY hEvents = CreateSpanList();
        for (auto [kind, s, d] : c.events)
            EXPECT_EQ(AppendEvent(hEvents, kind, s, d, 20), 0);
        EXPECT_EQ(KeptOf(hEvents, 5000, 250, c.flags, c.msKeyTail), c.kept) << i;
    }
}

} // namespace
