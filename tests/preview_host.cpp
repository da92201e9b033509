// A stand-in for the Screen Saver Settings dialog, cross-built for
// test_windows_saver: a window holding a child the size of the dialog's
// preview, a saver started into that child as the dialog starts one, and
// the child destroyed as the dialog ends a preview.
//
//   preview_host.exe SAVER space|colon     (/p HWND or /p:HWND)
//
// Says on standard error what it saw; status 0 if the saver's child window
// covered the preview and the saver ended with 0 after the preview's end.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

static const int WIDTH = 152, HEIGHT = 112;  // the dialog's preview, in pixels
static const DWORD WAIT_MS = 30000;          // a machine under load

int main(int argc, char* argv[])
{
    if (argc != 3)
        return 2;
    WNDCLASSW host_class = {};
    host_class.lpfnWndProc = DefWindowProcW;
    host_class.lpszClassName = L"VornelPreviewHost";
    RegisterClassW(&host_class);
    HWND host = CreateWindowW(host_class.lpszClassName, L"preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              0, 0, 2 * WIDTH, 2 * HEIGHT, nullptr, nullptr, nullptr, nullptr);
    HWND preview = CreateWindowW(host_class.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 8, 8, WIDTH, HEIGHT,
                                 host, nullptr, nullptr, nullptr);

    std::string handle = std::to_string((uintptr_t)preview);
    std::string command = std::string("\"") + argv[1] + "\" " +
                          (std::string(argv[2]) == "colon" ? "/p:" + handle : "/p " + handle);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION saver;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &saver))
        return 2;

    // The saver's child, once it has drawn for three seconds: the program
    // puts its frame rate in the title then. The child sends its parent
    // messages, which are handled meanwhile.
    HWND child = nullptr;
    wchar_t title[64] = L"";
    for (ULONGLONG end = GetTickCount64() + WAIT_MS; GetTickCount64() < end && wcsncmp(title, L"*Vornel*", 8);
         Sleep(10)) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if ((child = FindWindowExW(preview, nullptr, nullptr, nullptr)))
            GetWindowTextW(child, title, 64);
    }
    RECT area = {};
    GetClientRect(child, &area);
    fprintf(stderr, "child window: %ldx%ld, title %ls\n", area.right, area.bottom, title);

    ULONGLONG destroyed = GetTickCount64();
    DestroyWindow(preview);
    bool ended = WaitForSingleObject(saver.hProcess, WAIT_MS) == WAIT_OBJECT_0;
    ULONGLONG took = GetTickCount64() - destroyed;
    DWORD status = 1;
    GetExitCodeProcess(saver.hProcess, &status);
    fprintf(stderr, "saver ended: %s, status %lu, %llu ms after the preview's window\n",
            ended ? "yes" : "no", status, took);
    if (!ended)
        TerminateProcess(saver.hProcess, 1);
    bool drew = wcsncmp(title, L"*Vornel*", 8) == 0;
    return drew && area.right == WIDTH && area.bottom == HEIGHT && ended && status == 0 ? 0 : 1;
}
