// Image files as a crafted game folder would hold them.
#include "fuzz/FuzzSupport.h"
#include "render/software/SoftwareCanvas.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto image = Quorvane::DecodeImageBytes(data, size);
    if (image) {
        FUZZ_CHECK(Quorvane::ImageSizeAllowed(image->Width(), image->Height()));
        // Every texel is readable.
        std::uint32_t sum = 0;
        for (std::int32_t y = 0; y < image->Height(); ++y) sum += image->Row(y)[image->Width() - 1];
        (void)sum;
    }
    return 0;
}
