#include <gtest/gtest.h>

#include "project/ScriptHostConfig.h"
#include "support/TempDir.h"

using namespace Quorvane;
using QuorvaneTest::TempDir;

namespace {
const std::filesystem::path kBuildPath = "engine/csharp/ScriptHost/bin/Debug/net8.0/Quorvane.ScriptHost.dll";
}

TEST(FindScriptHost, CandidatesInOrder) {
    TempDir dir;
    const auto exeDir = dir.Path() / "bin";
    const auto cwd = dir.Path() / "cwd";
    const auto root = dir.Path() / "root";
    const auto project = root / "samples" / "Game";
    std::filesystem::create_directories(exeDir);
    std::filesystem::create_directories(cwd);
    std::filesystem::create_directories(project);

    // None exists: the current-directory candidate, as built.
    EXPECT_EQ(FindScriptHost(project, exeDir, cwd), cwd / kBuildPath);

    const auto fromSample = dir.Write(root / kBuildPath, "");
    EXPECT_EQ(FindScriptHost(project, exeDir, cwd), fromSample);

    const auto fromCurrent = dir.Write(cwd / kBuildPath, "");
    EXPECT_EQ(FindScriptHost(project, exeDir, cwd), fromCurrent);

    const auto fromRuntime = dir.Write(exeDir / "ScriptHost/Quorvane.ScriptHost.dll", "");
    EXPECT_EQ(FindScriptHost(project, exeDir, cwd), fromRuntime);
}

TEST(FindScriptHost, TheBuildTreeIsTheLastCandidate) {
    TempDir dir;
    const auto exeDir = dir.Path() / "repo" / "build" / "linux";
    const auto cwd = dir.Path() / "elsewhere";
    const auto project = dir.Path() / "games" / "deep" / "Game";
    std::filesystem::create_directories(exeDir);
    std::filesystem::create_directories(cwd);
    std::filesystem::create_directories(project);
    const auto fromBuildTree = dir.Write(dir.Path() / "repo" / kBuildPath, "");
    EXPECT_EQ(FindScriptHost(project, exeDir, cwd), fromBuildTree);
    // Every earlier candidate still wins over it.
    const auto fromSample = dir.Write(dir.Path() / "games" / kBuildPath, "");
    EXPECT_EQ(FindScriptHost(project, exeDir, cwd), fromSample);
}

TEST(FindScriptHost, ProjectBelowTheRootUsesTheRootAsGrandparent) {
    TempDir dir;
    EXPECT_EQ(FindScriptHost("/proj", dir.Path(), dir.Path()), dir.Path() / kBuildPath);
}

TEST(FindScriptHost, RuntimeBuiltInACheckoutFindsItsHostForAGameAnywhere) {
    TempDir dir;
    const auto checkout = dir.Path() / "quorvane";
    const auto exeDir = checkout / "build" / "linux";
    const auto elsewhere = dir.Path() / "games" / "MyGame";
    std::filesystem::create_directories(exeDir);
    std::filesystem::create_directories(elsewhere);
    const auto host = dir.Write(checkout / kBuildPath, "");
    EXPECT_EQ(FindScriptHost(elsewhere, exeDir, dir.Path() / "games"), host);
}
