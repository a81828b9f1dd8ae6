// Runs MdacRepair.exe for scripts/run and watches it as a user would: has pictures taken of the main window
// and of the completion message (or the error box), and with --dismiss answers the message itself, for a
// display nobody looks at. Prints what it saw and exits with the program's exit code (2 when the program
// did not end by itself in time), once the programs the program started (its registrations) have ended
// too, or have been given two minutes. When a file named `stop` appears in SCREENSHOT_FOLDER (scripts/run
// was interrupted), it ends the program and the programs it started at once and exits with 130.
//   RepairRunner.exe PROGRAM.exe SCREENSHOT_FOLDER [--dismiss]
//   RepairRunner.exe --check MdacCheck.exe SCREENSHOT_FOLDER REPORT_FILE
// With --check it runs the companion check in its window instead: has a picture taken of it, writes the
// report the window shows to REPORT_FILE (UTF-8), closes it, and exits with the check's exit code (2 when it
// showed no window or did not end).
// A 64-bit Windows program: it starts at once under Wine, whatever the program under watch costs.
#include "Outside.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace outside;
using namespace std::chrono_literals;

constexpr auto kStartTimeout = 300s;  // a 32-bit start under emulation takes most of a minute
constexpr auto kRunTimeout = 600s;
constexpr auto kStartedTimeout = 120s;

// The programs started by the program (and by those) belong to the job the program is put in, and only
// they: the prefix's other programs are none of the runner's business.
struct Program {
    DWORD id;
    std::wstring name;
};

std::vector<Program> ProgramsOfJob(HANDLE job) {
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];  // the list's room for 64 processes
    } ids{};
    ids.list.NumberOfAssignedProcesses = 64;
    std::vector<Program> programs;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return programs;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList && i < 64; ++i) {
        Program program{static_cast<DWORD>(i == 0 ? ids.list.ProcessIdList[0] : ids.more[i - 1]), L"?"};
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ProcessID == program.id) program.name = entry.szExeFile;
        }
        programs.push_back(program);
    }
    if (snapshot != INVALID_HANDLE_VALUE) CloseHandle(snapshot);
    return programs;
}

// Wine's desktop and console hosts, which a program's first window or console starts, belong to Wine's
// session and last as long as it does: those are never waited for.
bool IsSessionHost(const Program& program) {
    return lstrcmpiW(program.name.c_str(), L"explorer.exe") == 0 ||
           lstrcmpiW(program.name.c_str(), L"conhost.exe") == 0;
}

bool JobIsDone(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                   nullptr) ||
        accounting.ActiveProcesses == 0)
        return true;
    const std::vector<Program> programs = ProgramsOfJob(job);
    return !programs.empty() && std::all_of(programs.begin(), programs.end(), IsSessionHost);
}

std::string Told(const std::vector<Program>& programs) {
    std::string told;
    for (const Program& program : programs) {
        told +=
            (told.empty() ? "" : ", ") + Utf8(program.name) + " (process " + std::to_string(program.id) + ")";
    }
    return told;
}

// scripts/run asks the runner to end the run with a file named `stop` in the folder of the pictures.
std::wstring g_stopFile;

bool StopAsked() {
    return IsFile(g_stopFile);
}

// Ends the program and every program of its job but Wine's session hosts, and waits for them a while.
int Stop(HANDLE job, PROCESS_INFORMATION& process) {
    for (const Program& program : job ? ProgramsOfJob(job) : std::vector<Program>{}) {
        if (IsSessionHost(program)) continue;
        if (const HANDLE started = OpenProcess(PROCESS_TERMINATE, FALSE, program.id)) {
            TerminateProcess(started, 130);
            CloseHandle(started);
        }
    }
    EndProcess(process, 130);
    if (job) WaitUntil([job] { return JobIsDone(job); }, 30s, 250ms);
    Say("runner: asked to stop: the program and the programs it started were ended");
    if (job) CloseHandle(job);
    return 130;
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
    WaitUntil([&] { return IsFile(picture) || StopAsked(); }, 10s, 100ms);
    DeleteFileW(request.c_str());
}

// Waits until one of the program's windows of these classes shows, or the program ends; `which` names
// the class of the one found.
HWND WaitForWindow(const PROCESS_INFORMATION& process, const std::vector<std::wstring>& classes,
                   std::chrono::milliseconds timeout, std::wstring* which) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (const std::wstring& className : classes) {
                if ((found = ShownWindowOf(process.dwProcessId, className)) != nullptr) {
                    *which = className;
                    return true;
                }
            }
            return ProcessEnded(process) || StopAsked();
        },
        timeout, 250ms);
    return found;
}

int RunCheck(const std::wstring& check, const std::wstring& pictures, const std::wstring& reportFile) {
    CreateDirectoryW(pictures.c_str(), nullptr);
    PROCESS_INFORMATION process{};
    if (!StartProcess(process, check, L"", Parent(check))) {
        std::fprintf(stderr, "runner: cannot start the check (error %lu)\n", GetLastError());
        return 2;
    }
    // The window shows once every entry has been looked at, a component that hangs included.
    std::wstring which;
    HWND form = WaitForWindow(process, {L"TCheckForm"}, kRunTimeout, &which);
    if (form) {
        Pause(1s);  // let it paint
        const std::vector<HWND> report = ChildrenOf(form, L"Edit");
        WriteBytes(reportFile, report.empty() ? std::string() : Utf8(WholeTextOf(report.front())));
        TakePicture(pictures, L"3-check-window");
        PostMessageW(form, WM_CLOSE, 0, 0);
    }
    const std::optional<DWORD> exitCode = ProcessExitCode(process, kStartedTimeout);
    EndProcess(process, 2);
    if (!form || !exitCode) {
        std::fprintf(stderr, "runner: the check %s\n", form ? "did not end" : "showed no window");
        return 2;
    }
    Say("runner: the check ended with exit code " + std::to_string(*exitCode));
    return static_cast<int>(*exitCode);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && lstrcmpW(argv[1], L"--check") == 0) return RunCheck(argv[2], argv[3], argv[4]);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: RepairRunner PROGRAM.exe SCREENSHOT_FOLDER [--dismiss]\n"
                     "       RepairRunner --check MdacCheck.exe SCREENSHOT_FOLDER REPORT_FILE\n");
        return 2;
    }
    const std::wstring program = argv[1];
    const std::wstring pictures = argv[2];
    const bool dismiss = argc > 3 && lstrcmpW(argv[3], L"--dismiss") == 0;
    CreateDirectoryW(pictures.c_str(), nullptr);
    g_stopFile = pictures + L"\\stop";

    PROCESS_INFORMATION process{};
    // In its own folder, as Explorer starts it: a program it starts without a folder of its own would look
    // there for the libraries it loads. It starts suspended and runs only once it is in the job, so that
    // nothing it starts escapes the job.
    if (!StartProcess(process, program, L"", Parent(program), -1, {}, CREATE_SUSPENDED)) {
        std::fprintf(stderr, "runner: cannot start the program (error %lu)\n", GetLastError());
        return 2;
    }
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    const bool watched = job && AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);

    std::wstring which;
    if (HWND form = WaitForWindow(process, {L"TForm1"}, kStartTimeout, &which)) {
        Pause(1s);  // let it paint
        const std::vector<HWND> labels = ChildrenOf(form, L"Static");
        Say("runner: main window \"" + Utf8(TextOf(form)) + "\", version tag \"" +
            (labels.empty() ? "" : Utf8(TextOf(labels.front()))) + "\"");
        TakePicture(pictures, L"1-main-window");
    }

    if (StopAsked()) return Stop(job, process);

    // Then the completion message, or an error box when the run failed.
    HWND answer = WaitForWindow(process, {L"TMessageForm", L"#32770"}, kRunTimeout, &which);
    const bool isError = which == L"#32770";
    if (answer) {
        Pause(500ms);
        std::string text;
        for (HWND child : ChildrenOf(answer, L"Static")) text += Utf8(TextOf(child));
        Say(std::string("runner: ") + (isError ? "error box" : "message") + " \"" + Utf8(TextOf(answer)) +
            "\": " + text);
        TakePicture(pictures, isError ? L"2-error-box" : L"2-completion-message");
        if (dismiss) {
            PostMessageW(answer, WM_COMMAND, IDOK, 0);
            if (isError) {
                Pause(1s);
                if (HWND form = ShownWindowOf(process.dwProcessId, L"TForm1"))
                    PostMessageW(form, WM_CLOSE, 0, 0);
            }
        }
    }

    WaitUntil([&] { return ProcessEnded(process) || StopAsked(); }, kRunTimeout, 250ms);
    if (StopAsked()) return Stop(job, process);
    const std::optional<DWORD> exitCode = ProcessExitCode(process, 0ms);
    if (!exitCode) {
        std::fprintf(stderr, "runner: the program did not end\n");
        EndProcess(process, 2);
        return 2;
    }
    EndProcess(process);
    Say("runner: the program ended with exit code " + std::to_string(*exitCode));
    if (!watched) {
        Say("runner: the programs it started cannot be waited for here");
    } else if (!WaitUntil([job] { return JobIsDone(job) || StopAsked(); }, kStartedTimeout, 250ms)) {
        Say("runner: the programs it started had not ended after two minutes: " + Told(ProgramsOfJob(job)));
    } else if (StopAsked()) {
        return Stop(job, process);
    }
    if (job) CloseHandle(job);
    return answer && !isError ? static_cast<int>(*exitCode) : 3;
}
