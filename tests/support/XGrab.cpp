// Writes what a window shows on screen as a binary PPM (P6), so tests can check
// the presented picture rather than the runtime's own frame.
// Usage: x_grab <window id> <file.ppm>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: x_grab <window id> <file.ppm>\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x_grab: no display\n");
        return 1;
    }
    const Window window = static_cast<Window>(std::strtoul(argv[1], nullptr, 0));
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) return 1;
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr) return 1;
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) return 1;
    std::fprintf(file, "P6\n%d %d\n255\n", image->width, image->height);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const unsigned char rgb[3] = {static_cast<unsigned char>((pixel & image->red_mask) >> 16),
                                          static_cast<unsigned char>((pixel & image->green_mask) >> 8),
                                          static_cast<unsigned char>(pixel & image->blue_mask)};
            std::fwrite(rgb, 1, 3, file);
        }
    }
    std::fclose(file);
    XDestroyImage(image);
    XCloseDisplay(display);
    return 0;
}
