// The screensavers as the installer puts them where the Screen Saver
// Settings dialog lists them: the Windows system folder holds this small
// program twice, as vornel.scr and vornel-single.scr, and each copy runs
// the saver of its own name from the folder Vornel is installed in (the
// registry value HKLM\Software\Vornel\InstallDir), with the same arguments,
// and ends with its status. The savers themselves stay beside SDL.dll and
// the bitmaps they need, none of which belongs in the system folder.
//
// Windows may start a saver by its short path, from any folder, and may end
// it without asking: the saver runs in a job that ends with this process.
#include <windows.h>

#include <string>

namespace {

const wchar_t* const INSTALL_KEY = L"Software\\Vornel";
const wchar_t* const INSTALL_VALUE = L"InstallDir";

// Says why nothing runs; ends with status 1.
int fail(const std::wstring& why)
{
    MessageBoxW(nullptr, (why + L"\n\nInstall Vornel again to repair it.").c_str(),
                L"Vornel screensaver", MB_OK | MB_ICONERROR);
    return 1;
}

// This copy's own file name, in its long form: vornel.scr or vornel-single.scr.
std::wstring own_name()
{
    wchar_t path[MAX_PATH], long_path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (GetLongPathNameW(path, long_path, MAX_PATH) == 0)
        wcscpy(long_path, path);
    std::wstring name = long_path;
    return name.substr(name.find_last_of(L'\\') + 1);
}

// The command line after the program's own name, as Windows gave it.
std::wstring arguments()
{
    std::wstring line = GetCommandLineW();
    size_t end = line[0] == L'"' ? line.find(L'"', 1) + 1 : line.find_first_of(L" \t");
    return end == std::wstring::npos || end > line.size() ? L"" : line.substr(end);
}

// Runs `command` in `folder` inside a job that ends with this process; its
// exit status.
int run_in_job(const std::wstring& program, std::wstring command, const std::wstring& folder)
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, folder.c_str(), &startup, &process))
        return fail(L"Could not start " + program + L".");
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(job);
    return (int)status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t folder[MAX_PATH];
    DWORD size = sizeof folder;
    // A 64-bit program reads the registry's 64-bit view, where the installer writes.
    if (RegGetValueW(HKEY_LOCAL_MACHINE, INSTALL_KEY, INSTALL_VALUE, RRF_RT_REG_SZ, nullptr, folder, &size) !=
        ERROR_SUCCESS)
        return fail(L"Vornel's installation folder is not in the registry.");
    std::wstring saver = std::wstring(folder) + L"\\" + own_name();
    return run_in_job(saver, L"\"" + saver + L"\"" + arguments(), folder);
}
