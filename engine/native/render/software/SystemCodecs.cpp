// PNG and JPEG through Debian's libpng and libjpeg-turbo: both are fuzzed and
// maintained upstream, where stb_image's decoders have known faults.
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "render/software/ImageCodecs.h"

namespace Quorvane {

std::unique_ptr<SoftwareImage> DecodePng(const unsigned char* data, std::size_t size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return nullptr;
    if (!ImageSizeAllowed(image.width, image.height)) {
        png_image_free(&image);
        return nullptr;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    png_image_free(&image);
    return ImageFromRgba(static_cast<std::int32_t>(image.width), static_cast<std::int32_t>(image.height), rgba.data());
}

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JpegFailed(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr) {}

// A progressive file can hold thousands of tiny scans, each costing a pass over
// the whole image: past this many the file is refused instead of decoded for minutes.
constexpr int kMaxJpegScans = 256;

void JpegProgress(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
        JpegFailed(info);
    }
}

// Kept free of C++ objects with destructors between setjmp and any longjmp:
// the row buffer belongs to the caller.
bool ReadJpeg(const unsigned char* data, std::size_t size, std::vector<unsigned char>& rgba, int& width, int& height) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    jpeg_progress_mgr progress{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegFailed;
    errors.manager.output_message = JpegQuiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    progress.progress_monitor = JpegProgress;
    info.progress = &progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !ImageSizeAllowed(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    if (!ImageSizeAllowed(width, height) || info.output_components != 4) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    rgba.resize(static_cast<std::size_t>(width) * height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgba.data() + static_cast<std::size_t>(info.output_scanline) * width * 4;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

std::unique_ptr<SoftwareImage> DecodeJpeg(const unsigned char* data, std::size_t size) {
    std::vector<unsigned char> rgba;
    int width = 0, height = 0;
    if (!ReadJpeg(data, size, rgba, width, height)) return nullptr;
    return ImageFromRgba(width, height, rgba.data());
}

}  // namespace Quorvane
