#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace Quorvane {

// One line per call, flushed at once, so that log lines from the runtime and
// from the script host interleave in the order they happened.
void LogInfo(const std::string& message);
void LogWarn(const std::string& message);
void LogError(const std::string& message);

// Project files are small; a file past this size is refused rather than read
// until memory runs out.
constexpr std::size_t kMaxTextFileBytes = 4u * 1024u * 1024u;
// Throws std::runtime_error("Could not open file: <path>") when unreadable, with
// the reason in parentheses for a folder or anything else that is not a regular
// file, and "Could not read file: <path> (larger than N bytes)" past maxBytes.
std::string ReadTextFile(const std::filesystem::path& path, std::size_t maxBytes = kMaxTextFileBytes);
// True for any existing entry, folders included; a failing query other than
// "does not exist" throws the file system's error.
bool FileExists(const std::filesystem::path& path);
// Absolute, weakly canonical; an empty path yields the base folder itself.
std::filesystem::path ResolvePath(const std::filesystem::path& base, const std::filesystem::path& path);
std::string PathToString(const std::filesystem::path& path);

}  // namespace Quorvane
