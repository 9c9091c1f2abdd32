#include "support/Subprocess.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

extern char** environ;

namespace QuorvaneTest {
namespace {

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<std::string> BuildEnvironment(const ProcessOptions& options) {
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos) environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : options.env) {
        if (value) environment[name] = *value; else environment.erase(name);
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : environment) result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-run-XXXXXX").string();
    captures = mkdtemp(pattern.data()) ? std::filesystem::path(pattern) : std::filesystem::temp_directory_path();
    const std::string outPath = (captures / "out").string();
    const std::string errPath = (captures / "err").string();

    std::vector<std::string> envText = BuildEnvironment(options);
    std::vector<char*> envp = Pointers(envText);
    std::vector<std::string> args = argv;
    std::vector<char*> argp = Pointers(args);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    startSeconds = NowSeconds();
    pid_t child = -1;
    if (posix_spawnp(&child, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
        spawnError = "spawn failed: " + argv[0];
    } else {
        pid = child;
    }
    posix_spawn_file_actions_destroy(&actions);
}

BackgroundProcess::~BackgroundProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(captures, ignored);
}

bool BackgroundProcess::Running() {
    if (pid <= 0) return false;
    return waitpid(pid, nullptr, WNOHANG) == 0;
}

ProcessResult BackgroundProcess::Wait(double timeoutSeconds) {
    ProcessResult result;
    if (pid <= 0) {
        result.err = spawnError;
        return result;
    }
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        if (NowSeconds() - startSeconds > timeoutSeconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid = -1;
    result.seconds = NowSeconds() - startSeconds;
    if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = ReadFile(captures / "out");
    result.err = ReadFile(captures / "err");
    return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    BackgroundProcess process(argv, options);
    return process.Wait(options.timeoutSeconds);
}

}  // namespace QuorvaneTest
