#include "scripting/ScriptHostProcess.h"

#include <chrono>
#include <cstdlib>

#include "app/Log.h"
#include "app/Numbers.h"

namespace Quorvane {
namespace {

// Large reads keep a busy frame (thousands of sprite lines) to a few system calls.
constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

ScriptHostProcess::~ScriptHostProcess() { Shutdown(); }

std::filesystem::path ScriptHostProcess::FindDotnetHost() {
    if (const char* dotnetRoot = std::getenv("DOTNET_ROOT"); dotnetRoot != nullptr) {
        const std::filesystem::path candidate = std::filesystem::path(dotnetRoot) / kDotnetFileName;
        std::error_code error;
        if (std::filesystem::exists(candidate, error)) return candidate;
    }
    if (const char* userHome = std::getenv(kUserHomeVariable); userHome != nullptr) {
        const std::filesystem::path candidate = std::filesystem::path(userHome) / ".dotnet" / kDotnetFileName;
        std::error_code error;
        if (std::filesystem::exists(candidate, error)) return candidate;
    }
    return "dotnet";
}

std::vector<std::string> ScriptHostProcess::BuildArguments(const ScriptHostConfig& config) {
    return {
        config.scriptHostPath.string(),
        config.gameAssemblyPath.string(),
        config.mainClass,
        config.projectRoot.string(),
        config.startScene,
        FormatFixed6(config.fixedDeltaTime),
        FormatFixed6(config.x),
        FormatFixed6(config.y),
    };
}

bool ScriptHostProcess::Start(const ScriptHostConfig& config) {
    state.projectRoot = config.projectRoot;
    switch (child.Start(FindDotnetHost(), BuildArguments(config), config.projectRoot)) {
        case ChildProcess::StartError::None:
            break;
        case ChildProcess::StartError::StdinPipe:
            return Fail("Could not create stdin pipe.");
        case ChildProcess::StartError::StdinConfigure:
            return Fail("Could not configure stdin pipe.");
        case ChildProcess::StartError::StdoutPipe:
            return Fail("Could not create stdout pipe.");
        case ChildProcess::StartError::StdoutConfigure:
            return Fail("Could not configure stdout pipe.");
        case ChildProcess::StartError::Launch:
            return Fail("Could not start .NET script host. Make sure dotnet is available on PATH.");
    }
    WaitForLine(Token::Ready, kReadyTimeoutMs);
    if (!state.ready) return Fail("Script host did not become ready.");
    LogInfo("C# script host started.");
    return true;
}

void ScriptHostProcess::SendStart() {
    WriteLine("START");
    WaitForLine(Token::Started, kStartedTimeoutMs);
}

void ScriptHostProcess::RunFrame(float deltaTime, const InputState& input) {
    state.snapshot.ClearLists();
    state.frameEnded = false;
    queued += ComposeFrameLine(deltaTime, input);
    WriteLine(queued);
    lastFrame.swap(queued);
    queued.clear();
    WaitForLine(Token::EndFrame, kFrameTimeoutMs);
}

void ScriptHostProcess::RunRecordedFrame(std::string_view frameLines) {
    state.snapshot.ClearLists();
    state.frameEnded = false;
    queued.clear();
    lastFrame.assign(frameLines);
    WriteLine(lastFrame);
    WaitForLine(Token::EndFrame, kFrameTimeoutMs);
}

void ScriptHostProcess::QueueLine(std::string_view line) {
    queued += line;
    queued += '\n';
}

void ScriptHostProcess::Shutdown() {
    // Only a host that was launched and not yet reaped hears SHUTDOWN; a second
    // call finds it reaped and does nothing.
    if (child.IsRunning()) {
        WriteLine("SHUTDOWN");
        if (!child.WaitForExit(kShutdownTimeoutMs)) child.Terminate();
    }
    child.Close();
}

bool ScriptHostProcess::Fail(const std::string& message) {
    LogError(message);
    Shutdown();
    return false;
}

void ScriptHostProcess::WriteLine(const std::string& line) {
    std::string payload;
    payload.reserve(line.size() + 1);
    payload += line;
    payload += '\n';
    child.Write(payload);
}

void ScriptHostProcess::ReadAvailableLines() {
    char buffer[kReadChunk];
    for (;;) {
        const std::size_t available = child.Available();
        if (available == 0) return;
        const std::size_t count = child.Read(buffer, std::min(available, sizeof buffer));
        if (count == 0) return;

        std::string_view incoming(buffer, count);
        if (discardingLongLine) {
            const std::size_t feed = incoming.find('\n');
            if (feed == std::string_view::npos) continue;
            incoming.remove_prefix(feed + 1);
            discardingLongLine = false;
        }
        // Bytes already pending hold no line feed: search only what just arrived.
        std::size_t searchFrom = pending.size();
        pending.append(incoming);

        std::size_t consumed = 0;
        for (;;) {
            const std::size_t feed = pending.find('\n', searchFrom);
            if (feed == std::string::npos) break;
            std::string_view line(pending.data() + consumed, feed - consumed);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            consumed = feed + 1;
            searchFrom = consumed;
            HandleLine(state, line);
        }
        pending.erase(0, consumed);

        if (pending.size() > maxPending) {
            constexpr std::size_t mebibyte = 1024 * 1024;
            const std::string limit = maxPending % mebibyte == 0 ? std::to_string(maxPending / mebibyte) + " MiB"
                                                                 : std::to_string(maxPending) + " bytes";
            LogError("Script host sent a line longer than " + limit + "; it was dropped.");
            pending.clear();
            pending.shrink_to_fit();
            discardingLongLine = true;
        }
    }
}

bool ScriptHostProcess::TokenSeen(Token token) const {
    switch (token) {
        case Token::Ready: return state.ready;
        case Token::Started: return state.started;
        case Token::EndFrame: return state.frameEnded;
    }
    return false;
}

void ScriptHostProcess::WaitForLine(Token token, int limitMs) {
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() - start < limit) {
        ReadAvailableLines();
        if (TokenSeen(token)) return;
        // A host that has gone before answering at start-up never will: fail now,
        // not after five seconds. Frame waits keep their pace whatever happens.
        if (token != Token::EndFrame && child.OutputClosed()) return;
        // At most the 1 ms step of a polling wait, but it ends as soon as bytes arrive.
        child.WaitForOutput(1);
    }
    ReadAvailableLines();
}

}  // namespace Quorvane
