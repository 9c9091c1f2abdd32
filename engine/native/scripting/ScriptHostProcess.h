#pragma once

#include <filesystem>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/InputState.h"
#include "project/ScriptHostConfig.h"
#include "scripting/WireProtocol.h"

namespace Quorvane {

// The runtime's end of the script host: launch, line exchange with time
// limits, shutdown. Single-threaded; no read ever blocks.
class ScriptHostProcess {
public:
    static constexpr int kReadyTimeoutMs = 5000;
    static constexpr int kStartedTimeoutMs = 5000;
    static constexpr int kFrameTimeoutMs = 500;
    static constexpr int kShutdownTimeoutMs = 300;
    // A line longer than this is dropped, so a host that never sends a line
    // feed cannot exhaust our memory.
    static constexpr std::size_t kMaxPendingBytes = 16u * 1024u * 1024u;

    // maxPendingBytes: tests use a small cap to reach it quickly.
    explicit ScriptHostProcess(std::size_t maxPendingBytes = kMaxPendingBytes) : maxPending(maxPendingBytes) {}
    ~ScriptHostProcess();
    ScriptHostProcess(const ScriptHostProcess&) = delete;
    ScriptHostProcess& operator=(const ScriptHostProcess&) = delete;

    bool Start(const ScriptHostConfig& config);
    void SendStart();
    void RunFrame(float deltaTime, const InputState& input = ProcessInputState());
    void Shutdown();

    // An extended line for the host, written in front of the next FRAME line in
    // the same write. Callers check Extensions() first: a host that declared
    // nothing must never see one.
    void QueueLine(std::string_view line);
    // Writes one line now, outside any frame (lines a host must see before START).
    void SendLine(std::string_view line) { WriteLine(std::string(line)); }
    // A replay's frame: the recorded lines go out in place of live input and clock;
    // lines queued meanwhile are dropped, the recording already holds their kind.
    void RunRecordedFrame(std::string_view frameLines);
    // What the last frame wrote to the host, without the final line feed.
    const std::string& LastFrameLines() const { return lastFrame; }
    ExtensionSet Extensions() const { return state.extensions; }

    const FrameSnapshot& GetSnapshot() const { return state.snapshot; }
    bool IsReady() const { return state.ready; }
    bool IsStarted() const { return state.started; }
    bool FrameEnded() const { return state.frameEnded; }

    // dotnet under DOTNET_ROOT, then under the user's home .dotnet, then the bare name.
    static std::filesystem::path FindDotnetHost();
    // The host's arguments after the dotnet executable, in launch order.
    static std::vector<std::string> BuildArguments(const ScriptHostConfig& config);

private:
    enum class Token { Ready, Started, EndFrame };

    bool Fail(const std::string& message);
    void WriteLine(const std::string& line);
    void ReadAvailableLines();
    void WaitForLine(Token token, int limitMs);
    bool TokenSeen(Token token) const;

    ChildProcess child;
    ProtocolState state;
    std::string pending;
    std::string queued;  // extended lines waiting for the next FRAME write
    std::string lastFrame;  // swapped with queued, so neither allocates in a steady run
    std::size_t maxPending;
    bool discardingLongLine = false;
};

}  // namespace Quorvane
