// Draws frames of either program at given clock readings, with the
// programs' own code, and writes them as PNG files (Windows bitmaps in the
// Windows build). Needs a display: run it under xvfb-run where there is none.
//
//   capture [--single] [--data DIR] --out DIR TICKS...
//   capture [--single] [--data DIR] --out DIR --sequence START STEP COUNT
//
// TICKS are milliseconds since start-up. Files are named
// vornel_<layered|single>_<ticks>.png; a sequence is numbered
// vornel_<variant>_seq_0000.png onwards, for an animation (.bmp on Windows).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame_capture.h"

static void usage()
{
    fprintf(stderr,
            "usage: capture [--single] [--data DIR] --out DIR TICKS...\n"
            "       capture [--single] [--data DIR] --out DIR --sequence START STEP COUNT\n");
    exit(2);
}

static Uint32 number(const char* text)
{
    char* end;
    unsigned long long value = strtoull(text, &end, 10);  // long is 32 bits on Windows
    if (*text == '\0' || *end != '\0' || value > 0xFFFFFFFFull)
        usage();
    return (Uint32)value;
}

int main(int argc, char* argv[])
{
    Variant variant = Variant::layered;
    std::string data = VORNEL_DATA_DIR, out;
    std::vector<Uint32> ticks;
    bool sequence = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--single"))
            variant = Variant::single;
        else if (!strcmp(argv[i], "--data") && i + 1 < argc)
            data = argv[++i];
        else if (!strcmp(argv[i], "--out") && i + 1 < argc)
            out = argv[++i];
        else if (!strcmp(argv[i], "--sequence") && i + 3 < argc && ticks.empty()) {
            Uint32 start = number(argv[i + 1]), step = number(argv[i + 2]), count = number(argv[i + 3]);
            for (Uint32 k = 0; k < count; k++)
                ticks.push_back(start + k * step);
            sequence = true;
            i += 3;
        } else if (!sequence)
            ticks.push_back(number(argv[i]));
        else
            usage();
    }
    if (out.empty() || ticks.empty())
        usage();

    open_capture_window(data);
    const char* name = variant == Variant::layered ? "layered" : "single";
    for (size_t k = 0; k < ticks.size(); k++) {
        char file[64];
        if (sequence)
            snprintf(file, sizeof file, "vornel_%s_seq_%04zu%s", name, k, PICTURE_SUFFIX);
        else
            snprintf(file, sizeof file, "vornel_%s_%u%s", name, (unsigned)ticks[k], PICTURE_SUFFIX);
        std::string path = out + "/" + file;
        if (!write_picture(path, capture_frame(variant, ticks[k]))) {
            fprintf(stderr, "capture: cannot write %s\n", path.c_str());
            return 1;
        }
        printf("%s\n", path.c_str());
    }
    return 0;
}
