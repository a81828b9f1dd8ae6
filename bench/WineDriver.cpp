// Times the real MdacRepair.exe under Wine and prints the figures for scripts/bench.
//
//   bench_driver repair  <MdacRepair.exe> <regsvr32 stand-in.exe> <OperationsProbe.exe> <FloorLoop.exe>
//   <entries> <repetitions>
//       From process start to the completion message "修复完毕" on a list of <entries> small files,
//       against a batch file run by cmd that copies each file without replacing it and starts
//       "regsvr32 /s" for each, and against the floor the design sets: the bare loop of CopyFileA and a
//       hidden CreateProcessA per file, and the same loop moving a shown progress bar (FloorLoop.exe,
//       start to exit). The same files, the same prefix, the same regsvr32 (the stand-in).
//       Then the probe's figures for each kind of operation the program makes.
//   bench_driver startup <MdacRepair.exe> <EmptyWindow.exe> <EmptyWindowManifest.exe> <repetitions>
//       From process start to the main window shown, against a program that only shows an empty window,
//       and the same with the program's manifest.
//   bench_driver check <MdacCheck.exe> <repetitions>
//       One "/report" run of the check beside a package repaired in this prefix, from process start to
//       exit, and how it splits: before its probe child starts (its own start, the system, the list, the
//       files and registrations), the child's life (loading and creating every entry), after it.
//
// The two sides of each comparison take turns, so that a machine busy for a while weighs on both; each
// figure is the median of its repetitions. A 64-bit program: it starts at once under Wine.
#include "tools/Outside.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace outside;
using namespace std::chrono_literals;

constexpr auto kStepTimeout = 300s;

// The median, or 0 for no values (a side whose every turn was lost).
double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Figures(const std::vector<double>& seconds) {
    std::string text;
    for (double s : seconds) {
        char one[32];
        std::snprintf(one, sizeof one, "%s%.2f", text.empty() ? "" : " ", s);
        text += one;
    }
    return text;
}

// ---------------------------------------------------------------------------------------------------
// Files

std::size_t CountLines(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// ---------------------------------------------------------------------------------------------------
// Processes and windows

struct Process {
    PROCESS_INFORMATION info{};
    Clock::time_point started;
};

Process Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder) {
    Process process;
    process.started = Clock::now();
    if (!StartProcess(process.info, program, arguments, folder))
        throw Failure("cannot start " + Utf8(program));
    return process;
}

HWND ChildOf(HWND parent, const wchar_t* className) {
    const std::vector<HWND> found = ChildrenOf(parent, className);
    return found.empty() ? nullptr : found.front();
}

// Seconds from the process's start until its window of that class is shown, looked for every `poll`.
// Every look asks Wine's server, which the program needs too: a long wait looks seldom.
double WaitForShown(const Process& process, const wchar_t* className, HWND* window,
                    std::chrono::milliseconds poll = 5ms) {
    HWND found = nullptr;
    const bool shown = WaitUntil(
        [&] {
            return (found = ShownWindowOf(process.info.dwProcessId, className)) || ProcessEnded(process.info);
        },
        kStepTimeout, poll);
    const double seconds = SecondsSince(process.started);
    if (!shown || !found) throw Failure("no " + Utf8(className) + " window was shown");
    if (window) *window = found;
    return seconds;
}

void CloseAndWait(Process& process, HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    ProcessExitCode(process.info, 30s);
    EndProcess(process.info, 1);
}

// ---------------------------------------------------------------------------------------------------
// Repair: the program against the batch file

// The stand-in in the system's place for the benchmark's duration, the system's own put back after.
class StandInRegsvr {
public:
    explicit StandInRegsvr(const std::wstring& standIn) : places_(RegsvrPlacesInPrefix()) {
        const std::string failed = PutStandIn(standIn, places_);
        if (!failed.empty()) throw Failure(failed);
    }
    ~StandInRegsvr() { PutSystemRegsvrBack(places_); }
    StandInRegsvr(const StandInRegsvr&) = delete;
    StandInRegsvr& operator=(const StandInRegsvr&) = delete;
    const std::wstring& Path() const { return places_.system; }

private:
    RegsvrPlaces places_;
};

struct RepairSetup {
    std::wstring root = L"C:\\bench\\repair";
    std::wstring program, shared, log, batch, floorList;
    std::wstring batchRefusals;  // one line for each registration the batch file's start could not start
    int entries = 0;

    std::wstring SystemBase() const { return shared + L"\\System"; }
    static std::wstring Name(int i) {
        wchar_t name[32];
        swprintf(name, 32, L"comp%04d.dll", i);
        return name;
    }
    static const wchar_t* Folder(int i) {
        static const wchar_t* const folders[] = {L"ado", L"msadc", L"ole db"};
        return folders[i % 3];
    }
    std::wstring Source(int i) const { return root + L"\\xp\\" + Name(i); }
    std::wstring Destination(int i) const { return SystemBase() + L"\\" + Folder(i) + L"\\" + Name(i); }
};

// The program with an "xp" and a "w7" folder of the same list and files (so the Windows version Wine
// reports does not matter), and the batch file a user would write for the same work.
RepairSetup LayOutRepair(const std::wstring& program, const std::wstring& regsvr, int entries) {
    RepairSetup setup;
    setup.entries = entries;
    RemoveTree(setup.root);
    MakeDirectories(setup.root);
    setup.program = setup.root + L"\\MdacRepair.exe";
    CopyOrFail(program, setup.program);
    setup.shared = setup.root + L"\\common";
    setup.log = setup.root + L"\\regsvr32.log";

    std::wstring list = L"; 组件与目标\r\n[文件列表]\r\n";
    for (int i = 0; i < entries; ++i) {
        list += RepairSetup::Name(i) + L"=路径\\" + RepairSetup::Folder(i) + L"\\" + RepairSetup::Name(i) +
                L"\r\n";
    }
    for (const wchar_t* version : {L"xp", L"w7"}) {
        const std::wstring folder = setup.root + L"\\" + version;
        MakeDirectories(folder);
        WriteBytes(folder + L"\\文件列表.ini", CodePage936(list));
        for (int i = 0; i < entries; ++i) {
            // A small component: 4 KB, its own name in its first line.
            std::string bytes = "component " + Utf8(RepairSetup::Name(i)) + "\r\n";
            bytes.resize(4096, '.');
            WriteBytes(folder + L"\\" + RepairSetup::Name(i), bytes);
        }
    }

    setup.batchRefusals = setup.root + L"\\batch-refused.txt";
    // The batch file: make the folders, then for each file copy it unless it is there and start its
    // registration without waiting, as the program does.
    std::wstring batch = L"@echo off\r\n";
    for (const wchar_t* folder : {L"ado", L"msadc", L"ole db"}) {
        const std::wstring path = setup.SystemBase() + L"\\" + folder;
        batch += L"if not exist \"" + path + L"\" mkdir \"" + path + L"\"\r\n";
    }
    for (int i = 0; i < entries; ++i) {
        const std::wstring from = setup.Source(i), to = setup.Destination(i);
        batch += L"if not exist \"" + to + L"\" copy \"" + from + L"\" \"" + to + L"\" >nul\r\n";
        batch += L"start \"\" \"" + regsvr + L"\" /s \"" + to + L"\"\r\n";
        // start's exit code says whether it started the registration; tested on a line of its own, since
        // Wine's cmd ran a "||" branch after a start that had succeeded.
        batch += L"if errorlevel 1 echo " + RepairSetup::Name(i) + L">>\"" + setup.batchRefusals + L"\"\r\n";
    }
    setup.batch = setup.root + L"\\baseline.bat";
    WriteBytes(setup.batch, CodePage936(batch));

    // The floor loop's list: each file's source and destination, as the program derives them.
    std::wstring floor;
    for (int i = 0; i < entries; ++i) floor += setup.Source(i) + L"|" + setup.Destination(i) + L"\r\n";
    setup.floorList = setup.root + L"\\floor.txt";
    WriteBytes(setup.floorList, CodePage936(floor));
    return setup;
}

void ClearDestinations(const RepairSetup& setup) {
    RemoveTree(setup.shared);
    MakeDirectories(setup.shared);
    DeleteFileW(setup.log.c_str());
    DeleteFileW(setup.batchRefusals.c_str());
}

std::size_t CopiedFiles(const RepairSetup& setup) {
    std::size_t copied = 0;
    for (int i = 0; i < setup.entries; ++i) copied += IsFile(setup.Destination(i));
    return copied;
}

struct Turn {
    double done = 0;           // the completion message shown, or the batch file finished
    double registered = 0;     // every registration started was logged
    std::size_t refused = 0;   // registrations the system would not start
    std::size_t unlogged = 0;  // registrations started whose line never came
};

// Waits for every registration started to have logged its line, so the next turn starts on a quiet
// machine. A line that never comes is counted, not fatal: the figures are printed all the same.
void WaitForRegistrations(const RepairSetup& setup, Clock::time_point since, Turn& turn) {
    const std::size_t want = static_cast<std::size_t>(setup.entries) - turn.refused;
    WaitUntil([&] { return CountLines(setup.log) >= want; }, kStepTimeout, 50ms);
    turn.registered = SecondsSince(since);
    const std::size_t logged = CountLines(setup.log);
    turn.unlogged = logged < want ? want - logged : 0;
}

Turn RunProgram(const RepairSetup& setup) {
    ClearDestinations(setup);
    Process process = Start(setup.program, L"", setup.root);
    HWND form = nullptr;
    WaitForShown(process, L"TForm1", &form);
    // Pressed at once, as a user who does not wait for the countdown.
    const HWND button = ChildOf(form, L"Button");
    if (!button) throw Failure("the main window has no button");
    PostMessageW(button, BM_CLICK, 0, 0);
    HWND message = nullptr;
    Turn turn;
    turn.done = WaitForShown(process, L"TMessageForm", &message, 100ms);
    const HWND text = ChildOf(message, L"Static");
    const std::wstring shown = text ? TextOf(text) : L"";
    // The program names the registrations the system would not start under a heading of their own.
    turn.refused = NotStartedCount(shown);
    if (shown.rfind(L"修复完毕", 0) != 0 || (shown != L"修复完毕" && turn.refused == 0))
        throw Failure("the message is not \"修复完毕\": " + Utf8(shown.substr(0, 200)));
    if (CopiedFiles(setup) != static_cast<std::size_t>(setup.entries))
        throw Failure("the program copied " + std::to_string(CopiedFiles(setup)) + " files");
    WaitForRegistrations(setup, process.started, turn);
    const HWND ok = ChildOf(message, L"Button");
    if (ok) PostMessageW(ok, BM_CLICK, 0, 0);
    ProcessExitCode(process.info, 30s);
    EndProcess(process.info, 1);
    return turn;
}

Turn RunBatch(const RepairSetup& setup) {
    ClearDestinations(setup);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    Process process = Start(std::wstring(system) + L"\\cmd.exe", L"/c \"" + setup.batch + L"\"", setup.root);
    if (!ProcessExitCode(process.info, 600s)) throw Failure("the batch file hangs");
    Turn turn;
    turn.done = SecondsSince(process.started);
    EndProcess(process.info);
    if (CopiedFiles(setup) != static_cast<std::size_t>(setup.entries))
        throw Failure("the batch file copied " + std::to_string(CopiedFiles(setup)) + " files");
    turn.refused = CountLines(setup.batchRefusals);
    WaitForRegistrations(setup, process.started, turn);
    return turn;
}

// The floor loop from start to exit, alone or with its progress bar.
Turn RunFloor(const RepairSetup& setup, const std::wstring& floorLoop, bool progress) {
    ClearDestinations(setup);
    // The loop only copies and starts: the three folders are there, as the program makes them first.
    for (int i = 0; i < 3; ++i) MakeDirectories(setup.SystemBase() + L"\\" + RepairSetup::Folder(i));
    Process process =
        Start(floorLoop, L"\"" + setup.floorList + L"\"" + (progress ? L" --progress" : L""), setup.root);
    if (WaitForSingleObject(process.info.hProcess, 600000) != WAIT_OBJECT_0)
        throw Failure("the floor loop hangs");
    Turn turn;
    turn.done = SecondsSince(process.started);
    DWORD notStarted = 0;
    GetExitCodeProcess(process.info.hProcess, &notStarted);
    EndProcess(process.info);
    if (CopiedFiles(setup) != static_cast<std::size_t>(setup.entries))
        throw Failure("the floor loop copied " + std::to_string(CopiedFiles(setup)) + " files");
    if (notStarted == 255) throw Failure("the floor loop did not read its list");
    turn.refused = notStarted;
    WaitForRegistrations(setup, process.started, turn);
    return turn;
}

int BenchRepair(const std::wstring& program, const std::wstring& standIn, const std::wstring& probe,
                const std::wstring& floorLoop, int entries, int repetitions) {
    StandInRegsvr regsvr(standIn);
    const RepairSetup setup = LayOutRepair(program, regsvr.Path(), entries);
    // The stand-in logs each registration it is started for, and is started by both sides alike.
    SetEnvironmentVariableW(L"E2E_REGSVR_LOG", setup.log.c_str());
    SetEnvironmentVariableW(L"E2E_REGSVR_SLEEP_MS", nullptr);
    SetEnvironmentVariableW(L"CommonProgramFiles", setup.shared.c_str());
    SetEnvironmentVariableW(L"CommonProgramFiles(x86)", setup.shared.c_str());
    Say("repair: " + std::to_string(entries) + " files of 4 KB, regsvr32 = the e2e stand-in at " +
        Utf8(regsvr.Path()) + " (logs its command line, registers nothing)");

    // Each side's figures over its turns, and its registrations that the system refused to start and
    // those started whose line never came, all turns. A turn that lost a line waited out the whole
    // timeout for it: it is left out of that side's figures and counted as lost.
    struct Side {
        explicit Side(const char* sideName) : name(sideName) {}
        const char* name;
        std::vector<double> done, registered;
        std::size_t refused = 0, unlogged = 0, lost = 0;
        void Add(const Turn& turn) {
            refused += turn.refused;
            unlogged += turn.unlogged;
            if (turn.unlogged > 0) {
                ++lost;
                return;
            }
            done.push_back(turn.done);
            registered.push_back(turn.registered);
        }
    };
    Side mdac("program"), bar("floor with the progress bar"), bare("bare floor"), batch("batch file");
    Side* const sides[] = {&mdac, &bar, &bare, &batch};
    for (int r = 0; r < repetitions; ++r) {
        const Turn p = RunProgram(setup);
        const Turn withBar = RunFloor(setup, floorLoop, true), without = RunFloor(setup, floorLoop, false);
        const Turn b = RunBatch(setup);
        const Turn* turns[] = {&p, &withBar, &without, &b};
        std::string shortOf;
        for (int side = 0; side < 4; ++side) {
            sides[side]->Add(*turns[side]);
            if (turns[side]->refused + turns[side]->unlogged > 0)
                shortOf += std::string(shortOf.empty() ? "" : ", ") + sides[side]->name + " " +
                           std::to_string(turns[side]->refused) + " refused, " +
                           std::to_string(turns[side]->unlogged) + " unlogged" +
                           (turns[side]->unlogged > 0 ? " (turn lost)" : "");
        }
        Say("  turn " + std::to_string(r + 1) + ": MdacRepair.exe " + Figures({p.done}) +
            " s, floor with the progress bar " + Figures({withBar.done}) + " s, bare floor " +
            Figures({without.done}) + " s, batch file " + Figures({b.done}) + " s" +
            (shortOf.empty() ? "" : " (" + shortOf + ")"));
    }
    char line[256];
    Say("repair, median of the turns kept (seconds):");
    std::snprintf(line, sizeof line, "  %-44s %8.2f   (all registrations logged: %.2f)",
                  "MdacRepair.exe: start to \"修复完毕\"", Median(mdac.done), Median(mdac.registered));
    Say(line);
    std::snprintf(line, sizeof line, "  %-44s %8.2f   (all registrations logged: %.2f)",
                  "batch file under cmd: start to end", Median(batch.done), Median(batch.registered));
    Say(line);
    std::snprintf(line, sizeof line, "  %-44s %8.2f", "floor: the loop with a shown progress bar",
                  Median(bar.done));
    Say(line);
    std::snprintf(line, sizeof line, "  %-44s %8.2f", "floor: the bare loop (copy, hidden start)",
                  Median(bare.done));
    Say(line);
    for (const Side* other : {&bar, &bare, &batch}) {
        const std::string label = std::string("ratio program / ") + other->name;
        if (mdac.done.empty() || other->done.empty()) {
            std::snprintf(line, sizeof line, "  %-44s %8s", label.c_str(), "-");
        } else {
            std::snprintf(line, sizeof line, "  %-44s %8.2f", label.c_str(),
                          Median(mdac.done) / Median(other->done));
        }
        Say(line);
    }
    Say("  all turns kept, program: " + Figures(mdac.done) + "; floor with the progress bar: " +
        Figures(bar.done) + "; bare floor: " + Figures(bare.done) + "; batch file: " + Figures(batch.done));
    const std::size_t starts = static_cast<std::size_t>(entries) * static_cast<std::size_t>(repetitions);
    Say("registrations of " + std::to_string(starts) +
        " per side that the system refused to start (the program names them in its message), those "
        "started that never logged their line, and the turns of " +
        std::to_string(repetitions) + " lost to such a line (left out of the figures above):");
    for (const Side* side : sides) {
        std::snprintf(line, sizeof line, "  %-44s %8zu refused %8zu unlogged %4zu turns lost", side->name,
                      side->refused, side->unlogged, side->lost);
        Say(line);
    }

    // Where the program's time goes: its operations one kind at a time, with the same stand-in in place.
    const std::wstring report = setup.root + L"\\probe.txt";
    DeleteFileW(report.c_str());
    SetEnvironmentVariableW(L"E2E_REGSVR_LOG", (setup.root + L"\\probe-regsvr32.log").c_str());
    Process probeRun = Start(probe, L"\"" + setup.root + L"\" \"" + report + L"\"", setup.root);
    ProcessExitCode(probeRun.info, 600s);
    EndProcess(probeRun.info);
    Say("where MdacRepair.exe's time goes, each kind of operation alone (OperationsProbe.exe, 32-bit):");
    std::string lines = ReadBytes(report);
    if (lines.empty()) lines = "  (the probe wrote no report)\n";
    std::fputs(lines.c_str(), stdout);
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// Start-up: the program against the empty window

int BenchStartup(const std::wstring& program, const std::wstring& floor, const std::wstring& manifestFloor,
                 int repetitions) {
    const std::wstring root = L"C:\\bench\\startup";
    RemoveTree(root);
    MakeDirectories(root);
    // No file lists beside it: the window is closed long before its countdown ends.
    const std::wstring programCopy = root + L"\\MdacRepair.exe", floorCopy = root + L"\\EmptyWindow.exe",
                       manifestCopy = root + L"\\EmptyWindowManifest.exe";
    CopyOrFail(program, programCopy);
    CopyOrFail(floor, floorCopy);
    CopyOrFail(manifestFloor, manifestCopy);

    std::vector<double> programShown, floorShown, manifestShown;
    for (int r = 0; r < repetitions; ++r) {
        HWND window = nullptr;
        Process p = Start(programCopy, L"", root);
        programShown.push_back(WaitForShown(p, L"TForm1", &window));
        CloseAndWait(p, window);
        Process f = Start(floorCopy, L"", root);
        floorShown.push_back(WaitForShown(f, L"TEmptyWindow", &window));
        CloseAndWait(f, window);
        Process m = Start(manifestCopy, L"", root);
        manifestShown.push_back(WaitForShown(m, L"TEmptyWindow", &window));
        CloseAndWait(m, window);
    }
    char line[256];
    Say("start-up to the main window shown, median of " + std::to_string(repetitions) + " (seconds):");
    std::snprintf(line, sizeof line, "  %-44s %8.3f", "MdacRepair.exe", Median(programShown));
    Say(line);
    std::snprintf(line, sizeof line, "  %-44s %8.3f", "EmptyWindow.exe (the floor)", Median(floorShown));
    Say(line);
    std::snprintf(line, sizeof line, "  %-44s %8.3f", "EmptyWindowManifest.exe (with the program's manifest)",
                  Median(manifestShown));
    Say(line);
    std::snprintf(line, sizeof line, "  %-44s %8.2f", "ratio program / floor",
                  Median(programShown) / Median(floorShown));
    Say(line);
    std::snprintf(line, sizeof line, "  %-44s %8.2f", "ratio program / floor with the manifest",
                  Median(programShown) / Median(manifestShown));
    Say(line);
    Say("  all turns, program: " + Figures(programShown) + "; floor: " + Figures(floorShown) +
        "; floor with the manifest: " + Figures(manifestShown));
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// The check: where one run's time goes

double Seconds(const FILETIME& from, const FILETIME& to) {
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(to) - ticks(from)) / 1e7;
}

struct Lifetime {
    FILETIME created{}, ended{};
};

Lifetime LifetimeOf(HANDLE process) {
    Lifetime life;
    FILETIME kernel, user;
    if (!GetProcessTimes(process, &life.created, &life.ended, &kernel, &user))
        throw Failure("no times for a process");
    return life;
}

// The processes of `image` (a file name) that `parent` started and that are not yet in `children`, opened
// at once so that their times outlive them. Wine starts programs of its own for a process too (the
// desktop's, for one), which live on.
void OpenNewChildren(DWORD parent, const std::wstring& image,
                     std::vector<std::pair<DWORD, HANDLE>>& children) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != parent || lstrcmpiW(entry.szExeFile, image.c_str()) != 0 ||
            std::any_of(children.begin(), children.end(),
                        [&](const auto& child) { return child.first == entry.th32ProcessID; })) {
            continue;
        }
        if (const HANDLE child =
                OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            children.emplace_back(entry.th32ProcessID, child);
        }
    }
    CloseHandle(snapshot);
}

int BenchCheck(const std::wstring& check, int repetitions) {
    const std::wstring folder = check.substr(0, check.rfind(L'\\'));
    const std::wstring report = folder + L"\\bench-report.txt";
    const std::wstring image = check.substr(check.rfind(L'\\') + 1);  // the probe child is the check again
    // The same program alone in a folder: no list, so it stops after its start and the system's facts
    // (exit code 2), the part of the facts that does not depend on the package.
    const std::wstring alone = L"C:\\bench\\check-alone";
    RemoveTree(alone);
    MakeDirectories(alone);
    CopyOrFail(check, alone + L"\\" + image);
    std::vector<double> whole, before, probe, after, noList;
    std::size_t childCount = 0;
    for (int r = 0; r < repetitions; ++r) {
        Process a = Start(alone + L"\\" + image, L"/report \"" + alone + L"\\report.txt\"", alone);
        const std::optional<DWORD> aloneCode = ProcessExitCode(a.info, kStepTimeout);
        if (aloneCode != 2u) throw Failure("the check without a list did not end with exit code 2");
        const Lifetime aloneLife = LifetimeOf(a.info.hProcess);
        EndProcess(a.info, 1);
        noList.push_back(Seconds(aloneLife.created, aloneLife.ended));

        Process p = Start(check, L"/report \"" + report + L"\"", folder);
        std::vector<std::pair<DWORD, HANDLE>> children;
        // Every look asks Wine's server, which the check needs too: five looks a second.
        WaitUntil(
            [&] {
                OpenNewChildren(p.info.dwProcessId, image, children);
                return ProcessEnded(p.info);
            },
            kStepTimeout, 200ms);
        const std::optional<DWORD> code = ProcessExitCode(p.info, 0ms);
        for (const auto& [id, child] : children) WaitForSingleObject(child, 30000);
        const Lifetime own = LifetimeOf(p.info.hProcess);
        EndProcess(p.info, 1);
        if (!code || *code != 0) {
            throw Failure("the check ended with exit code " + (code ? std::to_string(*code) : "none") +
                          ", not 0: this is not a prefix whose every entry is repaired (see " + Utf8(report) +
                          ")");
        }
        if (children.empty()) throw Failure("the check's probe child was not seen");
        double probing = 0;
        FILETIME firstStart = own.ended, lastEnd = own.created;
        for (const auto& [id, child] : children) {
            const Lifetime life = LifetimeOf(child);
            probing += Seconds(life.created, life.ended);
            if (CompareFileTime(&life.created, &firstStart) < 0) firstStart = life.created;
            if (CompareFileTime(&life.ended, &lastEnd) > 0) lastEnd = life.ended;
            CloseHandle(child);
        }
        childCount = std::max(childCount, children.size());
        whole.push_back(Seconds(own.created, own.ended));
        before.push_back(Seconds(own.created, firstStart));
        probe.push_back(probing);
        after.push_back(Seconds(lastEnd, own.ended));
    }
    char line[256];
    Say("one /report run of the check, every entry ok, median of " + std::to_string(repetitions) +
        " (seconds; " + std::to_string(childCount) + " probe child" + (childCount == 1 ? "" : "ren") + "):");
    const std::pair<const char*, const std::vector<double>*> rows[] = {
        {"start to exit", &whole},
        {"  start to the probe child's start (facts)", &before},
        {"    the same program with no list: start to exit", &noList},
        {"  the probe child, start to end (load, create)", &probe},
        {"  the child's end to exit (the report)", &after},
    };
    for (const auto& [label, values] : rows) {
        std::snprintf(line, sizeof line, "  %-48s %8.2f   all turns: %s", label, Median(*values),
                      Figures(*values).c_str());
        Say(line);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        const std::wstring mode = argc > 1 ? argv[1] : L"";
        if (mode == L"repair" && argc == 8) {
            return BenchRepair(WindowsPath(argv[2]), WindowsPath(argv[3]), WindowsPath(argv[4]),
                               WindowsPath(argv[5]), _wtoi(argv[6]), _wtoi(argv[7]));
        }
        if (mode == L"startup" && argc == 6) {
            return BenchStartup(WindowsPath(argv[2]), WindowsPath(argv[3]), WindowsPath(argv[4]),
                                _wtoi(argv[5]));
        }
        if (mode == L"check" && argc == 4) return BenchCheck(WindowsPath(argv[2]), _wtoi(argv[3]));
        Say("usage: bench_driver repair <MdacRepair.exe> <regsvr32 stand-in.exe> <OperationsProbe.exe> "
            "<FloorLoop.exe> <entries> <repetitions>\n"
            "       bench_driver startup <MdacRepair.exe> <EmptyWindow.exe> <EmptyWindowManifest.exe> "
            "<repetitions>\n"
            "       bench_driver check <MdacCheck.exe> <repetitions>");
        return 2;
    } catch (const Failure& failure) {
        Say(std::string("bench: ") + failure.what());
        return 1;
    }
}
