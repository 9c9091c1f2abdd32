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

}  // namespace QuorvaneTest
