// The pieces of SDL 1.2 that Emscripten's own (JavaScript) version gets
// wrong for these programs, defined in C: a definition here takes the place
// of Emscripten's. Its SDL_RWFromFile returns no usable stream, its bitmap
// loader needs the browser to decode the file, and its SDL_GetError always
// says "unknown SDL-emscripten error". Here files are read from
// Emscripten's file system, where the page has put the bitmaps, and the
// texture loader runs as it does natively. The buffer swap waits for the
// browser's next animation frame, so the programs' own loop runs as it is;
// the caption and the page's visibility reach the page and the program as
// a window's would.
#include <SDL.h>
#include <emscripten.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "layer.h"

// ---- Errors ------------------------------------------------------------------

static char error_text[512];

extern "C" void SDL_SetError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(error_text, sizeof error_text, format, args);
    va_end(args);
}

extern "C" const char* SDL_GetError() { return error_text; }

// ---- Streams from files --------------------------------------------------------

static FILE* file_of(SDL_RWops* stream) { return (FILE*)stream->hidden.unknown.data1; }

static long file_seek(SDL_RWops* stream, long offset, int whence)
{
    if (fseek(file_of(stream), offset, whence) != 0) {
        SDL_SetError("Error seeking in datastream");
        return -1;
    }
    return ftell(file_of(stream));
}

static size_t file_read(SDL_RWops* stream, void* bytes, size_t size, size_t count)
{
    return fread(bytes, size, count, file_of(stream));
}

static size_t file_write(SDL_RWops* stream, const void* bytes, size_t size, size_t count)
{
    return fwrite(bytes, size, count, file_of(stream));
}

static int file_close(SDL_RWops* stream)
{
    int status = fclose(file_of(stream));
    free(stream);
    return status == 0 ? 0 : -1;
}

extern "C" SDL_RWops* SDL_RWFromFile(const char* name, const char* mode)
{
    FILE* file = fopen(name, mode);
    if (!file) {
        SDL_SetError("Couldn't open %s", name);  // SDL's own words
        return nullptr;
    }
    SDL_RWops* stream = (SDL_RWops*)calloc(1, sizeof(SDL_RWops));
    stream->seek = file_seek;
    stream->read = file_read;
    stream->write = file_write;
    stream->close = file_close;
    stream->hidden.unknown.data1 = file;
    return stream;
}

// ---- Bitmaps ------------------------------------------------------------------

static uint32_t little_endian(const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; i--)
        value = value << 8 | bytes[i];
    return value;
}

// A surface of 24- or 32-bit pixels with blue, green, red first in memory.
static SDL_Surface* bgr_surface(int width, int height, int bytes_per_pixel)
{
    SDL_Surface* surface = (SDL_Surface*)calloc(1, sizeof(SDL_Surface));
    SDL_PixelFormat* format = (SDL_PixelFormat*)calloc(1, sizeof(SDL_PixelFormat));
    format->BitsPerPixel = (Uint8)(8 * bytes_per_pixel);
    format->BytesPerPixel = (Uint8)bytes_per_pixel;
    format->Bmask = 0x0000FF;
    format->Gmask = 0x00FF00;
    format->Rmask = 0xFF0000;
    surface->format = format;
    surface->w = width;
    surface->h = height;
    surface->pitch = width * bytes_per_pixel;
    surface->pixels = malloc((size_t)surface->pitch * height);
    surface->refcount = 1;
    return surface;
}

// The page's memory grows as far as 2 GiB, and a texture takes about 16
// bytes a pixel on its way (the surface, the RGBA copy, the layer's copy
// for a new context, the mipmaps): 8192 x 8192 pixels at most, which is
// also the widest texture many browsers' WebGL takes.
static const int64_t MOST_PIXELS = (int64_t)8192 * 8192;

// Uncompressed 24- and 32-bit Windows bitmaps, the kinds the programs
// ship; the texture loader has checked the header's claims against the
// file's size before this runs. Rows are stored bottom-up unless the
// height is negative, each padded to four bytes.
static SDL_Surface* read_pixels(SDL_RWops* stream)
{
    unsigned char header[54];
    if (SDL_RWread(stream, header, 1, sizeof header) != sizeof header || header[0] != 'B' ||
        header[1] != 'M') {
        SDL_SetError("File is not a Windows BMP file");
        return nullptr;
    }
    long pixel_offset = little_endian(header + 10, 4);
    int width = (int32_t)little_endian(header + 18, 4);
    int height = (int32_t)little_endian(header + 22, 4);
    int bits = little_endian(header + 28, 2);
    uint32_t compression = little_endian(header + 30, 4);
    if (little_endian(header + 14, 4) < 40 || (bits != 24 && bits != 32) || compression != 0) {
        SDL_SetError("the browser build reads uncompressed 24- and 32-bit bitmaps only");
        return nullptr;
    }
    bool top_down = height < 0;
    height = top_down ? -height : height;
    if ((int64_t)width * height > MOST_PIXELS) {
        SDL_SetError("the bitmap is %d x %d pixels: the browser build loads at most 8192 x 8192",
                     width, height);
        return nullptr;
    }
    SDL_Surface* surface = bgr_surface(width, height, bits / 8);
    if (!surface->pixels) {
        SDL_SetError("the bitmap's %d x %d pixels do not fit in the page's memory", width, height);
        SDL_FreeSurface(surface);
        return nullptr;
    }
    int padding = (4 - surface->pitch % 4) % 4;
    SDL_RWseek(stream, pixel_offset, RW_SEEK_SET);
    for (int k = 0; k < height; k++) {
        int row = top_down ? k : height - 1 - k;
        unsigned char* pixels = (unsigned char*)surface->pixels + (size_t)row * surface->pitch;
        unsigned char pad[3];
        if (SDL_RWread(stream, pixels, 1, surface->pitch) != (size_t)surface->pitch ||
            SDL_RWread(stream, pad, 1, padding) != (size_t)padding) {
            SDL_SetError("Error reading from datastream");
            SDL_FreeSurface(surface);
            return nullptr;
        }
    }
    return surface;
}

extern "C" SDL_Surface* SDL_LoadBMP_RW(SDL_RWops* stream, int close_stream)
{
    if (!stream) {
        SDL_SetError("Passed a NULL data source");
        return nullptr;
    }
    SDL_Surface* surface = read_pixels(stream);
    if (close_stream)
        SDL_RWclose(stream);
    return surface;
}

// Only surfaces made above reach this: the window's is Emscripten's and
// is never freed by the programs.
extern "C" void SDL_FreeSurface(SDL_Surface* surface)
{
    if (!surface)
        return;
    free(surface->pixels);
    free(surface->format);
    free(surface);
}

// ---- The caption --------------------------------------------------------------

// The page's title, as natively the window's, and the page's own hook: the
// title is not seen in full screen or on a phone. Only a running program's
// (one that watches the page, below): a ?ticks still is a frame for the
// references, with no caption over it.
EM_JS(void, show_caption, (const char* text), {
    var caption = UTF8ToString(text);
    document.title = caption;
    if (Module['page'] && Module['onCaption']) Module['onCaption'](caption);
});

// Emscripten's SDL_Init listens for the page's unload, to send SDL_QUIT
// to a program that cannot run any more then; the listener only keeps the
// page out of the browser's back/forward cache. The programs name their
// window right after SDL_Init, so the listener goes then.
EM_JS(void, forget_unload, (), {
    removeEventListener('unload', SDL.receiveEvent);
});

extern "C" void SDL_WM_SetCaption(const char* title, const char*)
{
    forget_unload();
    if (title)
        show_caption(title);
}

// ---- The page: shown or not ------------------------------------------------------

// A hidden page and a lost WebGL context are both a window nobody can see a
// frame in: the program hears of them as SDL tells it of a minimised
// window, with an active event, and its own pause logic applies (no frames
// drawn, the pause not counted in the frame rate). A lost context must be
// cancelled, or the browser never gives it back. Any change wakes a wait
// for the next animation frame, which a hidden page may never have.
EM_JS(void, watch_the_page, (), {
    var page = Module['page'] = { hidden: document.hidden, lost: false, restores: 0, wake: null };
    function wake() {
        if (page.wake) page.wake();
    }
    document.addEventListener('visibilitychange', function () {
        page.hidden = document.hidden;
        wake();
    });
    Module['canvas'].addEventListener('webglcontextlost', function (event) {
        event.preventDefault();
        page.lost = true;
        if (Module['onContextLost']) Module['onContextLost']();
        wake();
    });
    Module['canvas'].addEventListener('webglcontextrestored', function () {
        page.lost = false;
        page.restores++;
        wake();
    });
});

EM_JS(bool, page_shown, (), {
    var page = Module['page'];
    return !page || !(page.hidden || page.lost);
});

EM_JS(int, context_restores, (), {
    return Module['page'] ? Module['page'].restores : 0;
});

EM_JS(void, say_context_restored, (), {
    if (Module['onContextRestored']) Module['onContextRestored']();
});

// The browser shows what was drawn once control returns to it.
EM_ASYNC_JS(void, wait_for_animation_frame, (), {
    var page = Module['page'];
    await new Promise(function (resolve) {
        var frame = requestAnimationFrame(function () { done(); });
        function done() {
            cancelAnimationFrame(frame);
            if (page) page.wake = null;
            resolve();
        }
        if (page) page.wake = done;
    });
});

static bool reported_shown = true;  // what the program was last told
static int seen_restores = 0;

static bool page_changed()
{
    return page_shown() != reported_shown || context_restores() != seen_restores;
}

// A restored context is filled again before the program hears that it may
// draw.
static void take_page_changes()
{
    if (context_restores() != seen_restores) {
        seen_restores = context_restores();
        webgl_rebuild();
        say_context_restored();
    }
    bool shown = page_shown();
    if (shown == reported_shown)
        return;
    reported_shown = shown;
    SDL_Event event = {};
    event.type = SDL_ACTIVEEVENT;
    event.active.gain = shown;
    event.active.state = SDL_APPACTIVE;
    SDL_PushEvent(&event);
}

// Until the browser's next animation frame, or less when the page changes.
static void wait_for_frame()
{
    if (!page_changed())
        wait_for_animation_frame();
    take_page_changes();
}

// ---- The buffer swap and the wait ---------------------------------------------

// The loop goes on at the browser's next animation frame.
extern "C" void SDL_GL_SwapBuffers() { wait_for_frame(); }

// Emscripten's SDL has no SDL_WaitEvent: events are looked for at each
// animation frame, and at once when the page changes.
extern "C" int SDL_WaitEvent(SDL_Event* event)
{
    while (!SDL_PollEvent(event))
        wait_for_frame();
    return 1;
}
