#include "platform/Window.h"

namespace Quorvane {
namespace {

class HeadlessWindow final : public Window {
public:
    bool Create(std::int32_t width, std::int32_t height, const std::string&) override {
        size = {width, height};
        return true;
    }
    bool PumpMessages() override { return true; }
    ClientSize GetClientSize() const override { return size; }
    void Present(const PixelView&) override {}

private:
    ClientSize size;
};

}  // namespace

std::unique_ptr<Window> CreateHeadlessWindow() { return std::make_unique<HeadlessWindow>(); }

}  // namespace Quorvane
