// Where the program's time goes under Wine: the repair run's operations, timed one kind at a time over a
// laid-out list, through the program's own Win32 platform (32-bit and built as the program is, with its
// manifest, so the progress bar is the same common control).
//   OperationsProbe.exe <folder> <report>
// <folder> holds xp\文件列表.ini and the files it names; copies go to <folder>\probe, emptied first. The
// figures go to the file <report>, one line per kind of operation.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "repair/FileList.h"
#include "repair/Win32Platform.h"

namespace {

// Process starts are the slowest operation by far; a sample of them is enough.
constexpr std::size_t kStartsTimed = 50;

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class Report {
public:
    explicit Report(const char* path) : file_(std::fopen(path, "w")) {}
    ~Report() {
        if (file_) std::fclose(file_);
    }
    bool Open() const { return file_ != nullptr; }
    void Line(const char* what, double seconds, std::size_t times) {
        std::fprintf(file_, "  %-50s %8.2f ms each (%u in %.2f s)\n", what,
                     times ? seconds * 1000 / times : 0.0, static_cast<unsigned>(times), seconds);
        std::fflush(file_);
    }

private:
    std::FILE* file_;
};

// A hidden start as the run makes it, but in the probe's own current folder rather than the started
// program's: how registrations were started before the run gave them the system folder.
bool StartHiddenHere(const std::string& program, const std::string& commandLine) {
    std::string mutableCommandLine = commandLine;  // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: OperationsProbe.exe <folder> <report>\n");
        return 2;
    }
    Report report(argv[2]);
    if (!report.Open()) return 1;
    const std::string folder = argv[1];
    repair::Win32Platform platform;
    const std::string listPath = repair::FileListPath(folder + "\\", "xp");
    const std::string target = folder + "\\probe";
    const std::string systemBase = target + "\\System";
    for (const char* sub : {"", "\\System", "\\System\\ado", "\\System\\msadc", "\\System\\ole db"}) {
        CreateDirectoryA((target + sub).c_str(), nullptr);
    }

    double start = Now();
    const std::vector<std::string> keys = repair::ReadFileListKeys(platform, listPath);
    report.Line("key names (GetPrivateProfileStringA)", Now() - start, 1);

    std::vector<repair::RepairAction> actions;
    start = Now();
    for (const std::string& key : keys) {
        actions.push_back(repair::DeriveRepairAction(folder + "\\", "xp", systemBase, key,
                                                     repair::ReadFileListValue(platform, listPath, key),
                                                     platform.Lead()));
    }
    report.Line("a value (GetPrivateProfileStringA)", Now() - start, keys.size());

    for (const repair::RepairAction& action : actions) DeleteFileA(action.destination.c_str());
    start = Now();
    for (const repair::RepairAction& action : actions)
        platform.CopyFileNoReplace(action.source, action.destination);
    report.Line("a copy (CopyFileA, 4 KB)", Now() - start, actions.size());

    // The progress bar moved on entry by entry, as the run moves the main window's.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const HWND window = CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                                        120, nullptr, nullptr, nullptr, nullptr);
    const HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 10, 360, 20, window,
                                     nullptr, nullptr, nullptr);
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(actions.size()) - 1);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    start = Now();
    for (std::size_t i = 0; i < actions.size(); ++i) SendMessageA(bar, PBM_SETPOS, i, 0);
    report.Line("a progress position (PBM_SETPOS)", Now() - start, actions.size());

    const std::size_t starts = std::min(actions.size(), kStartsTimed);
    start = Now();
    for (std::size_t i = 0; i < starts; ++i)
        platform.StartHidden(target + "\\no-such-program.exe", actions[i].command);
    report.Line("a start of a missing program (CreateProcessA)", Now() - start, starts);

    // The registration utility as the run starts it: whatever the system folder holds under that name.
    const std::string utility = platform.SystemDirectory() + "\\regsvr32.exe";
    start = Now();
    for (std::size_t i = 0; i < starts; ++i) platform.StartHidden(utility, actions[i].command);
    report.Line("a start of the system folder's regsvr32 (CreateProcessA)", Now() - start, starts);

    // Whether the folder a registration starts in changes its cost: the same starts, taking turns between
    // the system folder (as the run starts them) and the probe's own current folder, so that the
    // machine's load weighs on both alike.
    double inSystemFolder = 0, inOwnFolder = 0;
    for (std::size_t i = 0; i < starts; ++i) {
        start = Now();
        platform.StartHidden(utility, actions[i].command);
        inSystemFolder += Now() - start;
        start = Now();
        StartHiddenHere(utility, actions[i].command);
        inOwnFolder += Now() - start;
    }
    report.Line("  the same in turns: in the system folder (the run)", inSystemFolder, starts);
    report.Line("  the same in turns: in the caller's current folder", inOwnFolder, starts);

    // The run's loop as the program makes it, for as many entries: position, value, copy, start. When
    // this is well above the sum of the lines before, the operations slow each other down.
    for (std::size_t i = 0; i < starts; ++i) DeleteFileA(actions[i].destination.c_str());
    start = Now();
    for (std::size_t i = 0; i < starts; ++i) {
        SendMessageA(bar, PBM_SETPOS, i, 0);
        const repair::RepairAction action = repair::DeriveRepairAction(
            folder + "\\", "xp", systemBase, keys[i], repair::ReadFileListValue(platform, listPath, keys[i]),
            platform.Lead());
        platform.CopyFileNoReplace(action.source, action.destination);
        platform.StartHidden(utility, action.command);
    }
    report.Line("an entry of the run's loop (all of the above)", Now() - start, starts);
    DestroyWindow(window);
    return 0;
}
