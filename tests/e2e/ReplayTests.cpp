#include <gtest/gtest.h>

#include "support/FakeHostProject.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

using QuorvaneTest::FakeHostProject;
using QuorvaneTest::ReadFile;
using QuorvaneTest::RunProcess;

// Record and replay against the scripted host: what reaches a host, byte for byte.
namespace {

const std::string kRuntime = QUORVANE_EXE;

// The IN| lines the fake host received, without the prefix.
std::string Received(const FakeHostProject& project) {
    std::string received;
    const std::string record = project.Record();
    for (std::size_t at = 0; (at = record.find("IN|", at)) != std::string::npos;) {
        const std::size_t end = record.find('\n', at);
        received += record.substr(at + 3, end - at - 3) + "\n";
        at = end;
    }
    return received;
}

}  // namespace

TEST(Replay, AHostThatDeclaresNothingHearsNoSeedAndGetsTheRecordedFramesBack) {
    FakeHostProject project(R"({"mainClass": "Game.Main", "name": "Fake"})", "");
    const auto replay = project.cwd.Path() / "run.replay";
    auto result = RunProcess({kRuntime, "--headless", "--frames", "4", "--seed", "77", "--record", replay.string(), "game"},
                             project.options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string recorded = Received(project);
    EXPECT_EQ(recorded.rfind("START\nFRAME|", 0), 0u) << recorded;  // no SEED line for this host
    const std::string file = ReadFile(replay);
    EXPECT_EQ(file.rfind("QUORVANE-REPLAY|1\nGAME|Fake|Game.Main\nSEED|77\nFRAME|", 0), 0u) << file;

    std::filesystem::remove(project.record);  // the fake host appends
    result = RunProcess({kRuntime, "--headless", "--replay", replay.string(), "game"}, project.options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("[Info] The replay ended after 4 frames.\n"), std::string::npos) << result.out;
    EXPECT_EQ(Received(project), recorded);  // the same frame lines, whatever the clock said this time
}

TEST(Replay, ADeclaringHostGetsTheSeedBeforeStartAndTheRecordedSeedOnReplay) {
    FakeHostProject project(R"({"mainClass": "Game.Main", "name": "Fake"})", "pre_ready=EXTENSIONS|replay,reload");
    const auto replay = project.cwd.Path() / "run.replay";
    auto result = RunProcess({kRuntime, "--headless", "--frames", "2", "--record", replay.string(), "--watch", "game"},
                             project.options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string file = ReadFile(replay);
    const std::string seedLine = file.substr(file.find("SEED|"), file.find('\n', file.find("SEED|")) - file.find("SEED|"));
    const std::string watched = (project.cwd.Path() / "game").string();
    EXPECT_EQ(Received(project).rfind(seedLine + "\nWATCH|" + watched + "\nSTART\nFRAME|", 0), 0u) << Received(project);

    std::filesystem::remove(project.record);  // the fake host appends
    result = RunProcess({kRuntime, "--headless", "--replay", replay.string(), "game"}, project.options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Received(project).rfind(seedLine + "\nSTART\nFRAME|", 0), 0u) << Received(project);
}

TEST(Replay, WatchWithAHostThatCannotReloadIsAWarning) {
    FakeHostProject project(R"({"mainClass": "Game.Main"})", "");
    const auto result = RunProcess({kRuntime, "--headless", "--frames", "1", "--watch", "game"}, project.options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find(
                  "[Warn] --watch needs a script host that reloads games; this one does not, so changes are not picked up.\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(Received(project).rfind("START\n", 0), 0u);
}
