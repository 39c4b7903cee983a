#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "sndkit/eventlist.h"
#include "sndkit/strip.h"

namespace {

using Span = std::tuple<int32_t, int32_t, int32_t>;

HVMARRAY MakeList(const std::vector<Span> &spans) {
    HVMARRAY h = CreateSpanList();
    for (auto [s, d, w] : spans)
        EXPECT_EQ(AppendSpan(h, s, d, w), 0);
    return h;
}

// The list's spans; the list is destroyed.
std::vector<Span> Take(HVMARRAY h) {
    EXPECT_NE(h, nullptr);
    std::vector<Span> out;
    for (int32_t i = 0; i < ArrayGetSize(h); ++i) {
        const EventSpan *p = SpanAt(h, i);
        out.emplace_back(p->msStart, p->msDuration, p->msWindow);
    }
    EXPECT_EQ(DestroySpanList(h), 0);
    return out;
}

// What StripFile keeps of a file of msLength with these events.
std::vector<Span> Kept(const std::vector<Span> &events, int32_t msLength, int32_t msEdge,
                       int32_t flags) {
    HVMARRAY hEvents = MakeList(events);
    HVMARRAY hKept = StripPlan(hEvents, msLength, msEdge, flags);
    EXPECT_EQ(DestroySpanList(hEvents), 0);
    return Take(hKept);
}

TEST(Strip, WorkedExamples) {
    // Leading silence of 800 ms, edge 250.
    EXPECT_EQ(Kept({{0, 800, 20}}, 5000, 250, 3), (std::vector<Span>{{550, 4450, 20}}));
    // A trailing silence counts when its window reaches the end.
    EXPECT_EQ(Kept({{4600, 380, 20}}, 5000, 250, 2), (std::vector<Span>{{0, 4850, 20}}));
    EXPECT_EQ(Kept({{4600, 370, 20}}, 5000, 250, 2), (std::vector<Span>{{0, 5000, 0}}));
    // Silent throughout: only the first 2 x edge remain.
    EXPECT_EQ(Kept({{0, 5000, 20}}, 5000, 250, 3), (std::vector<Span>{{0, 500, 0}}));
    EXPECT_EQ(Kept({{0, 5000, 20}}, 5000, -1, 3), (std::vector<Span>{}));
    // Nothing chosen keeps everything.
    EXPECT_EQ(Kept({{1000, 500, 20}}, 5000, 250, 3), (std::vector<Span>{{0, 5000, 0}}));
}

TEST(Strip, NegativeEdgeWidensByTheCarriedWindow) {
    // The stretch before an event carries that event's window; the last one
    // the window of the last event. The events are sorted first.
    EXPECT_EQ(Kept({{4000, 1000, 50}, {0, 800, 30}}, 5000, -1, 3),
              (std::vector<Span>{{750, 3300, 50}}));
    EXPECT_EQ(Kept({{1000, 500, 40}}, 5000, -1, 0),
              (std::vector<Span>{{0, 1040, 40}, {1460, 3540, 40}}));
}

TEST(Strip, Extraction) {
    EXPECT_EQ(Kept({{0, 800, 20}, {2000, 100, 20}, {4600, 400, 20}}, 5000, 0, 4 | 1),
              (std::vector<Span>{{0, 800, 20}}));
    EXPECT_EQ(Kept({{0, 800, 20}, {4600, 400, 20}}, 5000, 100, 4 | 3),
              (std::vector<Span>{{0, 900, 20}, {4500, 500, 20}}));
    EXPECT_EQ(Kept({}, 5000, 300, 4), (std::vector<Span>{{0, 600, 0}}));
    EXPECT_EQ(Kept({}, 400, 300, 4), (std::vector<Span>{{0, 400, 0}}));
    EXPECT_EQ(Kept({}, 5000, 0, 4), (std::vector<Span>{}));
}

TEST(Strip, SortOrderAndOverflow) {
    HVMARRAY h = MakeList({{500, 10, 1}, {100, 50, 2}, {4000, 5, 3}, {100, 20, 4}, {0, 9, 5}});
    ASSERT_EQ(ArraySort(h, CompareSpans), 0);
    std::vector<int32_t> starts;
    for (auto [s, d, w] : Take(h))
        starts.push_back(s);
    EXPECT_EQ(starts, (std::vector<int32_t>{0, 100, 100, 500, 4000}));
    // An edge near the 32-bit limit clamps to the file instead of wrapping.
    EXPECT_EQ(Kept({{0, 800, 20}}, 5000, INT32_MAX, 3), (std::vector<Span>{{0, 5000, 20}}));
}

} // namespace
