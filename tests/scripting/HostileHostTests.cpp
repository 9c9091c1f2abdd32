// Script hosts that misbehave on purpose: each case asserts what the runtime
// does, that its memory stays bounded and that no process is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "scripting/ScriptHostProcess.h"
#include "support/Environment.h"
#include "support/ProcessProbe.h"
#include "support/TempDir.h"

using namespace Quorvane;
using QuorvaneTest::SetEnv;
using QuorvaneTest::TempDir;
using QuorvaneTest::UnsetEnv;

namespace {

constexpr std::size_t kMebibyte = 1024 * 1024;
// Far above what these hosts can make a bounded runtime hold, far below what an
// unbounded one reaches in the same time.
constexpr std::size_t kMemoryBound = 200 * kMebibyte;

double SecondsOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

class HostileHost : public testing::Test {
protected:
    void SetUp() override {
        SetEnv("DOTNET_ROOT", FAKE_DOTNET_DIR);
        recordPath = dir.Path() / "record.txt";
        SetEnv("QUORVANE_FAKE_RECORD", recordPath.string());
        config.projectRoot = dir.Path();
        config.scriptHostPath = dir.Path() / "Quorvane.ScriptHost.dll";
        config.gameAssemblyPath = dir.Path() / "Game.dll";
        config.mainClass = "Game.Main";
        childrenBefore = QuorvaneTest::CountChildProcesses();
        memoryBefore = QuorvaneTest::ResidentBytes();
    }
    void TearDown() override {
        UnsetEnv("QUORVANE_FAKE_SCENARIO");
        EXPECT_EQ(QuorvaneTest::CountChildProcesses(), childrenBefore) << "a host process was left behind";
    }
    void Scenario(const std::string& text) { SetEnv("QUORVANE_FAKE_SCENARIO", text); }
    void StartQuietly(ScriptHostProcess& process) {
        testing::internal::CaptureStdout();
        const bool ok = process.Start(config);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok);
    }
    // Runs frames, keeping the most memory seen after any of them.
    void Frames(ScriptHostProcess& process, int count, const std::function<void()>& beforeEach = {}) {
        for (int i = 0; i < count; ++i) {
            if (beforeEach) beforeEach();
            process.RunFrame(0.01f);
            memoryPeak = std::max(memoryPeak, QuorvaneTest::ResidentBytes());
        }
    }
    std::size_t MemoryGrowth() const { return memoryPeak > memoryBefore ? memoryPeak - memoryBefore : 0; }
    std::string Record() const { return QuorvaneTest::ReadFile(recordPath); }
    long ChildPid() const {
        const std::string record = Record();
        const std::size_t at = record.find("CHILD|");
        return at == std::string::npos ? -1 : std::stol(record.substr(at + 6));
    }

    TempDir dir;
    std::filesystem::path recordPath;
    ScriptHostConfig config;
    std::size_t childrenBefore = 0;
    std::size_t memoryBefore = 0;
    std::size_t memoryPeak = 0;
};

}  // namespace

TEST_F(HostileHost, FloodingHostStillEndsEachFrameWithinItsLimit) {
    Scenario("flood_lines=1;end_frame=never");
    // A cap low enough to bite within one frame even in a sanitizer build.
    constexpr std::size_t kCap = 2000;
    ScriptHostProcess process(ScriptHostProcess::kMaxPendingBytes, kCap);
    StartQuietly(process);
    testing::internal::CaptureStdout();
    double slowest = 0;
    for (int frame = 0; frame < 4; ++frame) {
        slowest = std::max(slowest, SecondsOf([&] { Frames(process, 1); }));
        EXPECT_LE(process.GetSnapshot().rects.size(), kCap);
        EXPECT_FALSE(process.GetSnapshot().rects.empty());
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_LT(slowest, 2.0);
    EXPECT_EQ(Count(out, "[Warn] Script host sent more than 2000 lines in one frame; the rest of that frame's "
                         "lines were dropped.\n"),
              1u)
        << out.substr(0, 2000);
    EXPECT_LT(MemoryGrowth(), kMemoryBound);
    process.Shutdown();
}

// With the shipped cap: the frame still ends on time, whatever the host sends.
TEST_F(HostileHost, FloodingHostUnderTheShippedCap) {
    Scenario("flood_lines=1;end_frame=never");
    ScriptHostProcess process;
    StartQuietly(process);
    testing::internal::CaptureStdout();
    double slowest = 0;
    for (int frame = 0; frame < 3; ++frame) {
        slowest = std::max(slowest, SecondsOf([&] { Frames(process, 1); }));
        EXPECT_LE(process.GetSnapshot().rects.size(), ScriptHostProcess::kMaxFrameLines);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_LT(slowest, 2.0);
    EXPECT_LE(Count(out, "[Warn] Script host sent more than"), 1u);
    EXPECT_LT(MemoryGrowth(), kMemoryBound);
    process.Shutdown();
}

TEST_F(HostileHost, FrameLineCapKeepsEndFrameAndWarnsOnce) {
    std::string reply;
    for (int i = 0; i < 50; ++i) reply += (i ? "~" : "") + std::string("RECT|{n}|0|1|1|0|0|0");
    Scenario("frame_reply=" + reply);
    ScriptHostProcess process(ScriptHostProcess::kMaxPendingBytes, 20);
    StartQuietly(process);
    testing::internal::CaptureStdout();
    for (int frame = 0; frame < 3; ++frame) {
        process.RunFrame(0.01f);
        EXPECT_TRUE(process.FrameEnded());
        EXPECT_EQ(process.GetSnapshot().rects.size(), 20u);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Warn] Script host sent more than 20 lines in one frame; the rest of that frame's lines were dropped.\n");
    process.Shutdown();
}

TEST_F(HostileHost, HostThatStopsReadingIsReportedOnceAndFramesKeepTheirPace) {
    Scenario("no_read=1");
    ScriptHostProcess process;
    StartQuietly(process);
    testing::internal::CaptureStdout();
    // Lines the host never takes fill its pipe within a few frames.
    const double seconds = SecondsOf([&] { Frames(process, 20, [&] { process.QueueLine(std::string(40000, 'x')); }); });
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "[Warn] script host is not reading its input\n");
    EXPECT_TRUE(process.FrameEnded());
    EXPECT_LT(seconds, 5.0);  // a waiting write would cost 500 ms a frame
    EXPECT_LT(MemoryGrowth(), kMemoryBound);
    const double shutdown = SecondsOf([&] { process.Shutdown(); });
    EXPECT_LT(shutdown, 2.0);
}

// A host that closes its output can never answer again: it is taken for dead at
// the first frame (and ended), instead of costing every frame its wait.
TEST_F(HostileHost, HostThatClosesItsOutputIsTakenForDead) {
    Scenario("close_output=1");
    ScriptHostProcess process;
    StartQuietly(process);
    testing::internal::CaptureStderr();
    const double seconds = SecondsOf([&] { Frames(process, 3); });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(process.FrameEnded());
    EXPECT_LT(seconds, 4.0);
#if !defined(_WIN32)
    EXPECT_TRUE(process.HostDied());
    EXPECT_NE(err.find("[Error] The script host closed its output and was ended."), std::string::npos) << err;
#else
    // Under Wine the pipe's other end stays open in the host after it closes its
    // standard handles: the frames then cost their wait, and nothing hangs.
    (void)err;
#endif
    process.Shutdown();
}

TEST_F(HostileHost, BinaryGarbageIsLoggedOrDroppedAndFramesGoOn) {
    Scenario("garbage=8192;frame_reply=RECT|{n}|0|1|1|0|0|0");
    ScriptHostProcess process;
    StartQuietly(process);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int ended = 0;
    Frames(process, 20, [&] { ended += process.FrameEnded() ? 1 : 0; });
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(process.FrameEnded());
    EXPECT_GE(ended, 18);
    EXPECT_LT(MemoryGrowth(), kMemoryBound);
    process.Shutdown();
}

// A host that starts a process of its own and then ends, in each way a host can end.
TEST_F(HostileHost, WhatTheHostStartedEndsWithIt) {
    struct Case {
        const char* name;
        const char* scenario;
        int frames;
    };
    const Case cases[] = {
        {"answers SHUTDOWN", "spawn_child=1", 1},
        {"ignores SHUTDOWN", "spawn_child=1;shutdown=ignore", 1},
        {"exits on its own", "spawn_child=1;die_after_frames=1", 2},
        {"never becomes ready", "spawn_child=1;ready=never", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(recordPath);
        Scenario(c.scenario);
        {
            ScriptHostProcess process;
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            const bool started = process.Start(config);
            if (started) Frames(process, c.frames);
            process.Shutdown();
            testing::internal::GetCapturedStdout();
            testing::internal::GetCapturedStderr();
        }
        const long child = ChildPid();
        ASSERT_GT(child, 0) << Record();
        EXPECT_TRUE(QuorvaneTest::WaitUntilGone(child, 3000)) << "the host's child " << child << " is still running";
    }
}
