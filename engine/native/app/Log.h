#pragma once

#include <filesystem>
#include <string>

namespace Quorvane {

// One line per call, flushed at once, so that log lines from the runtime and
// from the script host interleave in the order they happened.
void LogInfo(const std::string& message);
void LogWarn(const std::string& message);
void LogError(const std::string& message);

// Throws std::runtime_error("Could not open file: <path>") when unreadable.
std::string ReadTextFile(const std::filesystem::path& path);
// True for any existing entry, folders included; a failing query other than
// "does not exist" throws the file system's error.
bool FileExists(const std::filesystem::path& path);
// Absolute, weakly canonical; an empty path yields the base folder itself.
std::filesystem::path ResolvePath(const std::filesystem::path& base, const std::filesystem::path& path);
std::string PathToString(const std::filesystem::path& path);

}  // namespace Quorvane
