// A stand-in for the system's regsvr32, installed in the Wine prefix for the end-to-end tests. It
// registers nothing: it appends one line to the log file named by E2E_REGSVR_LOG, made of its own
// module path, its whole command line and its current folder (UTF-8, tab-separated), so a test can count
// the registrations the program started and see which regsvr32.exe was run and in which folder.
// E2E_REGSVR_SLEEP_MS delays the line, to show that nobody waits for a registration. Without E2E_REGSVR_LOG
// it hands the call to the system's own regsvr32, kept aside by the driver, so the prefix keeps working if
// the stand-in is left behind.
//
// A 64-bit program on purpose: it starts at once under Wine, where a 32-bit one takes most of a minute.
#include "tools/Outside.h"

#include <windows.h>

#include <string>

namespace {

int PassToOriginal() {
    wchar_t directory[MAX_PATH];
    if (GetSystemWow64DirectoryW(directory, MAX_PATH) == 0) return 1;
    const std::wstring original = std::wstring(directory) + L"\\" + outside::kStandInKeptAside;
    std::wstring commandLine = GetCommandLineW();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(original.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring log = outside::EnvironmentValue(L"E2E_REGSVR_LOG");
    if (log.empty()) return PassToOriginal();

    const std::wstring sleep = outside::EnvironmentValue(L"E2E_REGSVR_SLEEP_MS");
    if (!sleep.empty()) Sleep(static_cast<DWORD>(_wtoi(sleep.c_str())));

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::string line =
        outside::Utf8(self) + "\t" + outside::Utf8(GetCommandLineW()) + "\t" + outside::Utf8(folder) + "\n";

    // One write per line at the end of the log, one stand-in at a time: registrations run side by side,
    // and under Wine two stand-ins appending through append-only handles at the same moment now and then
    // left one line instead of two. The lock is on a byte far past the end, so that it never refuses the
    // driver a read of the log.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            OVERLAPPED turn{};
            turn.OffsetHigh = 0x7FFFFFFF;
            const BOOL locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn);
            DWORD written = 0;
            const BOOL wrote =
                SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
                WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
            CloseHandle(file);
            if (locked && wrote && written == line.size()) return 0;
        }
        Sleep(50);
    }
    return 1;
}
