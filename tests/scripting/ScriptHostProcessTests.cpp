#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "app/Log.h"
#include "scripting/ScriptHostProcess.h"
#include "scripting/ScriptRuntime.h"
#include "support/Environment.h"
#include "support/ProcessProbe.h"
#include "support/TempDir.h"

using namespace Quorvane;
using QuorvaneTest::SetEnv;
using QuorvaneTest::TempDir;
using QuorvaneTest::UnsetEnv;

namespace {

double SecondsOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each test runs the fake "dotnet" found through DOTNET_ROOT with a scenario.
class ScriptHostProcessTest : public testing::Test {
protected:
    void SetUp() override {
        SetEnv("DOTNET_ROOT", FAKE_DOTNET_DIR);
        recordPath = dir.Path() / "record.txt";
        SetEnv("QUORVANE_FAKE_RECORD", recordPath.string());
        config.projectRoot = dir.Path();
        config.scriptHostPath = dir.Path() / "Quorvane.ScriptHost.dll";
        config.gameAssemblyPath = dir.Path() / "Game.dll";
        config.mainClass = "Game.Main";
        config.startScene = "Level 1";
        config.fixedDeltaTime = 1.0f / 60.0f;
        config.x = 2.5f;
        config.y = -1.0f;
        childrenBefore = QuorvaneTest::CountChildProcesses();
        fdsBefore = QuorvaneTest::CountOpenFds();
    }
    void TearDown() override {
        UnsetEnv("QUORVANE_FAKE_SCENARIO");
        EXPECT_EQ(QuorvaneTest::CountChildProcesses(), childrenBefore) << "a host process was left behind";
        EXPECT_EQ(QuorvaneTest::CountOpenFds(), fdsBefore) << "a descriptor was left open";
    }
    void Scenario(const std::string& text) { SetEnv("QUORVANE_FAKE_SCENARIO", text); }
    // Starts (and, when asked, sends START to) a host that is expected to come up.
    void StartQuietly(ScriptHostProcess& process, bool sendStart = false) {
        testing::internal::CaptureStdout();
        const bool ok = process.Start(config);
        if (ok && sendStart) process.SendStart();
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok);
    }
    // Starts a host that is expected to fail; returns the seconds it took and what went to stderr.
    double FailingStart(ScriptHostProcess& process, std::string& errors) {
        testing::internal::CaptureStderr();
        bool ok = true;
        const double seconds = SecondsOf([&] { ok = process.Start(config); });
        errors = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok);
        return seconds;
    }
    std::string Record() const { return QuorvaneTest::ReadFile(recordPath); }

    TempDir dir;
    std::filesystem::path recordPath;
    ScriptHostConfig config;
    std::size_t childrenBefore = 0;
    std::size_t fdsBefore = 0;
};

}  // namespace

TEST_F(ScriptHostProcessTest, FullConversation) {
    Scenario("pre_ready=LOG|Info|loading;stderr=dotnet says hi;"
             "frame_reply=RECT|{n}|0|1|1|0|0|0~CAMERA|3|4~LOG|Warn|frame {n}");
    {
        ScriptRuntime runtime;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(runtime.Start(config));
        runtime.SendStart();
        InputState input;
        runtime.RunFrame(1.0f / 60.0f);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("[Info] [ScriptHost] dotnet says hi\n"), std::string::npos) << out;
        EXPECT_NE(out.find("[Info] loading\n[Info] C# script host started.\n"), std::string::npos) << out;
        EXPECT_NE(out.find("[Warn] frame 1\n"), std::string::npos) << out;
        const FrameSnapshot& snapshot = runtime.GetSnapshot();
        ASSERT_EQ(snapshot.rects.size(), 1u);
        EXPECT_EQ(snapshot.rects[0].x, 1.0f);
        EXPECT_EQ(snapshot.camera.x, 3.0f);
        runtime.Shutdown();
        runtime.Shutdown();
    }
    const std::string expected = "ARG|" + (dir.Path() / "Quorvane.ScriptHost.dll").string() + "\n" +
                                 "ARG|" + (dir.Path() / "Game.dll").string() + "\n" +
                                 "ARG|Game.Main\n" +
                                 "ARG|" + dir.Path().string() + "\n" +
                                 "ARG|Level 1\nARG|0.016667\nARG|2.500000\nARG|-1.000000\n" +
                                 "CWD|" + dir.Path().string() + "\n" +
                                 "IN|START\nIN|FRAME|0.0166667||0,0|\nIN|SHUTDOWN\nEXIT\n";
    EXPECT_EQ(Record(), expected);
}

TEST_F(ScriptHostProcessTest, ArgumentsArriveIntact) {
    const auto folder = dir.Path() / "with space";
    std::filesystem::create_directories(folder);
    config.projectRoot = folder;
    config.mainClass = "My \"Quoted\" Game";
    config.startScene = "Level\\ \xC3\xA9t\xC3\xA9\\";  // backslashes inside and at the end, UTF-8
    Scenario("");
    {
        ScriptHostProcess process;
        StartQuietly(process);
    }
    const std::string record = Record();
    EXPECT_NE(record.find("ARG|My \"Quoted\" Game\n"), std::string::npos) << record;
    EXPECT_NE(record.find("ARG|Level\\ \xC3\xA9t\xC3\xA9\\\n"), std::string::npos) << record;
    EXPECT_NE(record.find("ARG|" + PathToString(folder) + "\n"), std::string::npos) << record;
    EXPECT_NE(record.find("CWD|" + PathToString(folder) + "\n"), std::string::npos) << record;
}

TEST_F(ScriptHostProcessTest, ReadyLateIsAccepted) {
    Scenario("ready_delay_ms=1500");
    ScriptHostProcess process;
    StartQuietly(process);
}

TEST_F(ScriptHostProcessTest, ReadyNeverFailsAndTheHostIsTerminated) {
    Scenario("ready=never;shutdown=ignore");
    ScriptHostProcess process;
    std::string errors;
    const double seconds = FailingStart(process, errors);
    EXPECT_EQ(errors, "[Error] Script host did not become ready.\n");
    EXPECT_GT(seconds, 4.9);
    EXPECT_LT(seconds, 8.0);
    EXPECT_NE(Record().find("IN|SHUTDOWN"), std::string::npos);
}

// A host that ends before READY is reported once, by its own words when it had
// any, else by how it ended; never by a timeout it did not cause.
TEST_F(ScriptHostProcessTest, HostThatExitsBeforeReadyFailsAtOnceByItsRealCause) {
    struct Case {
        std::string scenario;
        std::string errors;
    };
    const Case cases[] = {
        {"exit_before_ready=1;pre_ready=ERROR|no such game", "[Error] no such game\n"},
        {"exit_before_ready=1;stderr=You must install .NET",
         "[Error] The script host exited unexpectedly (exit code 1).\n[Error] [ScriptHost] You must install .NET\n"},
    };
    for (const Case& c : cases) {
        Scenario(c.scenario);
        ScriptHostProcess process;
        std::string errors;
        const double seconds = FailingStart(process, errors);
        EXPECT_EQ(errors, c.errors) << c.scenario;
        EXPECT_LT(seconds, 2.5) << c.scenario;
    }
}

TEST_F(ScriptHostProcessTest, StartedNeverCarriesOnSilently) {
    Scenario("started=never");
    ScriptHostProcess process;
    StartQuietly(process);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const double seconds = SecondsOf([&] { process.SendStart(); });
    EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(process.IsStarted());
    EXPECT_GT(seconds, 4.9);
    EXPECT_LT(seconds, 8.0);
}

TEST_F(ScriptHostProcessTest, LateAnswersLagOneFrame) {
    Scenario("frame_delay_ms=700;frame_reply=RECT|{n}|0|1|1|0|0|0");
    ScriptHostProcess process;
    StartQuietly(process, true);
    InputState input;
    testing::internal::CaptureStdout();

    const double first = SecondsOf([&] { process.RunFrame(0.01f, input); });
    EXPECT_GT(first, 0.49);
    EXPECT_FALSE(process.FrameEnded());
    EXPECT_TRUE(process.GetSnapshot().rects.empty());

    process.RunFrame(0.01f, input);  // ends at frame 1's late END_FRAME
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a host that declared nothing stalls silently";
    EXPECT_TRUE(process.FrameEnded());
    ASSERT_EQ(process.GetSnapshot().rects.size(), 1u);
    EXPECT_EQ(process.GetSnapshot().rects[0].x, 1.0f);
}

// A host that ends without SHUTDOWN is noticed within a frame, whatever it
// declared: one line saying how it ended, then its last output as errors.
TEST_F(ScriptHostProcessTest, HostThatDiesMidRunIsNoticedWithinAFrame) {
    struct Case {
        std::string scenario;
        std::string headline;
    };
#if defined(_WIN32)
    // Windows has no signals: abort() ends a process with exit code 3.
    const std::string aborted = "The script host exited unexpectedly (exit code 3).";
#else
    const std::string aborted = "The script host exited unexpectedly (signal 6, SIGABRT).";
#endif
    const Case cases[] = {
        {"exit_code=3", "The script host exited unexpectedly (exit code 3)."},
        {"exit_code=0", "The script host exited unexpectedly (exit code 0)."},
        {"die_signal=6", aborted},
        {"die_signal=6;pre_ready=EXTENSIONS|draw,frames", aborted},
    };
    for (const Case& c : cases) {
        Scenario("die_after_frames=1;crash=Stack overflow.~   at Game.Recurse();frame_reply=CAMERA|7|8~RECT|0|0|1|1|0|0|0;" +
                 c.scenario);
        ScriptHostProcess process;
        StartQuietly(process, true);
        InputState input;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        double seconds = 0;
        for (int frame = 0; frame < 3 && !process.HostDied(); ++frame) {
            seconds = SecondsOf([&] { process.RunFrame(0.01f, input); });
        }
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string errors = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(process.HostDied()) << c.scenario;
        EXPECT_LT(seconds, 1.5) << c.scenario;
        EXPECT_EQ(errors, "[Error] " + c.headline + "\n[Error] [ScriptHost] Stack overflow.\n[Error] [ScriptHost]    at Game.Recurse()\n")
            << c.scenario;
        EXPECT_EQ(out.find("Stack overflow"), std::string::npos) << out;
        const std::vector<std::string> report{c.headline, "Stack overflow.", "   at Game.Recurse()"};
        EXPECT_EQ(process.DeathReport(), report) << c.scenario;
        EXPECT_EQ(process.GetSnapshot().camera.x, 7.0f);
        const double shutdown = SecondsOf([&] { process.Shutdown(); });
        EXPECT_LT(shutdown, 1.0);
        EXPECT_EQ(Record().find("IN|SHUTDOWN"), std::string::npos) << "a dead host hears nothing more";
    }
}

TEST_F(ScriptHostProcessTest, HostThatEndsAfterShutdownIsNoNews) {
    Scenario("frame_reply=RECT|0|0|1|1|0|0|0");
    ScriptHostProcess process;
    StartQuietly(process, true);
    InputState input;
    testing::internal::CaptureStderr();
    process.RunFrame(0.01f, input);
    process.Shutdown();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(process.HostDied());
}

// A "frames" host numbers its END_FRAME lines: after a slow frame the runtime
// drops the late answers and each later frame draws its own lines, with one
// warning for the whole stall.
TEST_F(ScriptHostProcessTest, NumberedFramesRecoverFromAStallWithOneWarning) {
    Scenario("pre_ready=EXTENSIONS|frames;end_frame=never;slow_frame=2;slow_ms=1200;"
             "frame_reply=RECT|{n}|0|1|1|0|0|0~END_FRAME|{n}");
    ScriptHostProcess process;
    StartQuietly(process, true);
    InputState input;
    testing::internal::CaptureStdout();
    process.RunFrame(0.01f, input);
    ASSERT_TRUE(process.FrameEnded());
    std::vector<int> endedFrames;
    for (int frame = 2; frame <= 9; ++frame) {
        process.RunFrame(0.01f, input);
        if (!process.FrameEnded()) continue;
        endedFrames.push_back(frame);
        const auto& rects = process.GetSnapshot().rects;
        ASSERT_EQ(rects.size(), 1u) << "frame " << frame;
        EXPECT_EQ(rects[0].x, static_cast<float>(frame)) << "frame " << frame << " drew another frame's lines";
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "[Warn] frame 2: the script host took longer than 500 ms\n");
    ASSERT_FALSE(endedFrames.empty());
    EXPECT_EQ(endedFrames.back(), 9);
    EXPECT_GE(endedFrames.size(), 5u);
}

TEST_F(ScriptHostProcessTest, QuitAndGameFailureArriveFromAFramesHost) {
    Scenario("pre_ready=EXTENSIONS|frames;end_frame=never;"
             "frame_reply=GAME_FAILED|Update|System.InvalidOperationException|boom\\nline two~"
             "GAME_STACK|42|MyGame.Main.Update|/src/Main.cs~GAME_STACK|0|MyGame.Main.Helper|~QUIT~END_FRAME|{n}");
    ScriptHostProcess process;
    StartQuietly(process, true);
    InputState input;
    testing::internal::CaptureStderr();
    process.RunFrame(0.01f, input);
    process.RunFrame(0.01f, input);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Error] Update failed: System.InvalidOperationException: boom\nline two\n"
              "   at MyGame.Main.Update in /src/Main.cs:line 42\n"
              "   at MyGame.Main.Helper\n");
    EXPECT_TRUE(process.QuitRequested());
    ASSERT_TRUE(process.GameFailed().has_value());
    EXPECT_EQ(process.GameFailed()->frames.size(), 2u);
}

TEST_F(ScriptHostProcessTest, ShutdownIgnoredIsTerminated) {
    Scenario("shutdown=ignore");
    ScriptHostProcess process;
    StartQuietly(process);
    const double seconds = SecondsOf([&] { process.Shutdown(); });
    EXPECT_GT(seconds, 0.29);
    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(Record().find("EXIT"), std::string::npos);
}

TEST_F(ScriptHostProcessTest, EndlessLineIsCappedAndDropped) {
    Scenario("flood=200000;pre_ready=LOG|Info|after");
    ScriptHostProcess process(64 * 1024);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(process.Start(config));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Error] Script host sent a line longer than 65536 bytes; it was dropped.\n");
    EXPECT_EQ(out, "[Info] after\n[Info] C# script host started.\n");
}

TEST_F(ScriptHostProcessTest, LaunchFailure) {
    const auto fakeRoot = dir.Path() / "dotnet-root";
    dir.Write(fakeRoot / kDotnetFileName, "not a program");  // exists but cannot be run
    SetEnv("DOTNET_ROOT", fakeRoot.string());
    ScriptHostProcess process;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(process.Start(config));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Error] Could not start .NET script host. Make sure dotnet is available on PATH.\n");
    process.Shutdown();
}

TEST(FindDotnetHost, SearchOrder) {
    TempDir dir;
    const std::string savedHome = std::getenv(kUserHomeVariable) ? std::getenv(kUserHomeVariable) : "";
    SetEnv("DOTNET_ROOT", (dir.Path() / "empty").string());
    SetEnv(kUserHomeVariable, (dir.Path() / "home").string());
    EXPECT_EQ(ScriptHostProcess::FindDotnetHost(), "dotnet");
    const auto inHome = dir.Write(std::filesystem::path("home") / ".dotnet" / kDotnetFileName, "");
    EXPECT_EQ(ScriptHostProcess::FindDotnetHost(), inHome);
    const auto inRoot = dir.Write(std::filesystem::path("empty") / kDotnetFileName, "");
    EXPECT_EQ(ScriptHostProcess::FindDotnetHost(), inRoot);
    SetEnv(kUserHomeVariable, savedHome);
    UnsetEnv("DOTNET_ROOT");
}
