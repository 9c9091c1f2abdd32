#pragma once

#include <cstddef>
#include <memory>

#include "render/software/SoftwareCanvas.h"

namespace Quorvane {

// The platform's own PNG and JPEG decoders (libpng and libjpeg-turbo on Linux,
// GDI+ on Windows), held to the same limits as every image. Null on any fault.
std::unique_ptr<SoftwareImage> DecodePng(const unsigned char* data, std::size_t size);
std::unique_ptr<SoftwareImage> DecodeJpeg(const unsigned char* data, std::size_t size);

}  // namespace Quorvane
