// SPDX-License-Identifier: Zlib
// The main loop on a fake clock: catch-up arithmetic, the frame-rate window,
// stopping from each procedure, the 32-bit wrap, paused periods, closing the
// window, interrupts and exceptions from callbacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "QCore.h"
#include "QWin.h"

namespace {

using quelt::test::FakePlatform;

// The loop calls plain function pointers; these forward to the running test.
struct Script {
    std::function<void()> init, render, update, done;
    std::vector<std::string> trace;
    int updates = 0;
    int renders = 0;
};
Script* script = nullptr;

void Init() {
    script->trace.push_back("init");
    if (script->init) script->init();
}
void Render() {
    script->trace.push_back("render");
    ++script->renders;
    if (script->render) script->render();
}
void Update() {
    script->trace.push_back("update");
    ++script->updates;
    if (script->update) script->update();
}
void Done() {
    script->trace.push_back("done");
    if (script->done) script->done();
}

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override {
        script = &s;
        quelt::SetProcAdress(0, &Render);
        quelt::SetProcAdress(1, &Update);
        quelt::SetProcAdress(2, &Init);
        quelt::SetProcAdress(3, &Done);
        quelt::SetUPS(200);
    }
    void TearDown() override {
        for (int slot = 0; slot < 6; ++slot) quelt::SetProcAdress(slot, nullptr);
        script = nullptr;
    }

    // Runs a loop whose pass k (from 0) renders at start + times[k]; the loop
    // stops after the last listed pass. Returns the updates of each pass.
    std::vector<int> RunPasses(std::int64_t start, const std::vector<std::int64_t>& times) {
        std::vector<int> perPass;
        std::size_t pass = 0;
        int before = 0;
        fake.SetMilliseconds(start);
        s.render = [&] {
            if (pass > 0) perPass.push_back(s.updates - before);
            before = s.updates;
            fake.SetMilliseconds(start + times[pass]);
            if (++pass == times.size()) quelt::StopMainLoop();
        };
        quelt::StartMainLoop();
        perPass.push_back(s.updates - before);
        return perPass;
    }

    FakePlatform fake;
    Script s;
};

// Read before any test runs, whatever order they run in.
const std::int32_t fpsAtLoad = quelt::GetFPS();

TEST_F(MainLoop, FrameRateWindowClosesStrictlyAfterOneSecond) {
    EXPECT_EQ(fpsAtLoad, 0);
    // The frame count is process-wide and never reset: close a window first
    // so that the count starts from 0 whichever tests ran before.
    RunPasses(40'000, {1001});
    const std::int32_t published = quelt::GetFPS();
    RunPasses(50'000, {500, 1000});
    EXPECT_EQ(quelt::GetFPS(), published) << "a window of exactly 1000 ms does not close";
    // The frame counter carries over into the next loop; the clocks restart.
    RunPasses(60'000, {1001});
    EXPECT_EQ(quelt::GetFPS(), 3) << "two earlier frames plus the one just presented";
    RunPasses(70'000, {400, 1002, 1500});
    EXPECT_EQ(quelt::GetFPS(), 2);
}

// A cap makes the loop sleep between passes on an exact schedule; a pass
// slower than the cap never sleeps; updates keep their rate and the classic
// catch-up (one ahead while less than a period behind) either way. Each
// case runs one second of a pass taking `work` ms, stopping at the pass due at 1000.
TEST_F(MainLoop, FrameCapSleepsBetweenPassesAndUpdatesStayExact) {
    struct Case {
        int cap, work, renders, updates;
        bool sleeps;
    };
    for (const Case& c : {Case{60, 2, 61, 101, true}, Case{0, 2, 501, 102, false}, Case{-3, 2, 501, 102, false},
                          Case{50, 30, 35, 106, false}, Case{5000, 0, 1001, 101, true}, Case{7, 1, 8, 101, true}}) {
        quelt::SetFrameCap(c.cap);
        quelt::SetUPS(100);
        s.renders = s.updates = 0;
        fake.sleptMilliseconds = 0;
        fake.SetMilliseconds(100'000);
        s.render = [&] {
            if (quelt::GetTimer() - 100'000 >= 1000) quelt::StopMainLoop();
            fake.SetMilliseconds(quelt::GetTimer() + c.work);
        };
        quelt::StartMainLoop();
        EXPECT_EQ(s.renders, c.renders) << "cap " << c.cap;
        EXPECT_EQ(s.updates, c.updates) << "cap " << c.cap;
        EXPECT_EQ(fake.sleptMilliseconds > 0, c.sleeps) << "cap " << c.cap;
    }
    quelt::SetFrameCap(0);
}

TEST_F(MainLoop, SetUpsTruncatesAndPausesOutsideItsRange) {
    const std::vector<std::pair<int, int>> cases = {{200, 5}, {7, 142}, {1000, 1}, {3, 333}, {60, 16}, {1, 1000},
                                                    {1001, 1}, {INT_MAX, 1}, {0, 0}, {-5, 0}, {INT_MIN, 0}};
    for (const auto& [ups, period] : cases) {
        quelt::SetUPS(ups);
        EXPECT_EQ(quelt::UpdatePeriod(), period) << "ups " << ups;
    }
}

TEST_F(MainLoop, CatchUpCountsAtPeriodFive) {
    // Differences now - update clock: 0 (1 update, clock +5), then 12 -> 3
    // (clock +20), -3 -> 1 (+25), -5 -> none, 0 -> 1.
    EXPECT_EQ(RunPasses(10'000, {0, 17, 17, 20, 25}), (std::vector<int>{1, 3, 1, 0, 1}));
}

TEST_F(MainLoop, StallOfOneSecondIsCaughtUpInOnePass) {
    EXPECT_EQ(RunPasses(20'000, {0, 1005}), (std::vector<int>{1, 201}));
}

TEST_F(MainLoop, RenderComesBeforeUpdateAndInitTimeIsNotCaughtUp) {
    fake.SetMilliseconds(30'000);
    s.init = [&] { fake.SetMilliseconds(40'000); }; // a long init
    s.render = [&] { quelt::StopMainLoop(); };
    quelt::StartMainLoop();
    EXPECT_EQ(s.trace, (std::vector<std::string>{"init", "render", "update", "done"}));
}

TEST_F(MainLoop, StopFromInitRunsNoPass) {
    s.init = [] { quelt::StopMainLoop(); };
    fake.peekCount = 0;
    quelt::StartMainLoop();
    EXPECT_EQ(s.trace, (std::vector<std::string>{"init", "done"}));
    EXPECT_EQ(fake.peekCount, 0) << "no message pump either";
    EXPECT_FALSE(quelt::IsLoopRunning());
}

TEST_F(MainLoop, StopFromUpdateFinishesThatPassesRepetitions) {
    fake.SetMilliseconds(90'000);
    int pass = 0;
    s.render = [&] {
        if (++pass == 2) fake.SetMilliseconds(90'017); // 12 ms past the update clock: 3 updates
    };
    s.update = [&] {
        if (pass == 2) quelt::StopMainLoop();
    };
    quelt::StartMainLoop();
    EXPECT_EQ(pass, 2);
    EXPECT_EQ(s.updates, 1 + 3);
    EXPECT_EQ(s.trace.back(), "done");
}

TEST_F(MainLoop, EmptyUpdateSlotStillAdvancesTheClock) {
    fake.SetMilliseconds(1'000);
    int pass = 0;
    s.render = [&] {
        ++pass;
        if (pass == 1) {
            quelt::SetProcAdress(1, nullptr);
            fake.SetMilliseconds(1'012); // 3 silent updates: clock at +15
        } else {
            quelt::SetProcAdress(1, &Update); // -3 behind: exactly one
            quelt::StopMainLoop();
        }
    };
    quelt::StartMainLoop();
    EXPECT_EQ(s.updates, 1);
}

TEST_F(MainLoop, OutOfRangeSlotsChangeNothing) {
    int stray = 0;
    static int* strayCount;
    strayCount = &stray;
    const TProc intruder = [] { ++*strayCount; };
    quelt::SetProcAdress(6, intruder);
    quelt::SetProcAdress(-1, intruder);
    quelt::SetProcAdress(INT_MIN, intruder);
    s.render = [] { quelt::StopMainLoop(); };
    quelt::StartMainLoop();
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(s.trace, (std::vector<std::string>{"init", "render", "update", "done"}));
}

TEST_F(MainLoop, ArithmeticHoldsAcrossThe32BitWrap) {
    // Start 3 ms before the millisecond count wraps to INT_MIN and then to 0.
    EXPECT_EQ(RunPasses(0x7FFFFFFFll - 3, {0, 17}), (std::vector<int>{1, 3}));
    EXPECT_EQ(RunPasses(0xFFFFFFFFll - 3, {0, 17, 1020}), (std::vector<int>{1, 3, 201}));
}

TEST_F(MainLoop, PausedPeriodRunsPassesWithoutUpdatesAndResumesWithoutBacklog) {
    for (int ups : {0, -5}) {
        SCOPED_TRACE(ups);
        quelt::SetUPS(ups);
        s.updates = 0;
        EXPECT_EQ(RunPasses(100'000, {0, 10, 5000}), (std::vector<int>{0, 0, 0}));
    }
    // A rate set while paused starts from now, not from the loop's start.
    quelt::SetUPS(0);
    fake.SetMilliseconds(200'000);
    int pass = 0;
    s.render = [&] {
        ++pass;
        if (pass == 2) {
            fake.SetMilliseconds(205'000);
            quelt::SetUPS(200);
        }
        if (pass == 3) {
            fake.SetMilliseconds(205'005);
            quelt::StopMainLoop();
        }
    };
    s.updates = 0;
    quelt::StartMainLoop();
    EXPECT_EQ(s.updates, 2); // one in pass 2, one in pass 3: no 1000-update burst
}

TEST_F(MainLoop, ClosingTheWindowEndsTheLoopAndDoneStillRuns) {
    int pass = 0;
    s.render = [&] {
        if (++pass == 2) fake.Post(quelt::PlatformMessage::Kind::CloseRequest);
    };
    quelt::StartMainLoop();
    EXPECT_EQ(pass, 3) << "the pass that pumped the close request still renders";
    EXPECT_EQ(s.trace.back(), "done");

    // A quit request (the last window closed, or an interrupt) does the same.
    pass = 0;
    s.render = [&] {
        if (++pass == 1) fake.Post(quelt::PlatformMessage::Kind::Quit);
    };
    quelt::StartMainLoop();
    EXPECT_EQ(pass, 2);
}

// A real signal in a child process: inside the loop it ends the loop and the
// done procedure runs; once the loop has returned, the signal kills as usual.
TEST_F(MainLoop, InterruptEndsTheLoopCleanlyAndOnlyWhileItRuns) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        static int raised;
        raised = signal;
        s.render = [] { std::raise(raised); };
        s.done = [] { std::fputs("done ran\n", stderr); };
        EXPECT_EXIT(
            {
                quelt::StartMainLoop();
                std::fputs("loop returned\n", stderr);
                std::raise(raised);
                std::exit(0);
            },
            ::testing::KilledBySignal(signal), "done ran\nloop returned\n");
    }
}

// The program's own handler, displaced while the loop runs, still gets the
// signal: once, after the done procedure. A second signal during the loop
// goes straight to it instead of killing the process.
void ProgramHandler(int signal) { std::fprintf(stderr, "program handler %d\n", signal); }

TEST_F(MainLoop, InterruptReachesTheProgramsHandlerAfterTheLoop) {
    for (int twice : {0, 1}) {
        SCOPED_TRACE(twice);
        static int secondSignal;
        secondSignal = twice;
        s.render = [] {
            std::raise(SIGINT);
            if (secondSignal) std::raise(SIGINT);
        };
        s.done = [] { std::fputs("done ran\n", stderr); };
        const std::string expected = twice ? "^program handler 2\ndone ran\nprogram handler 2\nloop returned\n$"
                                           : "^done ran\nprogram handler 2\nloop returned\n$";
        EXPECT_EXIT(
            {
                std::signal(SIGINT, ProgramHandler);
                quelt::StartMainLoop();
                std::fputs("loop returned\n", stderr);
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), expected);
    }
}

TEST_F(MainLoop, CallbackExceptionPassesThroughAndLeavesTheLoopIdle) {
    s.update = [] { throw std::runtime_error("from the application"); };
    EXPECT_THROW(quelt::StartMainLoop(), std::runtime_error);
    EXPECT_FALSE(quelt::IsLoopRunning());
    EXPECT_EQ(std::count(s.trace.begin(), s.trace.end(), "done"), 0);
    // The loop can be started again afterwards.
    s.update = nullptr;
    s.trace.clear();
    s.render = [] { quelt::StopMainLoop(); };
    quelt::StartMainLoop();
    EXPECT_EQ(s.trace, (std::vector<std::string>{"init", "render", "update", "done"}));
}

} // namespace
