// Counts heap allocations of steady frames: the protocol handling one frame's
// lines, and the renderer drawing them. Usage: frame_allocations
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

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

int main() {
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

    ProtocolState state;
    state.projectRoot = root;
    auto window = CreateHeadlessWindow();
    window->Create(1280, 720, "bench");
    Renderer renderer;
    renderer.Initialize(*window, CreateSoftwareCanvas());
    std::fclose(stdout);  // the texture warnings of the first frame are not the point here

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
    std::fprintf(stderr, "steady frame of %zu lines (1000 sprites, 200 extended sprites, 20 texts): protocol %ld allocations, renderer %ld allocations\n",
                 lines.size(), afterProtocol - before, after - afterProtocol);
    std::filesystem::remove_all(root);
    return 0;
}
