// What a program needs that watches and drives MdacRepair from outside under Wine: text conversions and
// reporting, waiting on a condition, files and folders in the prefix (Unix paths reached through drive
// Z:), starting and ending programs, finding their windows and reading their texts, and putting the
// stand-in regsvr32 in the system's place and back. The runner of scripts/run, the end-to-end driver, the
// benchmark driver and the stand-in regsvr32, all 64-bit programs, share it; the runner is also built
// as a 32-bit program for 32-bit prefixes.
//
// Failures the caller cannot go on after are thrown as outside::Failure.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace outside {

using Clock = std::chrono::steady_clock;

// Where the stand-in's installer keeps the system's own regsvr32, beside it in the 32-bit system folder;
// the stand-in hands calls on to it when no test is listening.
constexpr wchar_t kStandInKeptAside[] = L"regsvr32-e2e-original.exe";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------------
// Text and reporting

inline std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

// The bytes the program reads and writes: its texts are in code page 936.
inline std::string CodePage936(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

inline std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

inline std::wstring FromCodePage936(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int size = MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring result(size, L'\0');
    MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), result.data(), size);
    return result;
}

// One line of the report, flushed at once: Wine hands the output on through a file, and a driver that
// is stopped by a time limit should leave every line it got to.
inline void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------------------
// Time

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline void Pause(std::chrono::milliseconds span) {
    Sleep(static_cast<DWORD>(span.count()));
}

// Polls `ready` every `poll` until it holds or `timeout` passes; true when it held. Every look at the
// program's windows asks Wine's server, which the program needs too, so a long wait may look seldom.
inline bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout,
                      std::chrono::milliseconds poll = std::chrono::milliseconds(20)) {
    const auto end = Clock::now() + timeout;
    for (;;) {
        if (ready()) return true;
        if (Clock::now() >= end) return false;
        Pause(poll);
    }
}

// ---------------------------------------------------------------------------------------------------
// Files

// A Unix path from the shell or the build (CTest passes those) is reached through Wine's drive Z:.
inline std::wstring WindowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') {
        std::replace(path.begin(), path.end(), L'/', L'\\');
        path = L"Z:" + path;
    }
    return path;
}

inline bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline std::wstring Parent(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

inline void MakeDirectories(const std::wstring& path) {
    if (path.size() <= 3 || IsDirectory(path)) return;
    MakeDirectories(Parent(path));
    if (!CreateDirectoryW(path.c_str(), nullptr) && !IsDirectory(path)) {
        throw Failure("cannot make folder " + Utf8(path));
    }
}

// Removes the folder and all below it, as far as it can; read-only files too.
inline void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

// Writes the file whole, making its folders first.
inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    MakeDirectories(Parent(path));
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw Failure("cannot write " + Utf8(path));
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The file's bytes, read while others may still write it; `exists` tells a missing file from an empty one.
inline std::string ReadBytes(const std::wstring& path, bool* exists = nullptr) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (exists) *exists = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    std::vector<char> buffer(65536);
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
        bytes.append(buffer.data(), got);
    }
    CloseHandle(file);
    return bytes;
}

// Copies over whatever is there, making the destination's folders first.
inline void CopyOrFail(const std::wstring& from, const std::wstring& to) {
    MakeDirectories(Parent(to));
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        throw Failure("cannot copy " + Utf8(from) + " to " + Utf8(to));
    }
}

// A 32-bit program's system folder: syswow64 in this 64-bit prefix.
inline std::wstring SystemWow64Directory() {
    wchar_t buffer[MAX_PATH] = {};
    if (GetSystemWow64DirectoryW(buffer, MAX_PATH) == 0)
        throw Failure("this prefix has no 32-bit system folder");
    return buffer;
}

// ---------------------------------------------------------------------------------------------------
// Processes

// A variable of this program's environment; empty when it is not set (or longer than any path).
inline std::wstring EnvironmentValue(const wchar_t* name) {
    wchar_t buffer[4096] = {};
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    return (length == 0 || length >= 4096) ? std::wstring() : std::wstring(buffer, length);
}

// Starts `program`, with `arguments` after its quoted path on the command line, in `folder`, with
// `showCommand` in its STARTUPINFO (-1: none) and the environment block `environment` (NUL-ended
// "name=value" strings and one more NUL); an empty folder or environment is this program's own, and
// `flags` are CreateProcess's (CREATE_SUSPENDED, for one). False when the system does not start it,
// `process` then left empty.
inline bool StartProcess(PROCESS_INFORMATION& process, const std::wstring& program,
                         const std::wstring& arguments = {}, const std::wstring& folder = {},
                         int showCommand = -1, std::wstring environment = {}, DWORD flags = 0) {
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (showCommand >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
    }
    process = {};
    return CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          flags | (environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT),
                          environment.empty() ? nullptr : environment.data(),
                          folder.empty() ? nullptr : folder.c_str(), &startup, &process) != 0;
}

inline bool ProcessEnded(const PROCESS_INFORMATION& process) {
    return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
}

// Waits up to `timeout` for the program to end: its exit code, or none while it still runs.
inline std::optional<DWORD> ProcessExitCode(const PROCESS_INFORMATION& process,
                                            std::chrono::milliseconds timeout) {
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return {};
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

// Ends the program if it still runs (exit code `code`), waits for it a while and closes its handles; an
// empty `process` is left alone.
inline void EndProcess(PROCESS_INFORMATION& process, UINT code = 99) {
    if (process.hProcess == nullptr) return;
    if (!ProcessEnded(process)) {
        TerminateProcess(process.hProcess, code);
        WaitForSingleObject(process.hProcess, 10000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = {};
}

// ---------------------------------------------------------------------------------------------------
// The completion message

// The line above the files whose registration the system did not start, and the last line after twenty
// of them, "……另有 N " followed by the rest's words, that counts the others.
constexpr wchar_t kNotStartedHeading[] = L"以下文件的注册程序未能启动：";
constexpr wchar_t kMoreFiles[] = L"……另有 ";

// How many files the message says had their registration not started: the names under that heading and
// the count after them.
inline std::size_t NotStartedCount(const std::wstring& message) {
    const std::size_t heading = message.find(kNotStartedHeading);
    if (heading == std::wstring::npos) return 0;
    const std::wstring more = kMoreFiles;
    std::size_t count = 0;
    for (std::size_t at = message.find(L"\r\n", heading); at != std::wstring::npos;) {
        const std::size_t next = message.find(L"\r\n", at + 2);
        const std::wstring line = message.substr(at + 2, next == std::wstring::npos ? next : next - at - 2);
        count += line.rfind(more, 0) == 0 ? std::wcstoul(line.c_str() + more.size(), nullptr, 10) : 1;
        at = next;
    }
    return count;
}

// ---------------------------------------------------------------------------------------------------
// Windows of the program

inline std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// The text by WM_GETTEXT; the program's thread may be busy in a run, hence the time limit.
inline std::wstring TextOf(HWND window) {
    wchar_t text[2048] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000,
                             &copied)) {
        return L"<no answer to WM_GETTEXT>";
    }
    return std::wstring(text, std::min<DWORD_PTR>(copied, 2047));
}

// The whole text by WM_GETTEXT, however long (a report, a message).
inline std::wstring WholeTextOf(HWND window) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                        10000, &copied);
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

// A search of windows of one class: those of one process, or the children of one window. The callbacks
// are the system's (stdcall in a 32-bit program), hence named functions rather than lambdas.
struct WindowSearch {
    DWORD processId;
    HWND parent;
    const std::wstring* className;
    std::vector<HWND> found;
};

inline BOOL CALLBACK CollectTopWindow(HWND window, LPARAM data) {
    auto& s = *reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == s.processId && ClassOf(window) == *s.className) s.found.push_back(window);
    return TRUE;
}

inline BOOL CALLBACK CollectChild(HWND window, LPARAM data) {
    auto& s = *reinterpret_cast<WindowSearch*>(data);
    if (GetParent(window) == s.parent && ClassOf(window) == *s.className) s.found.push_back(window);
    return TRUE;
}

// The process's top-level windows of that class, shown or not.
inline std::vector<HWND> TopWindowsOf(DWORD processId, const std::wstring& className) {
    WindowSearch search{processId, nullptr, &className, {}};
    EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The process's first shown top-level window of that class; null while there is none.
inline HWND ShownWindowOf(DWORD processId, const std::wstring& className) {
    for (HWND window : TopWindowsOf(processId, className)) {
        if (IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// The window's own children of that class (not their children).
inline std::vector<HWND> ChildrenOf(HWND parent, const std::wstring& className) {
    WindowSearch search{0, parent, &className, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// ---------------------------------------------------------------------------------------------------
// The stand-in regsvr32. A 32-bit program's system folder is syswow64 in this 64-bit prefix; a file
// there that is not one of Wine's own placeholders is run as it is, so the stand-in goes in its place.

struct RegsvrPlaces {
    std::wstring system;  // where the program finds regsvr32.exe
    std::wstring aside;   // where the system's own is kept while the stand-in is in its place
};

inline RegsvrPlaces RegsvrPlacesInPrefix() {
    const std::wstring folder = SystemWow64Directory();
    return {folder + L"\\regsvr32.exe", folder + L"\\" + kStandInKeptAside};
}

// Puts the stand-in in the system's place. The system's own is kept aside once only: a stand-in left
// behind by an earlier run must not take its place there. Empty when done, else what failed.
inline std::string PutStandIn(const std::wstring& standIn, const RegsvrPlaces& places) {
    if (!IsFile(places.aside) && !CopyFileW(places.system.c_str(), places.aside.c_str(), TRUE)) {
        return "cannot keep " + Utf8(places.system) + " aside";
    }
    if (!CopyFileW(standIn.c_str(), places.system.c_str(), FALSE)) {
        return "cannot put the stand-in at " + Utf8(places.system);
    }
    return {};
}

// Puts the system's regsvr32 back from where it was kept; false when it could not (or none was kept).
inline bool PutSystemRegsvrBack(const RegsvrPlaces& places) {
    return CopyFileW(places.aside.c_str(), places.system.c_str(), FALSE) && DeleteFileW(places.aside.c_str());
}

}  // namespace outside
