// Line handling and one FRAME round trip with a host that answers at once.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "scripting/ScriptHostProcess.h"
#include "scripting/WireProtocol.h"

using namespace Quorvane;

static void BM_HandleRectLine(benchmark::State& bench) {
    ProtocolState state;
    const std::string line = "RECT|120.5|64|32|32|200|40|40";
    for (auto _ : bench) {
        if (state.snapshot.rects.size() > 4096) state.snapshot.ClearLists();
        HandleLine(state, line);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_HandleRectLine);

static void BM_HandleSpriteLine(benchmark::State& bench) {
    ProtocolState state;
    state.projectRoot = std::filesystem::temp_directory_path();
    const std::string line = "SPRITE|120.5|64|32|32|255|255|255|assets/player.png|True|false";
    for (auto _ : bench) {
        if (state.snapshot.sprites.size() > 4096) state.snapshot.ClearLists();
        HandleLine(state, line);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_HandleSpriteLine);

// A whole BunnyMark frame as it arrives: lines cut at their line feeds and handled
// one by one, as the frame wait does. Items are SPRITE lines.
static void IngestBunnyFrame(benchmark::State& bench, bool ids) {
    ProtocolState state;
    state.projectRoot = std::filesystem::temp_directory_path();
    static const char* const textures[] = {"assets/bunny_white.png", "assets/bunny_pink.png", "assets/bunny_blue.png",
                                           "assets/bunny_gold.png"};
    HandleLine(state, ids ? "EXTENSIONS|draw,stats,paths" : "EXTENSIONS|draw,stats");
    for (int t = 0; t < 4 && ids; ++t) HandleLine(state, "XPATH|" + std::to_string(t) + "|" + textures[t]);
    std::string frame;
    const int count = 10000;
    for (int i = 0; i < count; ++i) {
        // Positions as the C# host writes them: shortest round-trip floats.
        frame += "SPRITE|" + std::to_string((i * 37) % 1248) + "." + std::to_string(i % 97) + "|" +
                 std::to_string((i * 11) % 688) + ".125|32|32|255|255|255|" +
                 (ids ? "#" + std::to_string(i & 3) : std::string(textures[i & 3])) + "|false|false\n";
    }
    for (auto _ : bench) {
        state.snapshot.ClearLists();
        std::size_t start = 0;
        for (;;) {
            const std::size_t feed = frame.find('\n', start);
            if (feed == std::string::npos) break;
            HandleLine(state, std::string_view(frame).substr(start, feed - start));
            start = feed + 1;
        }
        benchmark::DoNotOptimize(state.snapshot.sprites.data());
    }
    bench.SetItemsProcessed(bench.iterations() * count);
    bench.SetBytesProcessed(bench.iterations() * static_cast<std::int64_t>(frame.size()));
}
static void BM_IngestBunnyFramePaths(benchmark::State& bench) { IngestBunnyFrame(bench, false); }
static void BM_IngestBunnyFrameIds(benchmark::State& bench) { IngestBunnyFrame(bench, true); }
BENCHMARK(BM_IngestBunnyFramePaths)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IngestBunnyFrameIds)->Unit(benchmark::kMicrosecond);

static void BM_FrameRoundTrip(benchmark::State& bench) {
    setenv("DOTNET_ROOT", FAKE_DOTNET_DIR, 1);
    setenv("QUORVANE_FAKE_SCENARIO", "frame_reply=RECT|1|2|3|4|5|6|7~CAMERA|1|2", 1);
    ScriptHostConfig config;
    config.projectRoot = std::filesystem::temp_directory_path();
    ScriptHostProcess process;
    if (!process.Start(config)) {
        bench.SkipWithError("fake host did not start");
        return;
    }
    process.SendStart();
    InputState input;
    for (auto _ : bench) {
        process.RunFrame(0.016f, input);
    }
    process.Shutdown();
}
BENCHMARK(BM_FrameRoundTrip)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
