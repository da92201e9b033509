#include "settings.h"

#include <windows.h>
#include <commctrl.h>
#include <cwchar>

#include "resource.h"

static const wchar_t* const KEY = L"Software\\Vornel";
static const wchar_t* const VALUE = L"Delay";
static const unsigned STEP_US = 1000;                  // one step of the slider
static const unsigned STEPS = MAX_DELAY_US / STEP_US;  // the slider's right end: no delay

unsigned read_delay()
{
    DWORD delay, size = sizeof delay;
    if (RegGetValueW(HKEY_CURRENT_USER, KEY, VALUE, RRF_RT_REG_DWORD, nullptr, &delay, &size) !=
            ERROR_SUCCESS ||
        delay > MAX_DELAY_US)
        return DEFAULT_DELAY_US;
    return delay;
}

// The slider runs from a low frame rate on the left to the highest.
static unsigned chosen_delay(HWND dialog)
{
    LRESULT position = SendDlgItemMessageW(dialog, IDC_RATE, TBM_GETPOS, 0, 0);
    return (STEPS - (unsigned)position) * STEP_US;
}

static void show_rate(HWND dialog)
{
    unsigned delay = chosen_delay(dialog);
    wchar_t text[64] = L"As many frames as it can draw";
    if (delay > 0)
        swprintf(text, 64, L"Up to %u frames a second", (1000000 + delay / 2) / delay);
    SetDlgItemTextW(dialog, IDC_RATE_TEXT, text);
}

static INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM w, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageW(dialog, IDC_RATE, TBM_SETRANGE, FALSE, MAKELPARAM(0, STEPS));
        SendDlgItemMessageW(dialog, IDC_RATE, TBM_SETPOS, TRUE,
                            STEPS - (read_delay() + STEP_US / 2) / STEP_US);
        show_rate(dialog);
        return TRUE;  // the focus on the slider, the first control
    case WM_HSCROLL:
        show_rate(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(w) == IDOK) {
            DWORD delay = chosen_delay(dialog);
            bool kept = RegSetKeyValueW(HKEY_CURRENT_USER, KEY, VALUE, REG_DWORD, &delay,
                                        sizeof delay) == ERROR_SUCCESS;
            if (!kept)
                MessageBoxW(dialog, L"The frame rate could not be written to the registry.",
                            L"Vornel screensaver", MB_OK | MB_ICONERROR);
            EndDialog(dialog, kept ? 0 : 1);
            return TRUE;
        }
        if (LOWORD(w) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int show_settings(uintptr_t owner)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};  // the slider
    InitCommonControlsEx(&controls);
    INT_PTR status = DialogBoxW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS),
                                (HWND)owner, settings_proc);
    return status == 0 ? 0 : 1;
}
