// The painter thread of a painting: commands are painted exactly once, in the order issued, with
// or without the second thread, across many chunks and when the painter falls behind.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "figure/paint_queue.h"

namespace {

PaintCommand Numbered(int n) {
    PaintCommand command;
    command.colour = static_cast<std::uint32_t>(n);
    return command;
}

std::vector<int> Expected(int count) {
    std::vector<int> order(static_cast<std::size_t>(count));
    for (int n = 0; n < count; ++n) order[static_cast<std::size_t>(n)] = n;
    return order;
}

TEST(PaintQueue, PaintsEveryCommandOnceInIssueOrder) {
    for (const bool threaded : {false, true}) {
        std::vector<int> painted;
        PaintQueue queue(
            [&](const PaintCommand& c) { painted.push_back(static_cast<int>(c.colour)); },
            threaded);
        for (int n = 0; n < 10000; ++n) queue.Push(Numbered(n));  // many chunks
        queue.Finish();
        EXPECT_EQ(painted, Expected(10000)) << threaded;
        queue.Finish();  // a second finish changes nothing
        EXPECT_EQ(painted.size(), 10000u);
    }
}

TEST(PaintQueue, UnthreadedPaintsAtOnce) {
    int painted = 0;
    PaintQueue queue([&](const PaintCommand&) { ++painted; }, false);
    queue.Push(Numbered(1));
    EXPECT_EQ(painted, 1);
}

TEST(PaintQueue, SlowPainterHoldsBackTheIssuerAndLosesNothing) {
    std::vector<int> painted;
    {
        PaintQueue queue(
            [&](const PaintCommand& c) {
                if (c.colour % 512 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                painted.push_back(static_cast<int>(c.colour));
            },
            true);
        for (int n = 0; n < 20 * 512 + 7; ++n) queue.Push(Numbered(n));
    }  // the destructor finishes
    EXPECT_EQ(painted, Expected(20 * 512 + 7));
}

}  // namespace
