#pragma once

#include <filesystem>
#include <memory>

#include "app/CommandLine.h"
#include "app/FrameClock.h"
#include "audio/AudioEngine.h"
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
    bool StartAudio(const ProjectConfig& config, const CommandLine& options);

    // Destroyed in reverse order: the script host is shut down first, the window last.
    std::unique_ptr<Window> window;
    Renderer renderer;
    FrameClock frameClock;
    ScriptRuntime scriptRuntime;
    AudioEngine audio;  // stopped before the script host, so its capture is complete
};

}  // namespace Quorvane
