// stb_truetype's implementation, compiled once for the runtime.
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
