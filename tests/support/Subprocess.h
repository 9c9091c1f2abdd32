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

// Runs a program to completion with stdout and stderr captured separately.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace QuorvaneTest
