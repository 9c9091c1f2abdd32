// The renderer's command path: host lines into a frame, the frame drawn on a
// small software canvas (undefined float-to-int conversions are faults here).
#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Window.h"
#include "render/Renderer.h"
#include "render/software/SoftwareCanvas.h"
#include "scripting/WireProtocol.h"

namespace {

struct Stage {
    Stage() {
        QuorvaneFuzz::SilenceStdout();
        window = Quorvane::CreateHeadlessWindow();
        window->Create(96, 64, "fuzz");
        renderer.Initialize(*window, Quorvane::CreateSoftwareCanvas());
        // Two small textures the corpus names: a.png (opaque) and b.png (translucent).
        const auto folder = QuorvaneFuzz::ScratchFolder();
        for (const auto& [name, alpha] : {std::pair{"a.png", 255}, std::pair{"b.png", 100}}) {
            std::vector<std::uint32_t> pixels(4 * 3);
            for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = (std::uint32_t(alpha) << 24) | (i * 0x151515u & 0xFFFFFFu);
            Quorvane::WritePng(folder / name, {pixels.data(), 4, 3, 4});
        }
        renderer.SetTextureRoot(folder);
    }
    std::unique_ptr<Quorvane::Window> window;
    Quorvane::Renderer renderer;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Stage stage;
    Quorvane::ProtocolState state;
    state.projectRoot = QuorvaneFuzz::ScratchFolder();
    Quorvane::HandleLine(state, "EXTENSIONS|draw");
    std::string_view text = QuorvaneFuzz::AsText(data, size);
    while (!text.empty()) {
        const std::size_t feed = text.find('\n');
        Quorvane::HandleLine(state, text.substr(0, feed));
        if (feed == std::string_view::npos) break;
        text.remove_prefix(feed + 1);
    }
    stage.renderer.SetPixelPerfect(size % 2 == 0);
    stage.renderer.BeginFrame(Quorvane::Color{1, 2, 3});
    stage.renderer.DrawSnapshot(state.snapshot);
    return 0;
}
