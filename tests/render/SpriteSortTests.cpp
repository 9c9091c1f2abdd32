#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "render/Renderer.h"
#include "scripting/WireProtocol.h"
#include "support/TempDir.h"

using namespace Quorvane;

// Base sprites lie in the byte order of their paths, whether a frame names a few
// paths (ranked once each) or many (a plain sort): the one on top is the greatest.
TEST(SpriteSort, TopSpriteHasTheGreatestPath) {
    QuorvaneTest::TempDir dir;
    for (const int distinct : {1, 3, 64, 65, 200}) {
        ProtocolState state;
        state.projectRoot = dir.Path();
        std::vector<std::string> names;
        for (int i = 0; i < distinct; ++i) names.push_back((i % 2 ? "\xc3\xa9" : "z") + std::to_string(i) + ".png");
        std::vector<int> order;
        for (int repeat = 0; repeat < 5; ++repeat)
            for (int i = 0; i < distinct; ++i) order.push_back(i);
        std::shuffle(order.begin(), order.end(), std::mt19937(distinct));
        for (const int i : order) {
            // Missing images: each sprite fills its rectangle with its own colour.
            HandleLine(state, "SPRITE|0|0|4|4|" + std::to_string(i % 256) + "|" + std::to_string(i / 256) + "|7|" + names[i]);
        }
        auto window = CreateHeadlessWindow();
        window->Create(4, 4, "test");
        Renderer renderer;
        renderer.Initialize(*window, CreateSoftwareCanvas());
        testing::internal::CaptureStdout();  // the missing-texture warnings
        renderer.BeginFrame(Color{1, 2, 3});
        renderer.DrawSnapshot(state.snapshot);
        testing::internal::GetCapturedStdout();
        const int top = static_cast<int>(std::max_element(names.begin(), names.end()) - names.begin());
        const std::uint32_t expected = (static_cast<std::uint32_t>(top % 256) << 16) | (static_cast<std::uint32_t>(top / 256) << 8) | 7u;
        EXPECT_EQ(renderer.Pixels().pixels[5] & 0xFFFFFFu, expected) << distinct << " paths";
    }
}
