#pragma once

#include <filesystem>
#include <string>

#include "support/Subprocess.h"
#include "support/TempDir.h"

namespace QuorvaneTest {

// Where the runtime looks for the script host relative to its working folder.
inline const std::filesystem::path kHostBuildPath =
    std::filesystem::path("engine/csharp/ScriptHost/bin/Debug/net8.0") / "Quorvane.ScriptHost.dll";

// A working folder with a project "game" and a placeholder script host, whose
// dotnet is the scripted fake host (FAKE_DOTNET_DIR, set by the test suites).
struct FakeHostProject {
    FakeHostProject(const std::string& projectJson, const std::string& scenario) {
        cwd.Write("game/project.json", projectJson);
        cwd.Write(kHostBuildPath, "");
        record = cwd.Path() / "record.txt";
        options.workingDirectory = cwd.Path();
        options.env["DOTNET_ROOT"] = FAKE_DOTNET_DIR;
        options.env["QUORVANE_FAKE_RECORD"] = record.string();
        options.env["QUORVANE_FAKE_SCENARIO"] = scenario;
    }
    // What the fake host received and did, one line each.
    std::string Record() const { return ReadFile(record); }

    TempDir cwd;
    std::filesystem::path record;
    ProcessOptions options;
};

}  // namespace QuorvaneTest
