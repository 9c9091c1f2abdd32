#pragma once

#include <filesystem>
#include <memory>

#include "app/CommandLine.h"
#include "app/FrameClock.h"
#include "app/FrameStats.h"
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

    // Destroyed in reverse order: the script host is shut down first, the window last.
    std::unique_ptr<Window> window;
    Renderer renderer;
    FrameClock frameClock;
    FrameStats frameStats;
    ScriptRuntime scriptRuntime;
};

}  // namespace Quorvane
