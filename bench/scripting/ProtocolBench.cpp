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
