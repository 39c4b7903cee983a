#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "sndkit/eventlist.h"
#include "sndkit/strip.h"

namespace {

using Span = std::tuple<int32_t, int32_t, int32_t>;

// What StripFile keeps of a file of msLength with these events.
std::vector<Span> Kept(const std::vector<Span> &events, int32_t msLength, int32_t msEdge,
                       int32_t flags) {
    HVMARRAY hEvents = CreateSpanList();
    for (auto [s, d, w] : events)
        EXPECT_EQ(AppendSpan(hEvents, s, d, w), 0);
    HVMARRAY hKept = StripPlan(hEvents, msLength, msEdge, flags);
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

} // namespace
