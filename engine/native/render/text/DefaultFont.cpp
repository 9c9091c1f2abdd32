// The default font lives inside the executable, so text works wherever the
// runtime is copied. The assembler includes the file's bytes as they are.

#if defined(_WIN32)
#define QUORVANE_RODATA ".section .rdata,\"dr\"\n"
#else
#define QUORVANE_RODATA ".section .rodata\n"
#endif

__asm__(QUORVANE_RODATA
        ".balign 16\n"
        ".global quorvane_default_font\n"
        "quorvane_default_font:\n"
        ".incbin \"" QUORVANE_DEFAULT_FONT "\"\n"
        ".global quorvane_default_font_end\n"
        "quorvane_default_font_end:\n"
        ".byte 0\n"
        ".text\n");
