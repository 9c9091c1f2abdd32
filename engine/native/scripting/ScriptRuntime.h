#pragma once

#include <memory>

#include "scripting/ScriptHostProcess.h"

namespace Quorvane {

// What the Application sees of the script host bridge.
class ScriptRuntime {
public:
    ScriptRuntime() : process(std::make_unique<ScriptHostProcess>()) {}
    ~ScriptRuntime() { Shutdown(); }
    ScriptRuntime(const ScriptRuntime&) = delete;
    ScriptRuntime& operator=(const ScriptRuntime&) = delete;

    bool Start(const ScriptHostConfig& config) { return process->Start(config); }
    void SendStart() { process->SendStart(); }
    void RunFrame(float deltaTime) { process->RunFrame(deltaTime); }
    const FrameSnapshot& GetSnapshot() const { return process->GetSnapshot(); }
    void QueueLine(std::string_view line) { process->QueueLine(line); }
    void SendLine(std::string_view line) { process->SendLine(line); }
    void RunRecordedFrame(std::string_view frameLines) { process->RunRecordedFrame(frameLines); }
    const std::string& LastFrameLines() const { return process->LastFrameLines(); }
    ExtensionSet Extensions() const { return process->Extensions(); }
    const ScriptHostProcess& Process() const { return *process; }
    void Shutdown() {
        if (process) process->Shutdown();
    }

private:
    std::unique_ptr<ScriptHostProcess> process;
};

}  // namespace Quorvane
