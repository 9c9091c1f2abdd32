// project.json as a crafted project folder would hold it.
#include <fstream>
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "project/ProjectConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuorvaneFuzz::SilenceStdout();
    const std::string json(QuorvaneFuzz::AsText(data, size));
    for (const char* key : {"name", "mainClass", "width", "x", "pixelPerfect", "backgroundColor"}) {
        try {
            const std::string text = Quorvane::ReadJsonString(json, key, "");
            Quorvane::ParseColor(text, Quorvane::Color{});
            Quorvane::ReadJsonInt(json, key, 0);
            Quorvane::ReadJsonFloat(json, key, 0.0f);
            Quorvane::ReadJsonBool(json, key, false);
        } catch (const std::out_of_range&) {
            // The documented answer to a number out of range.
        }
    }
    // The whole load, through the file; its errors are log lines, never a throw.
    const std::filesystem::path folder = QuorvaneFuzz::ScratchFolder();
    {
        std::ofstream file(folder / "project.json", std::ios::binary | std::ios::trunc);
        file.write(json.data(), static_cast<std::streamsize>(json.size()));
    }
    Quorvane::ProjectConfig config;
    std::fflush(stderr);
    Quorvane::LoadProject(folder, config);
    return 0;
}
