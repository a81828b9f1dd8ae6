// Runs MdacRepair.exe for scripts/run and watches it as a user would: has pictures taken of the main window
// and of the completion message (or the error box), and with --dismiss answers the message itself, for a
// display nobody looks at. Prints what it saw and exits with the program's exit code (2 when the program
// did not end by itself in time).
//   RepairRunner.exe PROGRAM.exe SCREENSHOT_FOLDER [--dismiss]
// A 64-bit Windows program: it starts at once under Wine, whatever the program under watch costs.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kStartTimeoutMs = 300000;  // a 32-bit start under emulation takes most of a minute
constexpr DWORD kRunTimeoutMs = 600000;

struct Found {
    DWORD processId;
    const wchar_t* className;
    HWND window;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM lParam) {
    auto* found = reinterpret_cast<Found*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == found->processId && IsWindowVisible(window) && lstrcmpW(className, found->className) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND TopWindow(DWORD processId, const wchar_t* className) {
    Found found{processId, className, nullptr};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

std::string Utf8Text(HWND window) {
    wchar_t text[1024] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(child);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// Asks scripts/run for a picture of the screen: it watches the folder, takes the picture from outside
// (the X server has what the user sees, whatever the program's own drawing path) and answers with NAME.png.
void TakePicture(const std::wstring& folder, const std::wstring& name) {
    const std::wstring request = folder + L"\\" + name + L".want";
    const std::wstring picture = folder + L"\\" + name + L".png";
    HANDLE file = CreateFileW(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    CloseHandle(file);
    for (int waited = 0; waited < 100 && GetFileAttributesW(picture.c_str()) == INVALID_FILE_ATTRIBUTES;
         ++waited) {
        Sleep(100);
    }
    DeleteFileW(request.c_str());
}

// Waits until one of the program's windows of these classes shows, or the program ends.
HWND WaitForWindow(HANDLE process, DWORD processId, const std::vector<const wchar_t*>& classes,
                   DWORD timeoutMs, const wchar_t** which) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 250) {
        for (const wchar_t* className : classes) {
            if (HWND window = TopWindow(processId, className)) {
                *which = className;
                return window;
            }
        }
        if (WaitForSingleObject(process, 250) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: RepairRunner PROGRAM.exe SCREENSHOT_FOLDER [--dismiss]\n");
        return 2;
    }
    const std::wstring program = argv[1];
    const std::wstring pictures = argv[2];
    const bool dismiss = argc > 3 && lstrcmpW(argv[3], L"--dismiss") == 0;
    CreateDirectoryW(pictures.c_str(), nullptr);

    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
        std::fprintf(stderr, "runner: cannot start the program (error %lu)\n", GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);
    const DWORD id = process.dwProcessId;

    const wchar_t* which = nullptr;
    if (HWND form = WaitForWindow(process.hProcess, id, {L"TForm1"}, kStartTimeoutMs, &which)) {
        Sleep(1000);  // let it paint
        std::printf("runner: main window \"%s\", version tag \"%s\"\n", Utf8Text(form).c_str(),
                    Children(form).empty() ? "" : Utf8Text(Children(form)[0]).c_str());
        TakePicture(pictures, L"1-main-window");
    }

    // Then the completion message, or an error box when the run failed.
    HWND answer = WaitForWindow(process.hProcess, id, {L"TMessageForm", L"#32770"}, kRunTimeoutMs, &which);
    if (answer) {
        Sleep(500);
        std::string text;
        for (HWND child : Children(answer)) {
            wchar_t className[32] = {};
            GetClassNameW(child, className, 32);
            if (lstrcmpiW(className, L"Static") == 0 && !Utf8Text(child).empty()) text += Utf8Text(child);
        }
        const bool isError = lstrcmpW(which, L"#32770") == 0;
        std::printf("runner: %s \"%s\": %s\n", isError ? "error box" : "message", Utf8Text(answer).c_str(),
                    text.c_str());
        TakePicture(pictures, isError ? L"2-error-box" : L"2-completion-message");
        if (dismiss) {
            PostMessageW(answer, WM_COMMAND, IDOK, 0);
            if (isError) {
                Sleep(1000);
                if (HWND form = TopWindow(id, L"TForm1")) PostMessageW(form, WM_CLOSE, 0, 0);
            }
        }
    }

    if (WaitForSingleObject(process.hProcess, kRunTimeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "runner: the program did not end\n");
        TerminateProcess(process.hProcess, 2);
        return 2;
    }
    DWORD exitCode = 2;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    std::printf("runner: the program ended with exit code %lu\n", exitCode);
    return answer && lstrcmpW(which, L"TMessageForm") == 0 ? static_cast<int>(exitCode) : 3;
}
