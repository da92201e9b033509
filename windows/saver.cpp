// Vornel as a Windows screensaver (vornel.scr, vornel-single.scr): the
// program's own start-up and loop (src/main.cpp's main, renamed
// vornel_main) in a window the saver makes. It reads in that order: the
// arguments Windows gives, the window, the hand-over to the program, the
// end.
//
// What a screensaver needs and the program does not is all here:
// - /s covers the screen: a borderless top-most window over the primary
//   monitor, a black one over each other, the cursor hidden; /p makes a
//   child of the Screen Saver Settings dialog's preview window; /c and no
//   argument show the settings (settings.cpp);
// - one window procedure, the saver's, decides when saving ends, and the
//   program ends as on a key of its own, through SDL's quit event;
// - the classic SDL 1.2 draws into that window (SDL_WINDOWID), and the
//   frame is scaled to it (scaling.cpp) and paced (frame_pacing.cpp);
// - the bitmaps are read from the saver's own folder, wherever Windows
//   starts it from;
// - a start-up fault ends the saver, says why in a message (not for a
//   preview) and is written down in %LOCALAPPDATA%\Vornel\screensaver.log.
//
// The link wraps three of the program's calls (-Wl,--wrap): SDL_SetVideoMode
// (the window's messages taken back from SDL, the frame's target made),
// SDL_GL_SwapBuffers (the frame scaled, then the pause before the next) and
// exit, through which every start-up fault of the program goes. The
// frame-rate caption is left as it is: it lands on the saver's own window,
// never on the dialog's. SDLmain is not linked: its stderr.txt would go
// beside the saver, often in the system folder, where a user cannot write.
#undef NOGDI  // the black windows are painted with GDI's stock brush
#include <windows.h>

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "arguments.h"
#include "frame_pacing.h"
#include "scaling.h"
#include "settings.h"

extern "C" int vornel_main(int argc, char* argv[]);  // src/main.cpp's main, renamed

extern "C" {
[[noreturn]] void __real_exit(int status);
SDL_Surface* __real_SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags);
void __real_SDL_GL_SwapBuffers();
}

static const wchar_t* const CLASS_NAME = L"VornelScreensaver";
static const wchar_t* const TITLE = L"Vornel screensaver";  // its messages'
static const wchar_t* const WINDOW_TITLE = L"Vornel";        // its windows', until the frame rate
static const int STRAY_PIXELS = 4;  // how far the mouse may move without ending the saver

static SaverRequest::Mode mode = SaverRequest::SETTINGS;
static HWND picture;           // the window the program draws into
static POINT cursor_at_start;  // where a mouse move is measured from
static FramePacer* pacer;

// ---- Faults -------------------------------------------------------------------

static std::wstring wide(const std::string& text)
{
    std::wstring result(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], (int)result.size());
    result.pop_back();  // the terminating zero
    return result;
}

static std::string utf8(const std::wstring& text)
{
    std::string result(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], (int)result.size(), nullptr, nullptr);
    result.pop_back();
    return result;
}

// The saver's own path, as Windows started it: long or short.
static std::wstring own_path()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

// Appends one line to the log; its path, or empty if it cannot be written.
static std::wstring write_down(const std::string& line)
{
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (!local)
        return L"";
    std::wstring folder = std::wstring(local) + L"\\Vornel", log = folder + L"\\screensaver.log";
    CreateDirectoryW(folder.c_str(), nullptr);
    FILE* file = _wfopen(log.c_str(), L"ab");
    if (!file)
        return L"";
    char when[32];
    time_t now = time(nullptr);
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", localtime(&now));
    std::wstring self = own_path();
    fprintf(file, "%s %s %s: %s\r\n", when, utf8(self.substr(self.rfind(L'\\') + 1)).c_str(),
            __argc > 1 ? __argv[1] : "(no argument)", line.c_str());
    fclose(file);
    return log;
}

static BOOL CALLBACK hide(HWND window, LPARAM)
{
    ShowWindow(window, SW_HIDE);
    return TRUE;
}

// Ends the saver with `status`. what: the fault in the user's words;
// detail: the program's or the system's. A preview says nothing but the
// log's line: the dialog stays usable, and its Preview button shows the
// message.
[[noreturn]] static void fail(int status, const std::string& what, const std::string& detail)
{
    if (mode == SaverRequest::PREVIEW && picture && !IsWindow(picture))
        __real_exit(0);  // no fault: the dialog ended the preview while it started
    std::string text = what + "\n\n" + detail;
    std::wstring log = write_down(what + " " + detail + " (status " + std::to_string(status) + ")");
    if (mode != SaverRequest::PREVIEW) {
        EnumThreadWindows(GetCurrentThreadId(), hide, 0);  // no black screen over the message
        if (!log.empty())
            text += "\n\nThis is written down in " + utf8(log) + ".";
        MessageBoxW(nullptr, wide(text).c_str(), TITLE,
                    MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
    }
    __real_exit(status);
}

// ---- The window ---------------------------------------------------------------

// The program ends as on a key: it still draws the frame that sees it.
static void end_saving()
{
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

// Input that ends saving: a key, a click, the wheel, a mouse move beyond a
// few pixels (Windows sends stray ones), another program taking over.
static bool ends_saving(UINT message, WPARAM w)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_XBUTTONDOWN:
    case WM_MOUSEWHEEL:
        return true;
    case WM_ACTIVATEAPP:
        return !w;
    case WM_MOUSEMOVE: {
        DWORD at = GetMessagePos();  // on the screen, whichever window saw it
        return abs((short)LOWORD(at) - cursor_at_start.x) > STRAY_PIXELS ||
               abs((short)HIWORD(at) - cursor_at_start.y) > STRAY_PIXELS;
    }
    }
    return false;
}

// The procedure of all the saver's windows. SDL puts its own in front while
// it sets up, and the wrapped SDL_SetVideoMode puts this one back: the
// program's events come from here alone.
static LRESULT CALLBACK saver_proc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(mode == SaverRequest::SAVE ? nullptr : LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW));
        return TRUE;
    case WM_DESTROY:
        // The dialog ends a preview by destroying its window, and ours
        // with it: nothing is left to draw into.
        if (mode == SaverRequest::PREVIEW)
            __real_exit(0);
        return 0;
    case WM_SYSCOMMAND:
        if (mode == SaverRequest::SAVE && (w & 0xFFF0) == SC_SCREENSAVE)
            return 0;  // no second saver over this one
        break;
    case WM_CLOSE:
        end_saving();
        return 0;
    }
    if (mode == SaverRequest::SAVE && ends_saving(message, w)) {
        end_saving();
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

static HWND make_window(DWORD ex_style, DWORD style, HWND parent, const RECT& area)
{
    HWND window = CreateWindowExW(ex_style, CLASS_NAME, WINDOW_TITLE, style | WS_VISIBLE, area.left,
                                  area.top, area.right - area.left, area.bottom - area.top, parent,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window)
        fail(1, "The screensaver could not open its window.", "CreateWindowEx failed");
    return window;
}

static const DWORD COVER = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;  // above all, not in the taskbar

static BOOL CALLBACK black_over_others(HMONITOR monitor, HDC, LPRECT area, LPARAM)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info) && !(info.dwFlags & MONITORINFOF_PRIMARY))
        make_window(COVER, WS_POPUP, nullptr, *area);
    return TRUE;
}

// /s: the picture over the primary monitor, which starts at 0, 0.
static HWND cover_screens()
{
    GetCursorPos(&cursor_at_start);
    EnumDisplayMonitors(nullptr, nullptr, black_over_others, 0);
    RECT primary = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    HWND window = make_window(COVER, WS_POPUP, nullptr, primary);
    SetForegroundWindow(window);
    return window;
}

// /p: a child covering the preview window's client area.
static HWND make_preview(uintptr_t handle)
{
    HWND parent = (HWND)handle;
    RECT area;
    if (!IsWindow(parent) || !GetClientRect(parent, &area))
        fail(1, "The screensaver has no preview window to draw in.",
             "no window " + std::to_string(handle));
    return make_window(0, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, parent, area);
}

// The bitmaps, organ.bmp and veins.bmp, are beside the saver: the program
// reads them from the working directory, wherever Windows starts it.
static void go_to_bitmaps()
{
    std::wstring self = own_path();
    std::wstring folder = self.substr(0, self.rfind(L'\\'));
    if (self.empty() || !SetCurrentDirectoryW(folder.c_str()))
        fail(3, "The screensaver cannot find its own folder.", utf8(folder));
}

// ---- The program's calls, wrapped ---------------------------------------------

extern "C" SDL_Surface* __wrap_SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags)
{
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1);  // vsync, where the driver gives it
    SDL_Surface* screen = __real_SDL_SetVideoMode(width, height, bpp, flags);
    if (!screen)
        return screen;  // the program says why, and exits
    SetWindowLongPtrW(picture, GWLP_WNDPROC, (LONG_PTR)saver_proc);
    std::string error;
    if (!make_frame_target(width, height, error))
        fail(2, "The screensaver needs OpenGL 3.0: update the graphics driver.", error);
    return screen;
}

extern "C" void __wrap_SDL_GL_SwapBuffers()
{
    RECT area;
    GetClientRect(picture, &area);
    show_frame(area.right, area.bottom);
    __real_SDL_GL_SwapBuffers();
    pacer->wait();
}

// The program's exits: 0 at its end, else after a start-up fault, once its
// line is on standard error (which goes nowhere here) and in SDL's error.
extern "C" void __wrap_exit(int status)
{
    if (status == 0)
        __real_exit(0);
    const char* what = status == 3 ? "The screensaver cannot read its bitmaps, organ.bmp and veins.bmp, "
                                     "which must be in its own folder."
                     : status == 2 ? "The screensaver cannot open an OpenGL window: update the graphics "
                                     "driver."
                                   : "The screensaver cannot start SDL's video.";
    fail(status, what, SDL_GetError());
}

// ---- The saver ------------------------------------------------------------------

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // The arguments.
    SaverRequest request = read_arguments(__argc, __argv);
    mode = request.mode;
    if (!request.error.empty())
        fail(1, "The screensaver was started with arguments it does not take.", request.error);
    if (mode == SaverRequest::SETTINGS)
        return show_settings(request.window);

    // The window.
    go_to_bitmaps();
    WNDCLASSW window_class = {};
    window_class.style = CS_OWNDC;  // OpenGL keeps the window's device context
    window_class.lpfnWndProc = saver_proc;
    window_class.hInstance = instance;
    window_class.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    window_class.lpszClassName = CLASS_NAME;
    RegisterClassW(&window_class);
    picture = mode == SaverRequest::SAVE ? cover_screens() : make_preview(request.window);

    // The hand-over: the program, as it is, draws into that window at the
    // user's frame rate. It reads no options.
    std::string window_id = "SDL_WINDOWID=" + std::to_string((uintptr_t)picture);
    _putenv(window_id.c_str());
    FramePacer frame_pacer(read_delay());
    pacer = &frame_pacer;
    char* program_argv[] = {__argv[0], nullptr};

    // The end: the program's loop ends on the quit event that saver_proc
    // sends, and shuts SDL down; a preview ends at once with its window.
    return vornel_main(1, program_argv);
}
