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

#include <cwchar>

namespace {

const wchar_t* const INSTALL_KEY = L"Software\\Vornel";
const wchar_t* const INSTALL_VALUE = L"InstallDir";
const size_t LONGEST_COMMAND = 32768;  // characters, Windows' own limit

// Says why nothing runs; ends with status 1.
int fail(const wchar_t* why)
{
    MessageBoxW(nullptr, why, L"Vornel screensaver: install Vornel again to repair it", MB_OK | MB_ICONERROR);
    return 1;
}

// This copy's own file name, in its long form: vornel.scr or vornel-single.scr.
const wchar_t* own_name(wchar_t (&path)[MAX_PATH])
{
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    GetLongPathNameW(path, path, MAX_PATH);  // unchanged where it fails
    return wcsrchr(path, L'\\') + 1;
}

// The command line after the program's own name, as Windows gave it.
const wchar_t* arguments()
{
    const wchar_t* line = GetCommandLineW();
    if (*line == L'"') {
        const wchar_t* end = wcschr(line + 1, L'"');
        return end ? end + 1 : L"";
    }
    return line + wcscspn(line, L" \t");
}

// Runs `command` in `folder` inside a job that ends with this process; its
// exit status.
int run_in_job(const wchar_t* program, wchar_t* command, const wchar_t* folder)
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, folder, &startup,
                        &process))
        return fail(L"The screensaver in Vornel's installation folder could not be started.");
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
    wchar_t folder[MAX_PATH], path[MAX_PATH], saver[2 * MAX_PATH];
    DWORD size = sizeof folder;
    // A 64-bit program reads the registry's 64-bit view, where the installer writes.
    if (RegGetValueW(HKEY_LOCAL_MACHINE, INSTALL_KEY, INSTALL_VALUE, RRF_RT_REG_SZ, nullptr, folder, &size) !=
        ERROR_SUCCESS)
        return fail(L"Vornel's installation folder is not in the registry.");
    swprintf(saver, 2 * MAX_PATH, L"%ls\\%ls", folder, own_name(path));

    static wchar_t command[LONGEST_COMMAND];
    if (swprintf(command, LONGEST_COMMAND, L"\"%ls\"%ls", saver, arguments()) < 0)
        return fail(L"The command line is too long.");
    return run_in_job(saver, command, folder);
}
