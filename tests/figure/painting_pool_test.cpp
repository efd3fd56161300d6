// The threads kept between paintings: every part runs once and at the same time as the others,
// helpers work on copies of the engine, and a failure of the caller's part waits for the helpers.
#include "figure/painting_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "figure/figure_engine.h"

namespace {

using namespace std::chrono_literals;

// Waits up to ten seconds for flag; false when it never came.
bool AwaitFlag(const std::atomic<bool>& flag) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!flag && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
    return flag;
}

}  // namespace

TEST(PaintingPool, EveryPartRunsOnceAndTheCallersPartMeetsAHelpersPart) {
    PaintingPool pool;
    for (const int parts : {1, 2, 3, 7, 64}) {
        std::vector<std::atomic<int>> runs(parts);
        std::atomic<bool> secondStarted{false};
        bool met = true;
        pool.ForEachPart(parts, [&](int part) {
            ++runs[part];
            if (part == 1) secondStarted = true;
            // Part 0 is the caller's and comes first: part 1 can only start beside it.
            if (part == 0 && parts > 1) met = AwaitFlag(secondStarted);
        });
        for (int part = 0; part < parts; ++part) EXPECT_EQ(runs[part], 1) << parts << "/" << part;
        EXPECT_TRUE(met) << parts << " parts: no helper ran beside the caller";
    }
}

TEST(PaintingPool, HelpersWorkOnCopiesOfTheModelWhileTheCallerWorksToo) {
    PaintingPool pool;
    FigureEngine model;
    model.m_dMagnExp = -3.25;
    model.m_nWidth = 321;
    std::atomic<int> helpers{0};
    std::atomic<bool> copiesMatched{true};
    std::atomic<bool> callerRan{false};
    const auto caller = std::this_thread::get_id();
    pool.Run(
        3, model,
        [&](FigureEngine& engine) {
            if (&engine == &model || engine.m_dMagnExp != -3.25 || engine.m_nWidth != 321 ||
                std::this_thread::get_id() == caller) {
                copiesMatched = false;
            }
            engine.m_dMagnExp = 5;  // a helper's engine is its own
            ++helpers;
        },
        [&] { callerRan = std::this_thread::get_id() == caller; });
    EXPECT_EQ(helpers, 3);
    EXPECT_TRUE(copiesMatched);
    EXPECT_TRUE(callerRan);
    EXPECT_EQ(model.m_dMagnExp, -3.25);
}

TEST(PaintingPool, AFailureOfTheCallersPartComesOutOnceTheHelpersAreDone) {
    PaintingPool pool;
    FigureEngine model;
    std::atomic<bool> helperDone{false};
    bool doneWhenCaught = false;
    try {
        pool.Run(
            1, model,
            [&](FigureEngine&) {
                std::this_thread::sleep_for(50ms);
                helperDone = true;
            },
            [] { throw std::runtime_error("no memory"); });
    } catch (const std::runtime_error&) {
        doneWhenCaught = helperDone;
    }
    EXPECT_TRUE(doneWhenCaught);
    // The pool stays usable.
    std::atomic<int> runs{0};
    pool.ForEachPart(2, [&](int) { ++runs; });
    EXPECT_EQ(runs, 2);
}
