#include "app/Log.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace Quorvane {
namespace {

void WriteLine(std::FILE* stream, const char* prefix, const std::string& message) {
    // One fwrite per line keeps a line whole even when both streams share a terminal.
    std::string line;
    line.reserve(message.size() + 16);
    line += prefix;
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

void LogInfo(const std::string& message) { WriteLine(stdout, "[Info] ", message); }
void LogWarn(const std::string& message) { WriteLine(stdout, "[Warn] ", message); }
void LogError(const std::string& message) { WriteLine(stderr, "[Error] ", message); }

std::string ReadTextFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file) {
        throw std::runtime_error("Could not open file: " + PathToString(path));
    }
    std::ostringstream stream;
    stream << file.rdbuf();
    return stream.str();
}

bool FileExists(const std::filesystem::path& path) { return std::filesystem::exists(path); }

std::filesystem::path ResolvePath(const std::filesystem::path& base, const std::filesystem::path& path) {
    if (path.is_absolute()) {
        return std::filesystem::weakly_canonical(path);
    }
    return std::filesystem::weakly_canonical(base / path);
}

std::string PathToString(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace Quorvane
