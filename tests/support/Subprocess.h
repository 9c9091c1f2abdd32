#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace QuorvaneTest {

struct ProcessResult {
    int exitCode = -1;  // -1 when killed by a signal or timed out
    bool timedOut = false;
    std::string out;
    std::string err;
    double seconds = 0;
};

struct ProcessOptions {
    std::filesystem::path workingDirectory;              // empty: inherit
    std::map<std::string, std::optional<std::string>> env;  // value nullopt: unset
    double timeoutSeconds = 60;
};

// A program running in the background with stdout and stderr captured to files.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
    ~BackgroundProcess();  // kills the program if it still runs
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Waits for the end (killing the program after the timeout) and collects its output.
    ProcessResult Wait(double timeoutSeconds);
    bool Running();
    int Pid() const { return pid; }

private:
    std::filesystem::path captures;
    int pid = -1;
    void* process = nullptr;  // the process handle where the platform has one
    double startSeconds = 0;
    std::string spawnError;
};

// Runs a program to completion with stdout and stderr captured separately.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace QuorvaneTest
