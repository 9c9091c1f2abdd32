// The stb image decoder and PNG writer, compiled once for the runtime. Only the
// formats whose stb decoders have held up under fuzzing are built in; PNG and
// JPEG are decoded by libpng and libjpeg-turbo (GDI+ on Windows) instead.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
