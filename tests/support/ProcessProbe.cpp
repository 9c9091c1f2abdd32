#include "support/ProcessProbe.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace QuorvaneTest {

std::size_t CountChildProcesses() {
    std::size_t count = 0;
    const std::string self = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        // Fields after the parenthesised command: state, then ppid.
        const auto close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 1));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == self) ++count;
    }
    return count;
}

std::size_t CountOpenFds() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count - 1;  // the iterator's own descriptor
}

bool ProcessAlive(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return false;
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) return false;
    return text[close + 2] != 'Z' && text[close + 2] != 'X';
}

bool WaitUntilGone(long pid, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (!ProcessAlive(pid)) return true;
        usleep(10000);
    }
    return !ProcessAlive(pid);
}

namespace {

std::size_t StatusKibibytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::stoul(line.substr(key.size() + 1)) * 1024;
    }
    return 0;
}

}  // namespace

std::size_t ResidentBytes() { return StatusKibibytes("VmRSS"); }
std::size_t PeakResidentBytes() { return StatusKibibytes("VmHWM"); }

}  // namespace QuorvaneTest
