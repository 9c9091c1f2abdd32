// Counts heap allocations of steady frames: the protocol handling one frame's
// lines, and the renderer drawing them. Usage: frame_allocations [--sprites N]
// (N: the sprite count of the BunnyMark frames, default 10000).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "app/DiagnosticsOverlay.h"
#include "app/Log.h"
#include "render/Renderer.h"
#include "scripting/WireProtocol.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace Quorvane;

namespace {

struct Counts {
    long protocol = 0;
    long renderer = 0;
};

// Runs the frame three times and counts the third: the first two fill caches and
// grow the reused buffers to their steady size.
Counts SteadyFrame(ProtocolState& state, Renderer& renderer, const std::vector<std::string>& lines) {
    const auto frame = [&] {
        state.snapshot.ClearLists();
        for (const std::string& line : lines) HandleLine(state, line);
        const long afterProtocol = allocations.load();
        renderer.BeginFrame(Color{1, 2, 3});
        renderer.DrawSnapshot(state.snapshot);
        renderer.Present();
        return afterProtocol;
    };
    frame();
    frame();
    const long before = allocations.load();
    const long afterProtocol = frame();
    const long after = allocations.load();
    return {afterProtocol - before, after - afterProtocol};
}

// BunnyMark's frame: N base SPRITE lines over four 32x32 textures, by path or by id.
std::vector<std::string> BunnyLines(int count, bool ids) {
    static const char* const textures[] = {"assets/bunny_white.png", "assets/bunny_pink.png", "assets/bunny_blue.png",
                                           "assets/bunny_gold.png"};
    std::vector<std::string> lines;
    lines.push_back(ids ? "EXTENSIONS|draw,stats,paths" : "EXTENSIONS|draw,stats");
    if (ids) {
        for (int t = 0; t < 4; ++t) lines.push_back("XPATH|" + std::to_string(t) + "|" + textures[t]);
    }
    for (int i = 0; i < count; ++i) {
        const std::string texture = ids ? "#" + std::to_string(i & 3) : textures[i & 3];
        lines.push_back("SPRITE|" + std::to_string((i * 37) % 1248) + ".25|" + std::to_string((i * 11) % 688) +
                        ".5|32|32|255|255|255|" + texture + "|false|false");
    }
    lines.push_back("CAMERA|0|0|1|1280|720");
    lines.push_back("XSTATS|0");
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    int sprites = 10000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--sprites") == 0) sprites = std::atoi(argv[i + 1]);
    }
    const auto root = std::filesystem::temp_directory_path() / "quorvane-alloc-bench";
    std::filesystem::create_directories(root);
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i) {
        lines.push_back("SPRITE|" + std::to_string(i % 1280) + "|" + std::to_string(i % 700) +
                        "|32|32|255|255|255|missing" + std::to_string(i % 4) + ".png|false|false");
    }
    for (int i = 0; i < 200; ++i) lines.push_back("RECT|" + std::to_string(i * 5) + "|10|20|20|10|20|30");
    for (int i = 0; i < 50; ++i) lines.push_back("DEBUG_RECT|" + std::to_string(i * 20) + "|10|20|20|255|0|0");
    // Extended drawables: turned, tinted sprites from a sheet, translucent rectangles and text.
    lines.insert(lines.begin(), "EXTENSIONS|draw");
    for (int i = 0; i < 200; ++i) {
        lines.push_back("XSPRITE|1|0|" + std::to_string(i * 6) + "|50|32|32|255|200|100|128|8|0|0|16|16|0.5|0|0|sheet" +
                        std::to_string(i % 3) + ".png");
        lines.push_back("XRECT|2|1|" + std::to_string(i * 6) + "|300|8|8|0|0|0|100");
    }
    for (int i = 0; i < 20; ++i) lines.push_back("XTEXT|3|1|10|" + std::to_string(i * 20) + "|16|255|255|255|255|0||Score " + std::to_string(i * 1234));
    lines.push_back("CAMERA|10|20|1|1280|720");

    auto window = CreateHeadlessWindow();
    window->Create(1280, 720, "bench");
    Renderer renderer;
    renderer.Initialize(*window, CreateSoftwareCanvas());
    std::fclose(stdout);  // the texture warnings of the first frame are not the point here

    ProtocolState state;
    state.projectRoot = root;
    const Counts mixed = SteadyFrame(state, renderer, lines);
    std::fprintf(stderr, "steady frame of %zu lines (1000 sprites, 200 extended sprites, 20 texts): protocol %ld allocations, renderer %ld allocations\n",
                 lines.size(), mixed.protocol, mixed.renderer);

    {
        // The same frame with the diagnostics overlay shown: its figures change
        // every frame and its medians are refreshed every 30 frames.
        DiagnosticsOverlay overlay;
        overlay.SetShown(true);
        FrameStats stats;
        LogError("an error for the overlay's list");  // stdout is closed here
        const auto frame = [&](int i) {
            state.snapshot.ClearLists();
            for (const std::string& line : lines) HandleLine(state, line);
            renderer.BeginFrame(Color{1, 2, 3});
            renderer.DrawSnapshot(state.snapshot);
            overlay.Draw(renderer, stats, CountDrawables(state.snapshot));
            renderer.Present();
            stats.Record({16.0 + (i % 10) * 1.234567, 1.0 + (i % 7) * 0.987, 2.0 + (i % 9) * 0.1111, i});
        };
        for (int i = 0; i < 40; ++i) frame(i);  // every digit drawn once, the scratch taken
        const long before = allocations.load();
        for (int i = 40; i < 160; ++i) frame(i);
        std::fprintf(stderr, "120 steady frames with the diagnostics overlay shown: %ld allocations\n",
                     allocations.load() - before);
    }

    for (const bool ids : {false, true}) {
        ProtocolState bunnies;
        bunnies.projectRoot = std::filesystem::path(QUORVANE_SOURCE_DIR) / "samples" / "BunnyMark";
        Renderer bunnyRenderer;
        bunnyRenderer.Initialize(*window, CreateSoftwareCanvas());
        const Counts counts = SteadyFrame(bunnies, bunnyRenderer, BunnyLines(sprites, ids));
        std::fprintf(stderr, "steady BunnyMark frame of %d sprites (texture %s): protocol %ld allocations, renderer %ld allocations\n",
                     sprites, ids ? "ids" : "paths", counts.protocol, counts.renderer);
    }
    std::filesystem::remove_all(root);
    return 0;
}
