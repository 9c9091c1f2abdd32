#pragma once

#include <filesystem>
#include <memory>

#include "app/CommandLine.h"
#include "app/FrameClock.h"
#include "app/Replay.h"
#include "platform/Window.h"
#include "project/ProjectConfig.h"
#include "render/Renderer.h"
#include "scripting/ScriptRuntime.h"

namespace Quorvane {

class Application {
public:
    Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // 0 after the loop ended normally, 1 after any start-up failure.
    int Run(const std::filesystem::path& projectPath, const CommandLine& options = {});

private:
    int StartAndLoop(const std::filesystem::path& projectPath, const CommandLine& options);
    void MainLoop(const ProjectConfig& config, const CommandLine& options);
    // --replay, --record, --seed, --watch: the lines the host hears before START.
    bool PrepareDeveloperLoop(const ProjectConfig& config, const CommandLine& options);
    // --record and --compare after the loop; the exit code.
    int FinishDeveloperLoop(const CommandLine& options);

    // Destroyed in reverse order: the script host is shut down first, the window last.
    std::unique_ptr<Window> window;
    Renderer renderer;
    FrameClock frameClock;
    ScriptRuntime scriptRuntime;
    ReplayFile replay;  // frames of --replay
    std::size_t replayFrame = 0;
    ReplayRecorder recorder;
};

}  // namespace Quorvane
