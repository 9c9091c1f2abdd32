#pragma once

#include <filesystem>
#include <memory>

#include <optional>

#include "app/CommandLine.h"
#include "app/DiagnosticsOverlay.h"
#include "app/ErrorScreen.h"
#include "app/FrameClock.h"
#include "audio/AudioEngine.h"
#include "app/FrameStats.h"
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

    // The game failed while running: its script host died, or the game threw.
    static constexpr int kExitGameFailed = 2;

    // The last frame differs from the --compare image by more than the tolerance.
    static constexpr int kExitImageDiffers = 3;

    // 0 after the loop ended normally, 1 after any start-up failure, 2 when the
    // game failed while running (after its error screen was closed), 3 when
    // --compare found the last frame different.
    int Run(const std::filesystem::path& projectPath, const CommandLine& options = {});

private:
    int StartAndLoop(const std::filesystem::path& projectPath, const CommandLine& options);
    // True when the loop ended on the error screen.
    bool MainLoop(const ProjectConfig& config, const CommandLine& options);
    std::optional<ErrorScreen> FailureScreen() const;
    bool StartAudio(const ProjectConfig& config, const CommandLine& options);
    // The "input" extension and project.json's window keys.
    void ApplyWindowSettings(const WindowSettings& settings);
    void QueueInputLines(const ProjectConfig& config, bool firstFrame);
    void ApplyWindowRequests(const WindowRequests& requests);
    // --replay, --record, --seed, --watch: the lines the host hears before START.
    bool PrepareDeveloperLoop(const ProjectConfig& config, const CommandLine& options);
    // --record and --compare after the loop; the exit code.
    int FinishDeveloperLoop(const CommandLine& options);

    // Destroyed in reverse order: the script host is shut down first, the window last.
    std::unique_ptr<Window> window;
    Renderer renderer;
    FrameClock frameClock;
    FrameStats frameStats;
    DiagnosticsOverlay overlay;  // F3 by default; drawn over the frame and the error screen
    ScriptRuntime scriptRuntime;
    AudioEngine audio;  // stopped before the script host, so its capture is complete
    ReplayFile replay;  // frames of --replay
    std::size_t replayFrame = 0;
    ReplayRecorder recorder;
    std::string inputLines;  // reused each frame
};

}  // namespace Quorvane
