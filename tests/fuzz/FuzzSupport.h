#pragma once

// Shared by the libFuzzer harnesses: built only in the fuzz preset.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace QuorvaneFuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The runtime logs every odd line; the fuzzer's own reports go to stderr, which
// stays open.
inline void SilenceStdout() {
    static const bool done = [] { return std::freopen("/dev/null", "w", stdout) != nullptr; }();
    (void)done;
}

// A private folder for files a harness needs (textures, a project file).
inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

// A fault the sanitizers cannot see (a wrong answer) ends the run like a crash.
#define FUZZ_CHECK(condition)                                                    \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                        \
        }                                                                        \
    } while (0)

}  // namespace QuorvaneFuzz
