#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace QuorvaneTest {

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Writes a file (creating parent folders) and returns its path.
    std::filesystem::path Write(const std::filesystem::path& relative, const std::string& content) const;

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace QuorvaneTest
