// Drives the real MdacRepair.exe under Wine through one named scenario and checks what a user and the
// machine would see: the window, its countdown, the completion message, the error box, the copied files,
// the registrations started and the exit code.
//
//   e2e_driver <scenario> <MdacRepair.exe> <regsvr32 stand-in.exe>
//   e2e_driver check_window <MdacCheck.exe> <regsvr32 stand-in.exe>   (the companion check's window)
//   e2e_driver --install-regsvr <regsvr32 stand-in.exe>    (fixture: put the stand-in in place)
//   e2e_driver --restore-regsvr                             (fixture: put the system's regsvr32 back)
//
// Each scenario lays out its own folder C:\e2e\<scenario>\ with the program and its "xp" and "w7"
// folders, gives the program its own shared folder and registration log, and so runs beside the others.
// A 64-bit program: it starts at once under Wine, while the 32-bit program under test takes most of a
// minute, so every wait here is generous and every countdown is timed from the window's appearance.
#include "check/ReportTexts.h"
#include "tools/Outside.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace outside;
using namespace std::chrono_literals;

// How long the 32-bit program may take to show its window (about 45 s alone, more beside other tests).
constexpr auto kStartTimeout = 300s;
// How long a step inside the running program may take (a run, a dialog, an exit).
constexpr auto kStepTimeout = 60s;

constexpr wchar_t kFormClass[] = L"TForm1";
constexpr wchar_t kFormCaption[] = L"mdac修复工具";
constexpr wchar_t kMessageClass[] = L"TMessageForm";
constexpr wchar_t kErrorBoxClass[] = L"#32770";
constexpr wchar_t kTitle[] = L"Mdacrepair";

// ---------------------------------------------------------------------------------------------------
// Reporting

// Shows control characters, so a CR LF in a message is visible in the report.
std::string Shown(const std::wstring& text) {
    std::wstring shown;
    for (wchar_t c : text) {
        if (c == L'\r') {
            shown += L"\\r";
        } else if (c == L'\n') {
            shown += L"\\n";
        } else {
            shown += c;
        }
    }
    return "\"" + Utf8(shown) + "\"";
}

int failures = 0;

// A check that the scenario can go on after; a failed one is counted and reported at the end.
bool Expect(bool holds, const std::string& what) {
    Say((holds ? "  ok    " : "  FAIL  ") + what);
    if (!holds) ++failures;
    return holds;
}

// A check the rest of the scenario depends on.
void Require(bool holds, const std::string& what) {
    if (!Expect(holds, what)) throw Failure(what);
}

std::string Seconds(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
    return buffer;
}

// ---------------------------------------------------------------------------------------------------
// The stand-in regsvr32, put in place and taken away by the suite's fixtures.

int InstallStandIn(const std::wstring& standIn) {
    const RegsvrPlaces places = RegsvrPlacesInPrefix();
    const std::string failed = PutStandIn(standIn, places);
    if (!failed.empty()) {
        Say(failed);
        return 1;
    }
    Say("stand-in regsvr32 installed at " + Utf8(places.system) + "; the system's one kept as " +
        Utf8(places.aside));
    return 0;
}

int RestoreStandIn() {
    const RegsvrPlaces places = RegsvrPlacesInPrefix();
    if (!IsFile(places.aside)) {
        Say("nothing to restore: " + Utf8(places.aside) + " is absent");
        return 0;
    }
    if (!PutSystemRegsvrBack(places)) {
        Say("cannot put the system's regsvr32 back at " + Utf8(places.system));
        return 1;
    }
    Say("the system's regsvr32 is back at " + Utf8(places.system));
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// Windows of the program

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 10000, &result);
    return static_cast<LRESULT>(result);
}

HWND OneChild(HWND parent, const std::wstring& className, const std::string& name) {
    const std::vector<HWND> found = ChildrenOf(parent, className);
    Require(found.size() == 1, name + " is the one " + Utf8(className) + " control (found " +
                                   std::to_string(found.size()) + ")");
    return found.front();
}

// A control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void Press(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

void PressKey(HWND window, WPARAM key) {
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    PostMessageW(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageW(window, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
}

// The window the program's thread gives the keyboard to.
HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// ---------------------------------------------------------------------------------------------------
// Screen captures. Wine keeps each window's pixels in the process that draws it, so a GDI copy of the
// screen from here comes out blank; the X server holds the real picture, and ImageMagick's "import"
// (a Unix program, which Wine starts like any other) takes it from there.

struct Capture {
    int width = 0, height = 0;
    std::string rgb;  // 3 bytes a pixel, top row first

    int Brightness(int x, int y) const {
        const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
        return static_cast<unsigned char>(rgb[at]) + static_cast<unsigned char>(rgb[at + 1]) +
               static_cast<unsigned char>(rgb[at + 2]);
    }
};

std::string UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unixPath = toUnix(path.c_str());
    if (!unixPath) return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Starts a Unix program. Wine gives no handle to wait on for one, so callers wait for its output.
bool StartUnix(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = program.substr(program.find_last_of(L'\\') + 1) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    return true;
}

// Reads a binary PPM ("P6", maximum 255) as ImageMagick writes it.
Capture ReadPpm(const std::string& bytes) {
    Capture capture;
    std::size_t at = 0;
    std::vector<long> fields;
    while (fields.size() < 4 && at < bytes.size()) {
        while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
        const std::size_t begin = at;
        while (at < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
        const std::string field = bytes.substr(begin, at - begin);
        fields.push_back(fields.empty() ? (field == "P6" ? 6 : -1) : std::atol(field.c_str()));
    }
    ++at;  // the one blank after the header
    if (fields.size() < 4 || fields[0] != 6 || fields[3] != 255) return capture;
    const std::size_t size = static_cast<std::size_t>(fields[1]) * fields[2] * 3;
    if (bytes.size() < at + size) return capture;
    capture.width = static_cast<int>(fields[1]);
    capture.height = static_cast<int>(fields[2]);
    capture.rgb = bytes.substr(at, size);
    return capture;
}

// Takes the screen's `area` into <file>.ppm (read back here) and <file>.png (to look at).
Capture CaptureScreen(const RECT& area, const std::wstring& file) {
    const std::string png = UnixPath(file + L".png"), ppm = UnixPath(file + L".ppm");
    const std::wstring crop = std::to_wstring(area.right - area.left) + L"x" +
                              std::to_wstring(area.bottom - area.top) + L"+" + std::to_wstring(area.left) +
                              L"+" + std::to_wstring(area.top);
    Capture capture;
    if (ppm.empty() || !StartUnix(L"Z:\\usr\\bin\\import", L"-window root -crop " + crop +
                                                               L" +repage -depth 8 ppm:" + FromUtf8(ppm))) {
        return capture;
    }
    // Complete once the file holds every pixel its header announces.
    WaitUntil([&] { return !(capture = ReadPpm(ReadBytes(file + L".ppm"))).rgb.empty(); }, 30s, 100ms);
    if (!capture.rgb.empty()) StartUnix(L"Z:\\usr\\bin\\convert", FromUtf8(ppm) + L" " + FromUtf8(png));
    return capture;
}

// Pixels within `part` clearly darker than its top left corner: the strokes of drawn text.
int InkPixels(const Capture& capture, const RECT& part) {
    if (capture.rgb.empty() || part.left < 0 || part.top < 0 || part.left >= capture.width ||
        part.top >= capture.height) {
        return 0;
    }
    const int background = capture.Brightness(part.left, part.top);
    int ink = 0;
    for (int y = std::max<LONG>(part.top, 0); y < std::min<LONG>(part.bottom, capture.height); ++y) {
        for (int x = std::max<LONG>(part.left, 0); x < std::min<LONG>(part.right, capture.width); ++x) {
            if (capture.Brightness(x, y) + 150 < background) ++ink;
        }
    }
    return ink;
}

RECT ScreenRectOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// ---------------------------------------------------------------------------------------------------
// The package a scenario gives the program: file lists and component files

struct Entry {
    std::wstring key;        // file name in the version folder, as the list names it
    std::wstring value;      // destination, "路径" standing for the shared folder's "System"
    std::wstring underBase;  // the destination below "<shared folder>\System"
};

const std::vector<Entry> kXpEntries = {
    {L"msado15.dll", L"路径\\ado\\msado15.dll", L"\\ado\\msado15.dll"},
    {L"msadce.dll", L"路径\\msadc\\msadce.dll", L"\\msadc\\msadce.dll"},
    {L"oledb32.dll", L"路径\\ole db\\oledb32.dll", L"\\ole db\\oledb32.dll"},
    // Double-byte names all the way: a folder in the key, a file name in the destination.
    {L"组件\\数据源.dll", L"路径\\ole db\\数据源.dll", L"\\ole db\\数据源.dll"},
};
const std::vector<Entry> kW7Entries = {
    {L"msado60.tlb", L"路径\\ado\\msado60.tlb", L"\\ado\\msado60.tlb"},
    {L"msadcf.dll", L"路径\\msadc\\msadcf.dll", L"\\msadc\\msadcf.dll"},
    {L"msdasql.dll", L"路径\\ole db\\msdasql.dll", L"\\ole db\\msdasql.dll"},
};

// For the prefix's own shared folder, which already holds Wine's msado15.dll, oledb32.dll and others.
const std::vector<Entry> kPrefixEntries = {
    {L"e2e_ado.dll", L"路径\\ado\\e2e_ado.dll", L"\\ado\\e2e_ado.dll"},
    {L"e2e_msadc.dll", L"路径\\msadc\\e2e_msadc.dll", L"\\msadc\\e2e_msadc.dll"},
    {L"e2e_数据源.dll", L"路径\\ole db\\e2e_数据源.dll", L"\\ole db\\e2e_数据源.dll"},
};

enum class ListKind { Full, EmptySection, Missing };

std::string ComponentBytes(const std::wstring& folder, const Entry& entry) {
    return "component " + Utf8(folder) + "\\" + Utf8(entry.key) + " shipped with the program\r\n";
}

std::string ListBytes(const std::vector<Entry>& entries) {
    std::wstring text = L"; 组件与目标\r\n[其他]\r\nx=y\r\n[文件列表]\r\n";
    for (const Entry& entry : entries) text += entry.key + L"=" + entry.value + L"\r\n";
    return CodePage936(text);
}

void LayOutFolder(const std::wstring& root, const std::wstring& folder, const std::vector<Entry>& entries,
                  ListKind kind, const std::vector<std::wstring>& leftOut) {
    const std::wstring base = root + folder + L"\\";
    MakeDirectories(base.substr(0, base.size() - 1));
    if (kind == ListKind::Missing) return;
    WriteBytes(base + L"文件列表.ini", ListBytes(kind == ListKind::Full ? entries : std::vector<Entry>{}));
    if (kind == ListKind::EmptySection) return;
    for (const Entry& entry : entries) {
        if (std::find(leftOut.begin(), leftOut.end(), entry.key) == leftOut.end()) {
            WriteBytes(base + entry.key, ComponentBytes(folder, entry));
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// One start of the program

struct Setup {
    std::wstring version = L"winxp";  // what Wine reports to the program
    int showCommand = -1;             // STARTUPINFO show command; -1: none given
    bool ownSharedFolder = true;      // false: the prefix's own "Common Files"
    ListKind xp = ListKind::Full, w7 = ListKind::Full;
    std::vector<Entry> xpEntries = kXpEntries;
    std::vector<std::wstring> leftOut;      // listed but not shipped
    std::vector<std::wstring> preExisting;  // keys whose destination is already there
    std::wstring regsvrSleepMs;             // stand-in's delay before it logs
    bool decoys = false;                    // a regsvr32.exe beside the program and in its current folder
    bool fromOwnFolder = false;             // the program's own folder is its current one, as from Explorer
    bool deepPath = false;                  // the program in a folder whose path is past 260 bytes
    std::vector<std::wstring> planted;      // marker libraries beside the program, Wine told to prefer them
    std::wstring redirection;               // ".local" (a folder) or ".manifest" after the program's name
    std::wstring tag;                       // TagAndList: the tag Label1 shows for that version
    bool w7List = false;                    // TagAndList: the tag takes the "w7" list, not the "xp" one

    // The name the copy under test is given, before ".<scenario>.exe".
    std::wstring programName = L"MdacRepair";
};

struct Run {
    std::wstring name;
    Setup setup;
    std::wstring root;        // C:\e2e\<name>
    std::wstring program;     // the copy under test
    std::wstring shared;      // COMMONPROGRAMFILES as the program sees it
    std::wstring log;         // the stand-in's log
    std::wstring workFolder;  // the program's current folder
    PROCESS_INFORMATION process{};
    HWND form = nullptr, label = nullptr, button = nullptr, progress = nullptr;
    Clock::time_point formSeen;

    std::wstring SystemBase() const { return shared + L"\\System"; }
    std::wstring Destination(const Entry& entry) const { return SystemBase() + entry.underBase; }
    std::wstring Source(const std::wstring& folder, const Entry& entry) const {
        return root + L"\\" + folder + L"\\" + entry.key;
    }
};

// The environment block for the program: ours with the given values set (an empty value removes one).
std::wstring EnvironmentBlock(const std::map<std::wstring, std::wstring>& changes) {
    auto less = [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    };
    std::map<std::wstring, std::wstring, decltype(less)> variables(less);
    const wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
        const std::wstring entry = p;
        const std::size_t equals = entry.find(L'=', 1);
        if (equals != std::wstring::npos) variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    FreeEnvironmentStringsW(const_cast<wchar_t*>(strings));
    for (const auto& [name, value] : changes) {
        if (value.empty()) {
            variables.erase(name);
        } else {
            variables[name] = value;
        }
    }
    std::wstring block;
    for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
    block += L'\0';
    return block;
}

void SetReportedVersion(const std::wstring& programName, const std::wstring& version) {
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + programName;
    const LSTATUS status =
        RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                        static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) throw Failure("cannot set the Windows version Wine reports");
}

Run Prepare(const std::wstring& name, const Setup& setup, const std::wstring& programUnderTest,
            const std::wstring& standIn) {
    Run run;
    run.name = name;
    run.setup = setup;
    run.root = L"C:\\e2e\\" + name;
    RemoveTree(run.root);
    Require(!IsDirectory(run.root), "the scenario folder " + Utf8(run.root) + " starts empty");
    MakeDirectories(run.root);

    // Wine takes the version it reports from the program file's name, so every scenario names its copy
    // apart; the title still reads "Mdacrepair", everything from the first "." being cut off.
    run.program = run.root + L"\\" + setup.programName + L"." + name + L".exe";
    CopyOrFail(programUnderTest, run.program);
    SetReportedVersion(setup.programName + L"." + name + L".exe", setup.version);

    LayOutFolder(run.root + L"\\", L"xp", setup.xpEntries, setup.xp, setup.leftOut);
    LayOutFolder(run.root + L"\\", L"w7", kW7Entries, setup.w7, setup.leftOut);
    if (setup.deepPath) {
        // Deep enough that the path cut at 260 bytes ends inside the program's folder's name, in a folder
        // whose own package (a decoy) a program reading the cut path would copy and register.
        std::wstring above = run.root;
        while (CodePage936(above).size() < 232) above += L"\\深层文件夹";
        LayOutFolder(above + L"\\", L"xp", setup.xpEntries, ListKind::Full, {});
        const std::wstring deep = above + L"\\程序所在的文件夹名字很长很长很长\\MdacRepair." + name + L".exe";
        CopyOrFail(run.program, deep);
        run.program = deep;
        const std::size_t bytes = CodePage936(deep).size(), cut = CodePage936(above).size() + 1;
        Require(
            bytes > 260 && cut < 260 && cut + 30 > 260 && cut + 15 < 260,
            "the program's path is " + std::to_string(bytes) + " bytes, cut at 260 it leads to the decoy");
    }

    // A 32-bit program's COMMONPROGRAMFILES is taken from CommonProgramFiles(x86) as it starts.
    run.shared =
        setup.ownSharedFolder ? run.root + L"\\common" : EnvironmentValue(L"CommonProgramFiles(x86)");
    Require(!run.shared.empty(), "the shared folder is known: " + Utf8(run.shared));
    if (setup.ownSharedFolder) {
        MakeDirectories(run.shared);
    } else {
        for (const Entry& entry : setup.xpEntries)
            DeleteFileW(run.Destination(entry).c_str());  // an earlier run's
    }
    for (const std::wstring& key : setup.preExisting) {
        for (const Entry& entry : kXpEntries) {
            if (entry.key == key) WriteBytes(run.Destination(entry), "an older copy already in place\r\n");
        }
    }

    run.workFolder = setup.fromOwnFolder ? run.root : run.root + L"\\work";
    MakeDirectories(run.workFolder);
    // The marker library (Marker.cpp) is built beside the stand-in. Wine keeps its own copy of a system
    // library unless told to prefer a file of that name: told so for this program alone, as a user would
    // set WINEDLLOVERRIDES (which a program started from here would not take from its environment).
    for (const std::wstring& library : setup.planted) {
        CopyOrFail(Parent(standIn) + L"\\e2e_marker.dll", run.root + L"\\" + library);
        const std::wstring key = L"Software\\Wine\\AppDefaults\\MdacRepair." + name + L".exe\\DllOverrides";
        const std::wstring order = L"native,builtin";
        Require(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(),
                                library.substr(0, library.rfind(L'.')).c_str(), REG_SZ, order.c_str(),
                                static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS,
                "Wine is told to prefer the " + Utf8(library) + " beside the program");
    }
    if (setup.redirection == L".local") {
        // A folder the loader of Windows 2000 and XP would take every library from, a marker in it.
        MakeDirectories(run.program + L".local");
        CopyOrFail(Parent(standIn) + L"\\e2e_marker.dll", run.program + L".local\\comctl32.dll");
    } else if (!setup.redirection.empty()) {
        // An external manifest that makes the common controls a file of the program's own, so that the
        // loader would take the planted copy for every window class they make.
        WriteBytes(
            run.program + setup.redirection,
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
            "  <assemblyIdentity type=\"win32\" name=\"MdacRepair.MdacRepair\" version=\"1.0.0.0\"/>\r\n"
            "  <file name=\"comctl32.dll\">\r\n"
            "    <windowClass>Button</windowClass><windowClass>Static</windowClass>\r\n"
            "    <windowClass>msctls_progress32</windowClass>\r\n"
            "  </file>\r\n"
            "</assembly>\r\n");
    }
    if (setup.decoys) {
        CopyOrFail(standIn, run.root + L"\\regsvr32.exe");
        CopyOrFail(standIn, run.workFolder + L"\\regsvr32.exe");
    }

    run.log = run.root + L"\\regsvr32.log";
    const std::wstring installed = SystemWow64Directory() + L"\\regsvr32.exe";
    Require(ReadBytes(installed) == ReadBytes(standIn), "the stand-in regsvr32 is in place at " +
                                                            Utf8(installed) +
                                                            " (the e2e.install fixture puts it there)");
    return run;
}

void Start(Run& run) {
    std::map<std::wstring, std::wstring> changes = {
        {L"E2E_REGSVR_LOG", run.log},
        {L"E2E_REGSVR_SLEEP_MS", run.setup.regsvrSleepMs},
    };
    if (run.setup.ownSharedFolder) {
        changes[L"CommonProgramFiles"] = run.shared;
        changes[L"CommonProgramFiles(x86)"] = run.shared;
    }
    Require(StartProcess(run.process, run.program, L"", run.workFolder, run.setup.showCommand,
                         EnvironmentBlock(changes)),
            "the program starts: " + Utf8(run.program));
    Say("  ..    started, Wine reporting " + Utf8(run.setup.version) + ", waiting for the window");
}

bool Exited(const Run& run) {
    return ProcessEnded(run.process);
}

DWORD ExitCode(const Run& run) {
    DWORD code = 0;
    GetExitCodeProcess(run.process.hProcess, &code);
    return code;
}

// Waits for the main window to exist (shown or not): the timers count from its creation.
void WaitForForm(Run& run) {
    const auto start = Clock::now();
    const bool found = WaitUntil(
        [&] {
            for (HWND w : TopWindowsOf(run.process.dwProcessId, kFormClass)) run.form = w;
            return run.form != nullptr || Exited(run);
        },
        kStartTimeout, 10ms);
    run.formSeen = Clock::now();
    // A program that ended first says how: its exit code tells a start Wine gave up on from our failure.
    const std::string ended = run.form == nullptr && Exited(run)
                                  ? ", the program ended with code " + std::to_string(ExitCode(run))
                                  : "";
    Require(found && run.form != nullptr,
            "a " + Utf8(kFormClass) + " window appears (after " + Seconds(SecondsSince(start)) + ended + ")");
    // The controls are made just after their window.
    WaitUntil(
        [&] {
            return ChildrenOf(run.form, L"Static").size() == 1 &&
                   ChildrenOf(run.form, L"Button").size() == 1 &&
                   ChildrenOf(run.form, L"msctls_progress32").size() == 1;
        },
        kStepTimeout);
    run.label = OneChild(run.form, L"Static", "Label1");
    run.button = OneChild(run.form, L"Button", "Button1");
    run.progress = OneChild(run.form, L"msctls_progress32", "ProgressBar1");
}

HWND WaitForTop(const Run& run, const std::wstring& className, const std::wstring& caption,
                std::chrono::milliseconds timeout = kStepTimeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopWindowsOf(run.process.dwProcessId, className)) {
                if (IsWindowVisible(w) && TextOf(w) == caption) found = w;
            }
            return found != nullptr || Exited(run);
        },
        timeout);
    return found;
}

// The completion message: its text, after checking the dialog's make.
struct MessageDialog {
    HWND window = nullptr, text = nullptr, ok = nullptr;
};

MessageDialog WaitForMessage(const Run& run, std::chrono::milliseconds timeout = kStepTimeout) {
    MessageDialog dialog;
    dialog.window = WaitForTop(run, kMessageClass, kTitle, timeout);
    Require(dialog.window != nullptr,
            "the message dialog (" + Utf8(kMessageClass) + ", caption \"Mdacrepair\") appears");
    dialog.text = OneChild(dialog.window, L"Static", "the message text");
    for (HWND b : ChildrenOf(dialog.window, L"Button")) {
        if (TextOf(b) == L"确定") dialog.ok = b;
    }
    Require(dialog.ok != nullptr, "the message dialog has a \"确定\" button");
    return dialog;
}

std::wstring ErrorBoxText(HWND box) {
    const HWND text = GetDlgItem(box, 0xFFFF);  // a message box's text control
    return text ? TextOf(text) : L"<no text control>";
}

void DismissErrorBox(HWND box) {
    const HWND ok = GetDlgItem(box, IDOK);
    Require(ok != nullptr, "the error box has an OK button");
    Press(ok);
    Require(WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, kStepTimeout),
            "the error box closes on OK");
}

void ExpectExit(const Run& run, DWORD expected, std::chrono::milliseconds timeout = kStepTimeout) {
    const bool ended = WaitUntil([&] { return Exited(run); }, timeout);
    Expect(ended, "the program ends");
    if (ended)
        Expect(ExitCode(run) == expected,
               "exit code " + std::to_string(ExitCode(run)) + " (expected " + std::to_string(expected) + ")");
}

// The stand-in's log: one (regsvr32 path, command line, current folder) per registration started.
struct Registration {
    std::wstring program, commandLine, folder;
};

std::vector<Registration> Registrations(const Run& run) {
    std::vector<Registration> found;
    const std::wstring text = FromUtf8(ReadBytes(run.log));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        const std::size_t tab = line.find(L'\t'), last = line.rfind(L'\t');
        if (tab != last) {
            found.push_back(
                {line.substr(0, tab), line.substr(tab + 1, last - tab - 1), line.substr(last + 1)});
        }
        start = end + 1;
    }
    return found;
}

std::vector<Registration> WaitForRegistrations(const Run& run, std::size_t expected,
                                               std::chrono::seconds timeout) {
    WaitUntil([&] { return Registrations(run).size() >= expected; }, timeout, 100ms);
    Pause(1s);  // room for a stray extra one to show up
    return Registrations(run);
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), towlower);
    return text;
}

// Each entry was registered exactly once, by the command the program builds, with the system's regsvr32,
// in the system's folder: a library it looks for in its current folder is never one beside the program.
void ExpectRegistrations(const Run& run, const std::vector<Entry>& entries,
                         std::chrono::seconds timeout = 60s) {
    const std::vector<Registration> found = WaitForRegistrations(run, entries.size(), timeout);
    Expect(found.size() == entries.size(), std::to_string(found.size()) +
                                               " registrations started (expected " +
                                               std::to_string(entries.size()) + ", one per entry)");
    for (const Entry& entry : entries) {
        const std::wstring command = L"regsvr32 \"" + run.Destination(entry) + L"\" -s";
        const auto count = std::count_if(found.begin(), found.end(),
                                         [&](const Registration& r) { return r.commandLine == command; });
        Expect(count == 1, "registration started once: " + Utf8(command));
    }
    const std::wstring system = Lower(SystemWow64Directory()),
                       system32 = Lower(Parent(system) + L"\\system32");
    for (const Registration& r : found) {
        const std::wstring folder = Lower(Parent(r.program));
        Expect(folder == system || folder == system32,
               "the regsvr32 started is the system's: " + Utf8(r.program));
        std::wstring current = Lower(r.folder);
        if (current.size() > 3 && current.back() == L'\\') current.pop_back();
        Expect(current == system || current == system32,
               "the regsvr32 started runs in the system's folder: " + Utf8(r.folder));
    }
}

void ExpectCopied(const Run& run, const std::wstring& folder, const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        bool exists = false;
        const std::string bytes = ReadBytes(run.Destination(entry), &exists);
        Expect(exists && bytes == ComponentBytes(folder, entry),
               "copied from " + Utf8(folder) + ": " + Utf8(run.Destination(entry)));
    }
}

void ExpectNotCopied(const Run& run, const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        Expect(!IsFile(run.Destination(entry)), "not copied: " + Utf8(run.Destination(entry)));
    }
}

void ExpectSharedFolders(const Run& run) {
    for (const wchar_t* folder : {L"\\ado", L"\\msadc", L"\\ole db"}) {
        Expect(IsDirectory(run.SystemBase() + folder), "folder exists: " + Utf8(run.SystemBase() + folder));
    }
}

// A run that ended before its repair: no folder made, nothing copied, and, after a moment for a late start
// to reach the stand-in's log, no registration.
void ExpectNothingRepaired(const Run& run, std::chrono::milliseconds settle) {
    Expect(!IsDirectory(run.SystemBase()), "no folder made under " + Utf8(run.SystemBase()));
    ExpectNotCopied(run, kXpEntries);
    Pause(settle);
    Expect(Registrations(run).empty(), "no registration started");
}

// The heights of "0" in 宋体 at the design's size on this screen, for the character sets a window may ask
// for. Where 宋体 itself is missing (as under Wine), the system puts another font in its place, and
// which one depends on the character set asked for.
std::vector<int> DesignFontHeights() {
    const HDC screen = GetDC(nullptr);
    const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
    std::vector<int> heights;
    for (const BYTE charset : {ANSI_CHARSET, DEFAULT_CHARSET, GB2312_CHARSET}) {
        const HFONT font =
            CreateFontW(-MulDiv(12, ppi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体");
        const HGDIOBJ old = SelectObject(screen, font);
        SIZE zero{};
        GetTextExtentPoint32W(screen, L"0", 1, &zero);
        SelectObject(screen, old);
        DeleteObject(font);
        heights.push_back(zero.cy);
    }
    ReleaseDC(nullptr, screen);
    std::string shown;
    for (int h : heights) shown += " " + std::to_string(h);
    Say("  ..    screen " + std::to_string(ppi) + " ppi; \"0\" in 宋体 is" + shown +
        " pixels high (ANSI, default, GB2312 character set)");
    return heights;
}

int Scaled(int designed, double scale) {
    return static_cast<int>(designed * scale + 0.5);
}

// The window as designed: caption, client size, controls in place, the version tag in Label1.
void ExpectDesign(const Run& run, const std::wstring& tag) {
    Require(WaitUntil([&] { return IsWindowVisible(run.form) != FALSE; }, kStepTimeout),
            "the window is shown");
    Expect(TextOf(run.form) == kFormCaption, "window caption " + Shown(TextOf(run.form)));
    // The design is made for a font whose "0" is 12 pixels high; with another, every position and size
    // is scaled by its height / 12. The height the window used shows in its width; it must be one that
    // the design's font measures here, and the rest must follow from it.
    RECT client{};
    GetClientRect(run.form, &client);
    const int height = static_cast<int>(client.right * 12.0 / 680 + 0.5);
    const std::vector<int> heights = DesignFontHeights();
    Expect(std::find(heights.begin(), heights.end(), height) != heights.end(),
           "the window is laid out for a font " + std::to_string(height) +
               " pixels high, as 宋体 measures here");
    const double scale = height / 12.0;
    Expect(client.right == Scaled(680, scale) && client.bottom == Scaled(215, scale),
           "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
               " (designed 680x215, scaled by " + std::to_string(height) + "/12)");
    const LONG style = GetWindowLongW(run.form, GWL_STYLE);
    Expect((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) && !(style & WS_THICKFRAME) &&
               !(style & WS_MINIMIZEBOX) && !(style & WS_MAXIMIZEBOX),
           "dialog frame: caption and close box, fixed size, no minimise or maximise box");
    struct Place {
        HWND control;
        const char* name;
        int left, top, width, height;  // width 0: sized to its text
    };
    for (const Place& p :
         {Place{run.label, "Label1", 144, 8, 0, 0}, Place{run.button, "Button1", 264, 128, 161, 49},
          Place{run.progress, "ProgressBar1", 48, 56, 609, 49}}) {
        const RECT r = PlaceOf(p.control);
        const bool placed = r.left == Scaled(p.left, scale) && r.top == Scaled(p.top, scale) &&
                            (p.width == 0 || (r.right - r.left == Scaled(p.width, scale) &&
                                              r.bottom - r.top == Scaled(p.height, scale)));
        Expect(placed, std::string(p.name) + " at " + std::to_string(r.left) + "," + std::to_string(r.top) +
                           " size " + std::to_string(r.right - r.left) + "x" +
                           std::to_string(r.bottom - r.top));
    }
    Expect(TextOf(run.label) == tag,
           "Label1 reads " + Shown(TextOf(run.label)) + " (expected " + Shown(tag) + ")");
}

// What the button showed and when, from the window's appearance until `until` holds.
struct Caption {
    double at;
    std::wstring text;
};

std::vector<Caption> WatchButton(const Run& run, const std::function<bool()>& until,
                                 std::chrono::milliseconds timeout) {
    std::vector<Caption> seen;
    WaitUntil(
        [&] {
            const std::wstring text = TextOf(run.button);
            if (seen.empty() || seen.back().text != text) {
                seen.push_back({SecondsSince(run.formSeen), text});
                Say("  ..    " + Seconds(seen.back().at) + ": Button1 reads " + Shown(text));
            }
            return until();
        },
        timeout, 15ms);
    return seen;
}

bool Saw(const std::vector<Caption>& seen, const std::wstring& text) {
    return std::any_of(seen.begin(), seen.end(), [&](const Caption& c) { return c.text == text; });
}

// Takes a picture of `window` into the scenario's folder and counts the dark pixels of its part `part`.
int ScreenshotInk(const Run& run, HWND window, HWND part, const std::wstring& what) {
    Pause(700ms);  // let the window finish painting
    const RECT area = ScreenRectOf(window);
    const std::wstring file = run.root + L"\\" + what;
    const Capture capture = CaptureScreen(area, file);
    Expect(!capture.rgb.empty(), "screenshot taken: " + Utf8(file) + ".ppm (and .png)");
    RECT inside = ScreenRectOf(part);
    OffsetRect(&inside, -area.left, -area.top);
    return InkPixels(capture, inside);
}

// ---------------------------------------------------------------------------------------------------
// Scenarios

using Body = void (*)(Run&);

// XP: the design, the countdown and the automatic start, then a whole run into a fresh shared folder.
void CountdownAndRun(Run& run) {
    WaitForForm(run);
    // The countdown first, as it happens; the design is looked at once the run is over.
    const auto messageUp = [&] { return !TopWindowsOf(run.process.dwProcessId, kMessageClass).empty(); };
    bool focused = false;
    const std::vector<Caption> seen = WatchButton(
        run,
        [&] {
            focused = focused || FocusOf(run.form) == run.button;
            return messageUp() || Exited(run);
        },
        kStepTimeout);
    Expect(focused, "Button1 held the keyboard focus during the countdown");
    const double started = SecondsSince(run.formSeen);
    Expect(Saw(seen, L"开始修复(3)") && Saw(seen, L"开始修复(2)"),
           "the countdown showed 开始修复(3) and 开始修复(2)");
    const auto at3 =
        std::find_if(seen.begin(), seen.end(), [](const Caption& c) { return c.text == L"开始修复(3)"; });
    Expect(at3 != seen.end() && at3->at > 0.5 && at3->at < 2.0,
           "开始修复(3) came about a second after the window" +
               (at3 != seen.end() ? " (" + Seconds(at3->at) + ")" : std::string()));
    Expect(!Saw(seen, L"开始修复(0)"), "the countdown stopped with the run");
    Expect(started >= 2.5 && started < 10.0,
           "the run started by itself about three seconds in (" + Seconds(started) + ")");

    const MessageDialog dialog = WaitForMessage(run);
    Expect(TextOf(dialog.text) == L"修复完毕", "the message reads " + Shown(TextOf(dialog.text)));
    Expect(!IsWindowEnabled(run.form), "the main window is disabled under the message");
    ExpectDesign(run, L"XP");
    const LRESULT high = Ask(run.progress, PBM_GETRANGE, FALSE), position = Ask(run.progress, PBM_GETPOS);
    const LRESULT last = static_cast<LRESULT>(kXpEntries.size()) - 1;
    Expect(high == last && position == last, "the progress bar stands at its end: position " +
                                                 std::to_string(position) + " of 0.." + std::to_string(high));
    const int labelInk = ScreenshotInk(run, run.form, run.label, L"window");
    Expect(labelInk > 10, "Label1's text is drawn (" + std::to_string(labelInk) + " dark pixels)");
    const int textInk = ScreenshotInk(run, dialog.window, dialog.text, L"message");
    Expect(textInk > 40, "the message text is drawn (" + std::to_string(textInk) + " dark pixels)");
    ExpectSharedFolders(run);
    ExpectCopied(run, L"xp", kXpEntries);
    ExpectNotCopied(run, kW7Entries);
    ExpectRegistrations(run, kXpEntries);

    Press(dialog.ok);
    ExpectExit(run, 0);
}

// W7: Enter at once starts the run at once, with the "w7" list; no second run follows.
void EnterAtOnce(Run& run) {
    WaitForForm(run);
    Require(WaitUntil([&] { return IsWindowVisible(run.form) != FALSE; }, kStepTimeout),
            "the window is shown");
    // A user presses Enter once the window is active and has given Button1 the focus (countdown_xp checks
    // that it does); a key sent before that reaches no button. Should the window not be active yet, the
    // user clicks it first.
    if (!WaitUntil([&] { return FocusOf(run.form) == run.button; }, 500ms)) {
        SetForegroundWindow(run.form);
        WaitUntil([&] { return FocusOf(run.form) == run.button; }, 500ms);
    }
    Expect(FocusOf(run.form) == run.button, "Button1 has the focus");
    // The caption as the key arrives: a tick due now waits behind the key, since the window system hands
    // out timer messages only when no posted message is waiting.
    const std::wstring atPress = TextOf(run.button);
    PressKey(run.button, VK_RETURN);
    const double pressed = SecondsSince(run.formSeen);
    Say("  ..    Enter pressed " + Seconds(pressed) + " after the window appeared, Button1 reading " +
        Shown(atPress));
    // Before the third second, so that the run is the press's and not Timer1's.
    Expect(atPress == L"开始修复" || atPress == L"开始修复(3)" || atPress == L"开始修复(2)",
           "Enter pressed during the countdown, before the automatic start");

    const MessageDialog dialog = WaitForMessage(run);
    Say("  ..    the message is up " + Seconds(SecondsSince(run.formSeen)) + " after the window appeared");
    ExpectDesign(run, L"W7");
    const std::wstring caption = TextOf(run.button);
    Expect(caption == atPress, "Button1 kept the caption it had at the press: " + Shown(caption));
    Expect(TextOf(dialog.text) == L"修复完毕", "the message reads " + Shown(TextOf(dialog.text)));
    ExpectCopied(run, L"w7", kW7Entries);
    ExpectNotCopied(run, kXpEntries);

    // Leave the message up past the automatic start: no second run may begin behind it.
    Pause(4s);
    Expect(TopWindowsOf(run.process.dwProcessId, kMessageClass).size() == 1,
           "still one message dialog after 4 s");
    Expect(TextOf(run.button) == caption, "Button1's caption did not move on: " + Shown(TextOf(run.button)));
    ExpectRegistrations(run, kW7Entries);
    Press(dialog.ok);
    ExpectExit(run, 0);
    Expect(Registrations(run).size() == kW7Entries.size(), "no further registrations after the end");
}

// Vista: closing before the automatic start ends the program with nothing done.
void CloseEarly(Run& run) {
    WaitForForm(run);
    Require(WaitUntil([&] { return IsWindowVisible(run.form) != FALSE; }, kStepTimeout),
            "the window is shown");
    Expect(TextOf(run.form) == kFormCaption, "window caption " + Shown(TextOf(run.form)));
    Expect(TextOf(run.label) == L"Vista", "Label1 reads " + Shown(TextOf(run.label)));
    PostMessageW(run.form, WM_CLOSE, 0, 0);
    Say("  ..    closed " + Seconds(SecondsSince(run.formSeen)) + " after the window appeared");
    ExpectExit(run, 0);
    ExpectNothingRepaired(run, 2s);
}

// Windows 8: an empty tag, the "xp" list, into the prefix's own shared folder.
void Win8IntoPrefix(Run& run) {
    WaitForForm(run);
    ExpectDesign(run, L"");
    const MessageDialog dialog = WaitForMessage(run);
    Expect(TextOf(dialog.text) == L"修复完毕", "the message reads " + Shown(TextOf(dialog.text)));
    ExpectSharedFolders(run);
    ExpectCopied(run, L"xp", kPrefixEntries);
    ExpectRegistrations(run, kPrefixEntries);
    Press(dialog.ok);
    ExpectExit(run, 0);
    for (const Entry& entry : kPrefixEntries) DeleteFileW(run.Destination(entry).c_str());
}

// The tag as each Windows reports its version, and the list that tag takes: pressed at once, a whole run.
void TagAndList(Run& run) {
    WaitForForm(run);
    ExpectDesign(run, run.setup.tag);
    Press(run.button);
    const MessageDialog dialog = WaitForMessage(run);
    Expect(TextOf(dialog.text) == L"修复完毕", "the message reads " + Shown(TextOf(dialog.text)));
    const std::vector<Entry>& taken = run.setup.w7List ? kW7Entries : kXpEntries;
    ExpectCopied(run, run.setup.w7List ? L"w7" : L"xp", taken);
    ExpectNotCopied(run, run.setup.w7List ? kXpEntries : kW7Entries);
    ExpectRegistrations(run, taken);
    Press(dialog.ok);
    ExpectExit(run, 0);
}

// No list (and then an empty one): the error box, the window stays, a second press fails alike.
void EmptyList(Run& run) {
    WaitForForm(run);
    const auto errorBox = [&](int press) {
        const HWND box = WaitForTop(run, kErrorBoxClass, kTitle);
        Require(box != nullptr,
                "press " + std::to_string(press) + ": an error box captioned \"Mdacrepair\" appears");
        const std::wstring text = ErrorBoxText(box);
        Expect(text == L"TProgressBar 属性超界.",
               "press " + std::to_string(press) + ": the box reads " + Shown(text));
        Expect(TopWindowsOf(run.process.dwProcessId, kMessageClass).empty(), "no completion message");
        DismissErrorBox(box);
        Expect(!Exited(run) && IsWindowVisible(run.form), "the window stays open");
        Expect(WaitUntil([&] { return IsWindowEnabled(run.form) != FALSE; }, 10s),
               "the window takes input again");
    };
    // First press: Timer1's, with the list missing altogether.
    errorBox(1);
    // Which countdown caption the run finds depends on how many of Timer2's ticks the program got before
    // Timer1's: one due tick of a timer is one message however late it comes, so a program kept from
    // running for a second or two under load sees only 开始修复(3). What matters here is that the run keeps
    // whichever it was (checked again below); the countdown's own timing is e2e.countdown_xp's, run alone.
    const std::wstring caption = TextOf(run.button);
    Expect(caption == L"开始修复(3)" || caption == L"开始修复(2)" || caption == L"开始修复(1)",
           "Button1 keeps its countdown caption " + Shown(caption));
    ExpectSharedFolders(run);

    // Second press: the user's, with the list there but its section empty.
    WriteBytes(run.root + L"\\xp\\文件列表.ini", ListBytes({}));
    Press(run.button);
    errorBox(2);
    Pause(4s);
    Expect(TopWindowsOf(run.process.dwProcessId, kErrorBoxClass).empty(), "no press of its own follows");
    Expect(TextOf(run.button) == caption, "Button1 still reads " + Shown(TextOf(run.button)));
    Expect(Registrations(run).empty(), "no registration started");
    PostMessageW(run.form, WM_CLOSE, 0, 0);
    ExpectExit(run, 0);
}

// Maximised start; decoy regsvr32.exe beside the program and in its current folder; a stand-in that takes
// its time: the message comes long before any registration has finished, all by the system's regsvr32.
void MaximisedUnawaited(Run& run) {
    WaitForForm(run);
    Require(WaitUntil([&] { return IsWindowVisible(run.form) != FALSE; }, kStepTimeout),
            "the window is shown");
    Expect(IsZoomed(run.form) != FALSE, "the window is maximised");
    const MessageDialog dialog = WaitForMessage(run);
    const auto early = Registrations(run);
    Expect(early.empty(), "the message is up while the registrations still run (" +
                              std::to_string(early.size()) + " logged so far)");
    Expect(TextOf(dialog.text) == L"修复完毕", "the message reads " + Shown(TextOf(dialog.text)));
    Press(dialog.ok);
    ExpectExit(run, 0);
    ExpectCopied(run, L"xp", kXpEntries);
    ExpectRegistrations(run, kXpEntries, 90s);
}

// A minimised start on Windows 7: the window never shows, the automatic run still takes the "w7" list.
void MinimisedW7(Run& run) {
    WaitForForm(run);
    const MessageDialog dialog = WaitForMessage(run);
    Expect(!IsWindowVisible(run.form) || IsIconic(run.form), "the main window was not shown");
    Expect(TextOf(dialog.text) == L"修复完毕", "the message reads " + Shown(TextOf(dialog.text)));
    ExpectCopied(run, L"w7", kW7Entries);
    ExpectNotCopied(run, kXpEntries);
    ExpectRegistrations(run, kW7Entries);
    Press(dialog.ok);
    ExpectExit(run, 0);
}

// A listed file missing from the package and a destination already in place.
void CopyFailures(Run& run) {
    WaitForForm(run);
    Require(WaitUntil([&] { return IsWindowVisible(run.form) != FALSE; }, kStepTimeout),
            "the window is shown");
    PressKey(run.button, VK_SPACE);
    const MessageDialog dialog = WaitForMessage(run);
    const std::wstring caption = TextOf(run.button);
    Expect(caption == L"开始修复" || caption == L"开始修复(3)",
           "Space started the run at once: Button1 reads " + Shown(caption));
    const std::wstring expected = L"修复完毕\r\n以下文件未能复制：\r\nmsadce.dll";
    Expect(TextOf(dialog.text) == expected, "the message reads " + Shown(TextOf(dialog.text)));
    const Entry& kept = kXpEntries[0];
    Expect(ReadBytes(run.Destination(kept)) == "an older copy already in place\r\n",
           "the existing " + Utf8(run.Destination(kept)) + " is left byte for byte");
    Expect(!IsFile(run.Destination(kXpEntries[1])), "the missing file is not at its destination");
    ExpectCopied(run, L"xp", {kXpEntries[2], kXpEntries[3]});
    ExpectRegistrations(run, kXpEntries);  // the uncopied and the kept ones are registered all the same
    Press(dialog.ok);
    ExpectExit(run, 0);
}

// A system that grants no timer: the design cannot be loaded, the start-up failure box tells why and the
// program ends with code 1, having done nothing. The program under test is a build of the whole program
// whose SetTimer is refused (RefusedTimer.cpp).
void TimerRefused(Run& run) {
    const HWND box = WaitForTop(run, kErrorBoxClass, L"应用程序错误", kStartTimeout);
    Require(box != nullptr, "the start-up failure box \"应用程序错误\" appears");
    Expect(GetWindow(box, GW_OWNER) == nullptr, "the box has no owner");
    const std::wstring text = ErrorBoxText(box);
    const std::wstring head = L"异常 EReadError 发生在模块 MdacRepair.timer_refused.exe 中的 ";
    const std::wstring tail = L" 位置.\n读错误 Timer1.OnTimer: 可用的计时器不足.";
    const bool shaped =
        text.size() == head.size() + 8 + tail.size() && text.rfind(head, 0) == 0 &&
        text.compare(head.size() + 8, std::wstring::npos, tail) == 0 &&
        text.substr(head.size(), 8).find_first_not_of(L"0123456789ABCDEF") == std::wstring::npos;
    Expect(shaped, "the box reads " + Shown(text));
    for (HWND form : TopWindowsOf(run.process.dwProcessId, kFormClass)) {
        Expect(!IsWindowVisible(form), "no main window is shown");
    }
    Expect(!Exited(run), "the program waits for the box");
    DismissErrorBox(box);
    ExpectExit(run, 1);
    ExpectNothingRepaired(run, 1s);
}

// Marker libraries beside the program under the names of system libraries that system code loads by name,
// Wine told to prefer them, the program started from its own folder as Explorer starts it: a whole run,
// none of them loaded into the program (a marker writes "<its path>.loaded" when it is), and regsvr32 run
// in the system's folder, not in the program's that it was started from.
void PlantedLibraries(Run& run) {
    TagAndList(run);
    for (const std::wstring& library : run.setup.planted) {
        Expect(!IsFile(run.root + L"\\" + library + L".loaded"),
               "not loaded: the " + Utf8(library) + " beside it");
    }
}

// A program path past 260 bytes in code page 936, a decoy package in the folder above it (where the path
// cut at 260 bytes would lead): the error box says why, nothing is copied or registered, the window stays.
void DeepPath(Run& run) {
    WaitForForm(run);
    Press(run.button);
    // The title still comes from the path cut at 256 bytes: here a part of the program's folder's name.
    const std::wstring cut = FromCodePage936(CodePage936(run.program).substr(0, 255));
    const std::wstring title = cut.substr(cut.rfind(L'\\') + 1);
    const HWND box = WaitForTop(run, kErrorBoxClass, title);
    Require(box != nullptr, "an error box captioned " + Shown(title) + " appears");
    const std::wstring text = ErrorBoxText(box);
    Expect(text == L"程序所在文件夹的路径过长.", "the box reads " + Shown(text));
    Expect(TopWindowsOf(run.process.dwProcessId, kMessageClass).empty(), "no completion message");
    ExpectNotCopied(run, kXpEntries);
    Pause(2s);
    Expect(Registrations(run).empty(), "no registration started");
    DismissErrorBox(box);
    Expect(!Exited(run) && IsWindowVisible(run.form), "the window stays open");
    PostMessageW(run.form, WM_CLOSE, 0, 0);
    ExpectExit(run, 0);
}

// A ".local" folder or an external manifest beside the program, a marker common-controls library beside
// it (and in the folder), Wine told to prefer it: the program refuses to run. Where the system can show a
// box that loads nothing from the program's folder it says why (Wine can), and the program ends with
// code 1: no main window, nothing copied or registered, no marker loaded. An external manifest before
// Vista is the process's own context, where the box could take a library from the program's folder: the
// program ends by itself, no box waiting for a press.
void RedirectionRefused(Run& run) {
    const std::wstring name = run.program.substr(run.program.rfind(L'\\') + 1) + run.setup.redirection;
    const std::wstring& version = run.setup.version;
    const bool boxUnsafe =
        run.setup.redirection == L".manifest" && (version == L"winxp" || version == L"win2003");
    if (boxUnsafe) {
        ExpectExit(run, 1, kStartTimeout);
    } else {
        const HWND box = WaitForTop(run, kErrorBoxClass, kTitle, kStartTimeout);
        Require(box != nullptr, "a box captioned \"Mdacrepair\" appears");
        const std::wstring text = ErrorBoxText(box);
        Expect(text == L"程序所在的文件夹里有 " + name +
                           L"，它会让系统从这个文件夹载入库。为安全起见，程序不运行；请删除它后再运行。",
               "the box reads " + Shown(text));
        Expect(TopWindowsOf(run.process.dwProcessId, kFormClass).empty(), "no main window");
        DismissErrorBox(box);
        ExpectExit(run, 1);
    }
    ExpectNothingRepaired(run, 1s);
    for (const std::wstring& marker : {run.root + L"\\comctl32.dll", run.program + L".local\\comctl32.dll"}) {
        Expect(!IsFile(marker + L".loaded"), "not loaded: " + Utf8(marker));
    }
}

// The companion check's window over the unrepaired package: the report as read-only text, a picture of it,
// and its copy button, which puts that very text on the clipboard. Closed, it ends with exit code 1 (the
// entries are not there).
void CheckWindow(Run& run) {
    const std::wstring caption = FromUtf8(check::texts::kTitle);
    HWND form = nullptr;
    WaitUntil(
        [&] {
            return (form = ShownWindowOf(run.process.dwProcessId, L"TCheckForm")) != nullptr || Exited(run);
        },
        kStartTimeout);
    Require(form != nullptr,
            "the check's window appears" +
                (Exited(run) ? " (it ended with code " + std::to_string(ExitCode(run)) + ")" : ""));
    Expect(TextOf(form) == caption, "its caption reads " + Shown(TextOf(form)));
    WaitUntil(
        [&] { return ChildrenOf(form, L"Edit").size() == 1 && ChildrenOf(form, L"Button").size() == 1; },
        kStepTimeout);
    const HWND memo = OneChild(form, L"Edit", "the report");
    const HWND button = OneChild(form, L"Button", "the copy button");
    Expect(TextOf(button) == FromUtf8(check::texts::kCopyButton),
           "the button reads " + Shown(TextOf(button)));
    const LONG style = GetWindowLongW(memo, GWL_STYLE);
    Expect((style & ES_READONLY) && (style & ES_MULTILINE), "the report is multi-line read-only text");

    const std::wstring report = WholeTextOf(memo);
    Expect(report.rfind(FromUtf8(check::texts::kHeading), 0) == 0 &&
               report.find(L"[1] msado15.dll" + FromUtf8(check::texts::kEntryArrow)) != std::wstring::npos &&
               report.find(FromUtf8(check::texts::kCountsLine)) != std::wstring::npos,
           "the report has its heading, the first entry and the counts (" + std::to_string(report.size()) +
               " characters)");
    Expect(ScreenshotInk(run, form, memo, L"check-window") > 500,
           "the report's text is drawn in the picture");

    // The clipboard is emptied first, so that what it holds afterwards was put there by the button.
    Require(OpenClipboard(nullptr) && EmptyClipboard() && CloseClipboard(), "the clipboard is emptied");
    Press(button);
    std::wstring copied;
    WaitUntil(
        [&] {
            if (!OpenClipboard(nullptr)) return false;
            if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
                    copied = text;
                    GlobalUnlock(data);
                }
            }
            CloseClipboard();
            return !copied.empty();
        },
        kStepTimeout, 100ms);
    Expect(copied == report, "the button puts the report on the clipboard (" + std::to_string(copied.size()) +
                                 " characters, the report has " + std::to_string(report.size()) + ")");

    PostMessageW(form, WM_CLOSE, 0, 0);
    ExpectExit(run, 1);
}

struct Scenario {
    const char* name;
    Setup setup;
    Body body;
};

std::vector<Scenario> Scenarios() {
    Setup xp;
    Setup w7;
    w7.version = L"win7";
    Setup vista;
    vista.version = L"vista";
    Setup win8;
    win8.version = L"win8";
    win8.ownSharedFolder = false;
    win8.xpEntries = kPrefixEntries;
    Setup noList;
    noList.xp = ListKind::Missing;
    Setup maximised;
    maximised.showCommand = SW_SHOWMAXIMIZED;
    maximised.decoys = true;
    maximised.regsvrSleepMs = L"20000";
    Setup minimised = w7;
    minimised.showCommand = SW_SHOWMINNOACTIVE;
    Setup failures;
    failures.leftOut = {L"msadce.dll"};
    failures.preExisting = {L"msado15.dll"};
    Setup deep;
    deep.deepPath = true;
    Setup planted;
    planted.tag = L"XP";
    planted.fromOwnFolder = true;
    planted.planted = {L"uxtheme.dll", L"ole32.dll",   L"msimg32.dll",  L"comctl32.dll", L"dwmapi.dll",
                       L"oleacc.dll",  L"userenv.dll", L"setupapi.dll", L"propsys.dll"};
    Setup local;
    local.planted = {L"comctl32.dll"};
    local.redirection = L".local";
    Setup manifest = local;
    manifest.redirection = L".manifest";
    Setup manifestW7 = manifest;
    manifestW7.version = L"win7";
    Setup check;
    check.programName = L"MdacCheck";
    const auto tagged = [](const wchar_t* version, const wchar_t* tag) {
        Setup setup;
        setup.version = version;
        setup.tag = tag;
        return setup;
    };
    return {
        {"countdown_xp", xp, CountdownAndRun},
        {"enter_w7", w7, EnterAtOnce},
        {"close_vista", vista, CloseEarly},
        {"win8_prefix", win8, Win8IntoPrefix},
        {"empty_list", noList, EmptyList},
        {"maximised_unawaited", maximised, MaximisedUnawaited},
        {"minimised_w7", minimised, MinimisedW7},
        {"copy_failures", failures, CopyFailures},
        {"timer_refused", xp, TimerRefused},
        {"tag_win2003", tagged(L"win2003", L"2003"), TagAndList},
        {"tag_win2k", tagged(L"win2k", L"2000"), TagAndList},
        {"tag_win10", tagged(L"win10", L""), TagAndList},
        {"planted_libraries", planted, PlantedLibraries},
        {"deep_path", deep, DeepPath},
        {"local_folder", local, RedirectionRefused},
        {"own_manifest", manifest, RedirectionRefused},
        {"own_manifest_w7", manifestW7, RedirectionRefused},
        {"check_window", check, CheckWindow},
    };
}

int RunScenario(const std::string& name, const std::wstring& program, const std::wstring& standIn) {
    for (const Scenario& scenario : Scenarios()) {
        if (name != scenario.name) continue;
        Say("scenario " + name);
        Run run;
        try {
            run = Prepare(FromUtf8(name), scenario.setup, program, standIn);
            Start(run);
            scenario.body(run);
        } catch (const Failure& failure) {
            Say("  stopped: " + std::string(failure.what()));
            if (failures == 0) ++failures;
        }
        EndProcess(run.process);
        Say(failures == 0 ? "PASSED " + name
                          : "FAILED " + name + ": " + std::to_string(failures) + " check(s)");
        return failures == 0 ? 0 : 1;
    }
    Say("no scenario named " + name);
    return 2;
}

// ---------------------------------------------------------------------------------------------------
// Hostile file lists. Each list of the table gets a package of its own under C:\e2e\<case>\ and one start
// of the program, pressed at once. What the program must do follows from the system's reading of the
// list (key names into 16384 bytes, each value into 2048) and the run's rules: every source copied to its
// destination unless one is there already, a registration started for every entry, the completion
// message naming the keys that were not copied, exit code 0; an empty reading ends in the error box. A
// picture of drive C: before and after the run shows that nothing was written but the named
// destinations, the three shared folders and the stand-in's log.

constexpr std::size_t kKeyNamesBuffer = 0x4000;
constexpr std::size_t kValueBuffer = 2048;

std::wstring FullPath(const std::wstring& path) {
    if (path.empty()) return {};
    std::wstring full(32768, L'\0');
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(length < full.size() ? length : 0);
    return Lower(full);
}

// The whole text of a window, however long (WM_GETTEXT of its length).
struct Package {
    std::wstring root;    // C:\e2e\<case>: everything of the case lies below it
    std::wstring folder;  // the program's folder, with "xp" in it
    std::wstring shared;  // COMMONPROGRAMFILES
    std::wstring List() const { return folder + L"\\xp\\文件列表.ini"; }
    std::wstring SystemBase() const { return shared + L"\\System"; }
    // A component file beside the list, named by its key (code page 936 bytes).
    void Ship(const std::string& key, const std::string& bytes) const {
        WriteBytes(folder + L"\\xp\\" + FromCodePage936(key), bytes);
    }
};

// What the system's profile reader makes of the list: key names, then each value.
std::vector<std::string> PlatformKeys(const std::wstring& list) {
    std::vector<char> names(kKeyNamesBuffer + 2, '\0');
    const DWORD got =
        GetPrivateProfileStringA(CodePage936(L"文件列表").c_str(), nullptr, "", names.data(),
                                 static_cast<DWORD>(kKeyNamesBuffer), CodePage936(list).c_str());
    std::vector<std::string> keys;
    for (std::size_t at = 0; at < std::min<std::size_t>(got, kKeyNamesBuffer);) {
        const std::string name(names.data() + at);
        if (name.empty()) break;
        keys.push_back(name);
        at += name.size() + 1;
    }
    return keys;
}

std::string PlatformValue(const std::wstring& list, const std::string& key) {
    std::vector<char> value(kValueBuffer + 1, '\0');
    GetPrivateProfileStringA(CodePage936(L"文件列表").c_str(), key.c_str(), "", value.data(),
                             static_cast<DWORD>(kValueBuffer), CodePage936(list).c_str());
    return value.data();
}

// Every "路径" replaced by the shared folder's "System", stepping by the characters of code page 936.
std::string WithSystemBase(const std::string& value, const std::string& systemBase) {
    const std::string placeholder = CodePage936(L"路径");
    std::string result;
    for (std::size_t at = 0; at < value.size();) {
        if (value.compare(at, placeholder.size(), placeholder) == 0) {
            result += systemBase;
            at += placeholder.size();
            continue;
        }
        const auto byte = static_cast<unsigned char>(value[at]);
        const std::size_t width = (byte >= 0x81 && byte <= 0xFE && at + 1 < value.size()) ? 2 : 1;
        result += value.substr(at, width);
        at += width;
    }
    return result;
}

struct Action {
    std::string key;  // code page 936
    std::wstring source, destination;
    bool copied = false;  // the copy is to succeed
    bool kept = false;    // the destination is there already: left alone, not a failure
    std::wstring Command() const { return L"regsvr32 \"" + destination + L"\" -s"; }
};

struct Prediction {
    std::vector<Action> actions;
    // The completion message as far as the copies decide it; empty when the run is to end in the error
    // box. Which registrations the system refuses to start is not known beforehand: the message goes on
    // with NotStartedLines of those.
    std::wstring message;
};

// The completion message names this many files of each of its lists and counts the rest.
constexpr std::size_t kNamedFailures = 20;

// One list of the completion message: its heading, the first kNamedFailures keys one a line, and a line
// counting the others.
std::wstring NamedList(const std::wstring& heading, const std::vector<std::wstring>& keys,
                       const std::wstring& rest) {
    if (keys.empty()) return L"";
    std::wstring lines = L"\r\n" + heading;
    for (std::size_t i = 0; i < keys.size() && i < kNamedFailures; ++i) lines += L"\r\n" + keys[i];
    if (keys.size() > kNamedFailures)
        lines +=
            L"\r\n" + std::wstring(kMoreFiles) + std::to_wstring(keys.size() - kNamedFailures) + L" " + rest;
    return lines;
}

std::wstring NotStartedLines(const std::vector<std::wstring>& keys) {
    return NamedList(kNotStartedHeading, keys, L"个文件的注册程序未能启动");
}

Prediction Predict(const Package& package) {
    const std::string systemBase = CodePage936(package.SystemBase());
    std::vector<std::wstring> folders = {FullPath(package.SystemBase())};
    for (const wchar_t* folder : {L"\\ado", L"\\msadc", L"\\ole db"})
        folders.push_back(FullPath(package.SystemBase() + folder));
    Prediction prediction;
    std::vector<std::wstring> written, uncopied;
    for (const std::string& key : PlatformKeys(package.List())) {
        Action action;
        action.key = key;
        action.source = package.folder + L"\\xp\\" + FromCodePage936(key);
        action.destination = FromCodePage936(WithSystemBase(PlatformValue(package.List(), key), systemBase));
        const std::wstring target = FullPath(action.destination);
        const bool fits = action.source.size() < MAX_PATH && action.destination.size() < MAX_PATH;
        const bool folderThere =
            !target.empty() && (IsDirectory(Parent(target)) ||
                                std::find(folders.begin(), folders.end(), Parent(target)) != folders.end());
        const bool there = std::find(written.begin(), written.end(), target) != written.end() ||
                           (!target.empty() && IsFile(target));
        if (fits && IsFile(action.source) && folderThere) {
            action.kept = there;
            action.copied = !there && !IsDirectory(target);
        }
        if (action.copied) written.push_back(target);
        if (!action.copied && !action.kept) uncopied.push_back(FromCodePage936(key));
        prediction.actions.push_back(action);
    }
    if (!prediction.actions.empty())
        prediction.message = L"修复完毕" + NamedList(L"以下文件未能复制：", uncopied, L"个文件未能复制");
    return prediction;
}

// A picture of the files and folders below a folder: size and time of each file, by lower-case path.
struct Stamp {
    bool folder = false;
    ULONGLONG size = 0, written = 0;
    bool operator==(const Stamp& other) const {
        return folder == other.folder && size == other.size && written == other.written;
    }
};
using Picture = std::map<std::wstring, Stamp>;

// Folders whose contents change without the program: the other scenarios' packages (they run beside this
// one) and Wine's own temporary files.
bool Churning(const std::wstring& lowerPath, const std::wstring& ownRoot) {
    if (lowerPath.rfind(L"c:\\e2e\\", 0) == 0) {
        return lowerPath != ownRoot && lowerPath.rfind(ownRoot + L"\\", 0) != 0 && lowerPath != L"c:\\e2e";
    }
    return lowerPath == L"c:\\windows\\temp" ||
           lowerPath.find(L"\\appdata\\local\\temp") != std::wstring::npos;
}

void TakePicture(const std::wstring& folder, const std::wstring& ownRoot, Picture& picture) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name, lower = Lower(path);
        // Links lead out of the drive (Wine links the user's folders to the home folder).
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || Churning(lower, ownRoot)) continue;
        Stamp stamp;
        stamp.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!stamp.folder) {
            stamp.size = (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            stamp.written = (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                            found.ftLastWriteTime.dwLowDateTime;
        }
        picture[lower] = stamp;
        if (stamp.folder) TakePicture(path, ownRoot, picture);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

Picture PictureOfDriveC(const std::wstring& ownRoot) {
    Picture picture;
    TakePicture(L"C:", Lower(ownRoot), picture);
    return picture;
}

// Everything added, removed or changed between the pictures, less what the run may write.
void ExpectOnlyWritten(const Picture& before, const Picture& after,
                       const std::vector<std::wstring>& allowed) {
    std::vector<std::wstring> stray;
    for (const auto& [path, stamp] : after) {
        const auto old = before.find(path);
        if (old != before.end() && (old->second == stamp || stamp.folder)) continue;
        if (std::find(allowed.begin(), allowed.end(), path) == allowed.end()) stray.push_back(path);
    }
    for (const auto& [path, stamp] : before) {
        if (!after.count(path)) stray.push_back(path + L" (removed)");
    }
    std::string shown;
    for (std::size_t i = 0; i < stray.size() && i < 10; ++i) shown += "\n          " + Utf8(stray[i]);
    Expect(stray.empty(), "nothing else on drive C: was written, changed or removed (" +
                              std::to_string(before.size()) + " entries compared)" + shown);
}

struct HostileCase {
    const char* name;
    // Writes the list and the components; may move the program's folder and the shared folder.
    std::function<void(Package&)> layOut;
    // The case's own checks, after the common ones.
    std::function<void(const Package&, const Prediction&, const Run&)> check;
    // Where the completion message's dialog must lie: wholly on this screen, and for a message whose size
    // does not follow the screen's, also within one of 1024 x 768.
    enum class Dialog { unchecked, onScreen, onSmallScreen } dialog = Dialog::unchecked;
};

// Writes a list, and makes this process's profile reader forget what it read of the file before.
void WriteList(const Package& package, const std::string& bytes) {
    WriteBytes(package.List(), bytes);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, package.List().c_str());
}

void Ship(const Package& package, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) package.Ship(key, "component " + key + "\r\n");
}

std::string Section(const std::string& lines) {
    return CodePage936(L"[文件列表]\r\n") + lines;
}

std::string Line(const std::wstring& key, const std::wstring& value) {
    return CodePage936(key + L"=" + value + L"\r\n");
}

std::wstring FreeDriveLetter() {
    const DWORD used = GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
        if (!(used & (1u << (letter - L'A')))) return std::wstring(1, letter);
    }
    return L"B";
}

std::vector<HostileCase> HostileCases() {
    const std::vector<std::wstring> plainKeys = {L"msado15.dll", L"组件\\数据源.dll"};
    const std::wstring plainLines =
        L"[文件列表]\r\nmsado15.dll=路径\\ado\\msado15.dll\r\n组件\\数据源.dll=路径\\ole db\\数据源.dll\r\n";
    const auto shipPlain = [plainKeys](const Package& p) {
        for (const std::wstring& key : plainKeys) Ship(p, {CodePage936(key)});
    };
    const auto both = [](const Prediction& prediction) {
        return prediction.actions.size() == 2 && prediction.actions[0].copied && prediction.actions[1].copied;
    };
    return {
        {"utf16_bom",
         [=](Package& p) {
             std::string bytes = "\xFF\xFE";
             for (wchar_t c : plainLines) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
             WriteList(p, bytes);
             shipPlain(p);
         },
         [=](const Package&, const Prediction& prediction, const Run&) {
             Expect(both(prediction), "the system reads a UTF-16 list by its byte-order mark: both entries");
         }},
        {"utf8_bom",
         [=](Package& p) {
             WriteList(p, "\xEF\xBB\xBF" + Utf8(plainLines));
             shipPlain(p);
         },
         [=](const Package&, const Prediction& prediction, const Run&) {
             // Whether the system decodes it is the system's business; the program follows its reading.
             Say("  ..    the system reads the UTF-8 list as " + std::to_string(prediction.actions.size()) +
                 " entries");
             Expect(both(prediction) || prediction.actions.empty(), "read whole or not at all");
         }},
        {"nul_bytes",
         [=](Package& p) {
             std::string lines = Section("");
             lines += std::string("a.dll\0junk.dll=", 15) + CodePage936(L"路径\\ado\\a.dll\r\n");
             lines += std::string("b.dll=", 6) + CodePage936(L"路径\\ado\\b") + std::string("\0.dll\r\n", 7);
             lines += std::string("\0c.dll=", 7) + CodePage936(L"路径\\ado\\c.dll\r\n");
             lines += Line(L"d.dll", L"路径\\msadc\\d.dll");
             WriteList(p, lines);
             Ship(p, {"a.dll", "b.dll", "c.dll", "d.dll"});
         },
         [=](const Package&, const Prediction& prediction, const Run&) {
             std::string keys;
             for (const Action& a : prediction.actions) keys += " [" + a.key + "]";
             Say("  ..    the system reads the keys" + keys);
             Expect(!prediction.actions.empty(), "the lines around the NUL bytes are read");
         }},
        {"long_line",
         [=](Package& p) {
             std::string lines = Section(Line(L"msado15.dll", L"路径\\ado\\msado15.dll"));
             lines += std::string(1 << 20, 'L') + CodePage936(L"=路径\\ado\\long.dll\r\n");
             lines += Line(L"after.dll", L"路径\\ado\\after.dll");
             WriteList(p, lines);
             Ship(p, {"msado15.dll", "after.dll"});
         },
         [=](const Package&, const Prediction& prediction, const Run&) {
             const bool cut = prediction.actions.size() == 2 && prediction.actions[1].key.size() > 16000 &&
                              prediction.actions[1].key.find_first_not_of('L') == std::string::npos;
             Expect(cut, "the 1 MB key is cut by the key-name buffer and the line after it is not read");
             Expect(cut && prediction.actions[1].destination.empty(),
                    "the cut key has no value: an empty destination, not copied, still registered");
         },
         HostileCase::Dialog::onScreen},
        {"many_keys",
         [=](Package& p) {
             // 20,000 names of 200 bytes: about 80 fit the key-name buffer, the last of them cut short.
             std::string lines = Section("");
             std::vector<std::string> shipped;
             for (int i = 0; i < 20000; ++i) {
                 char prefix[16];
                 std::snprintf(prefix, sizeof prefix, "k%05d_", i);
                 std::string key = prefix + std::string(200 - 7 - 4, 'x') + ".dll";
                 lines += key + CodePage936(L"=路径\\ado\\") + prefix + "\r\n";
                 if (i < 100) shipped.push_back(key);
             }
             WriteList(p, lines);
             // A key of the cut name's own, later in the file, gives the cut name a value after all.
             const std::vector<std::string> keys = PlatformKeys(p.List());
             if (!keys.empty() && keys.back().size() < 200) {
                 lines += keys.back() + CodePage936(L"=路径\\msadc\\cut.dll\r\n");
                 WriteList(p, lines);
                 shipped.push_back(keys.back());
             }
             Ship(p, shipped);
         },
         [=](const Package& p, const Prediction& prediction, const Run&) {
             const std::size_t n = prediction.actions.size();
             Say("  ..    " + std::to_string(n) + " of 20000 key names fit the buffer");
             Expect(n > 50 && n < 100, "only the names that fit the key-name buffer are taken");
             Expect(n > 0 && prediction.actions.back().key.size() < 200 &&
                        prediction.actions.back().destination == p.SystemBase() + L"\\msadc\\cut.dll" &&
                        prediction.actions.back().copied,
                    "the cut name is used as a key and reads the value of the key of that name");
         }},
        {"climbing_keys",
         [=](Package& p) {
             std::string lines = Section("");
             lines += Line(L"..\\outside.dll", L"路径\\ado\\outside.dll");
             lines += Line(L"..\\..\\..\\..\\..\\..\\windows\\win.ini", L"路径\\ado\\win.ini");
             lines += Line(L"inside.dll", L"路径\\ado\\..\\..\\climbed.dll");
             lines += Line(L"..\\..\\..\\nowhere\\gone.dll", L"路径\\ado\\gone.dll");
             WriteList(p, lines);
             WriteBytes(p.folder + L"\\outside.dll", "component beside the version folder\r\n");
             Ship(p, {"inside.dll"});
         },
         [=](const Package& p, const Prediction&, const Run&) {
             Expect(ReadBytes(p.SystemBase() + L"\\ado\\outside.dll") ==
                        "component beside the version folder\r\n",
                    "a key climbing out of the version folder is used as written");
             Expect(ReadBytes(p.SystemBase() + L"\\ado\\win.ini") == ReadBytes(L"C:\\windows\\win.ini"),
                    "a key climbing to the drive's root copies that file");
             Expect(IsFile(p.shared + L"\\climbed.dll"),
                    "a destination climbing out of its folder is used as written");
         }},
        {"missing_drive",
         [=](Package& p) {
             const std::wstring drive = FreeDriveLetter();
             std::string lines = Section("");
             lines += Line(L"a.dll", drive + L":\\mdac\\a.dll");
             lines += Line(L"b.dll", drive + L":\\b.dll");
             lines += Line(L"c.dll", L"路径\\ado\\c.dll");
             WriteList(p, lines);
             Ship(p, {"a.dll", "b.dll", "c.dll"});
         },
         [=](const Package&, const Prediction& prediction, const Run&) {
             Expect(prediction.actions.size() == 3 && !prediction.actions[0].copied &&
                        !prediction.actions[1].copied && prediction.actions[2].copied,
                    "the two entries on a drive that does not exist are not copied, the third is");
         }},
        {"value_limit",
         [=](Package& p) {
             const std::string head = CodePage936(L"路径\\ado\\");
             std::string lines = Section("");
             for (std::size_t size : {kValueBuffer - 1, kValueBuffer}) {
                 const std::string value = head + std::string(size - head.size() - 4, 'v') + ".dll";
                 lines += "v" + std::to_string(size) + ".dll=" + value + "\r\n";
             }
             WriteList(p, lines);
             Ship(p, {"v2047.dll", "v2048.dll"});
         },
         [=](const Package& p, const Prediction& prediction, const Run& run) {
             const std::wstring base = p.SystemBase() + L"\\ado\\";
             const bool whole =
                 prediction.actions.size() == 2 &&
                 prediction.actions[0].destination == base + std::wstring(2047 - 13, L'v') + L".dll" &&
                 prediction.actions[1].destination == base + std::wstring(2048 - 13, L'v') + L".dl";
             Expect(whole, "a value of 2047 bytes is read whole, one of 2048 bytes loses its last byte");
             const std::vector<Registration> found = Registrations(run);
             Expect(std::any_of(found.begin(), found.end(),
                                [](const Registration& r) {
                                    return r.commandLine.size() > 2000 &&
                                           r.commandLine.compare(r.commandLine.size() - 7, 7, L".dl\" -s") ==
                                               0;
                                }),
                    "the registration of the cut value names the cut path");
         }},
        {"trail_5c",
         [=](Package& p) {
             // 淺 is 9C 5C in code page 936: its trail byte is a "\" to a byte-wise search. The program's
             // folder ends in it. The shared folder keeps a plain name: Wine's GetEnvironmentVariableA
             // cuts a value with double-byte characters to its length in characters (the platform
             // tests make folders with such names through the program's own platform layer).
             p.folder = p.root + L"\\程序淺";
             std::string lines = Section("");
             lines += Line(L"淺.dll", L"路径\\ado\\淺.dll");
             lines += Line(L"淺\\淺淺.dll", L"路径\\msadc\\淺淺.dll");
             lines += Line(L"數淺", L"路径\\ole db\\數淺");
             lines += Line(L"表淺路径.dll", L"路径\\ado\\表淺.dll");  // "路径" in a key stands for nothing
             WriteList(p, lines);
             Ship(p, {CodePage936(L"淺.dll"), CodePage936(L"淺\\淺淺.dll"), CodePage936(L"數淺"),
                      CodePage936(L"表淺路径.dll")});
         },
         [=](const Package& p, const Prediction& prediction, const Run&) {
             Expect(prediction.actions.size() == 4 &&
                        std::all_of(prediction.actions.begin(), prediction.actions.end(),
                                    [](const Action& a) { return a.copied; }),
                    "every double-byte entry is copied");
             Expect(!prediction.actions.empty() && prediction.actions[0].source == p.folder + L"\\xp\\淺.dll",
                    "the list and its files are found beside a program whose folder ends in a trail byte 5C");
         }},
        {"eighty_missing",
         [=](Package& p) {
             // A version folder that lost most of its files: the message must still fit a small screen.
             std::string lines = Section("");
             for (int i = 1; i <= 81; ++i) {
                 const std::wstring name = L"缺失" + std::to_wstring(i) + L".dll";
                 lines += Line(name, L"路径\\ado\\" + name);
             }
             WriteList(p, lines);
             Ship(p, {CodePage936(L"缺失81.dll")});
         },
         [=](const Package&, const Prediction& prediction, const Run&) {
             Expect(prediction.actions.size() == 81 && prediction.actions.back().copied,
                    "81 entries, the last of them shipped");
             const std::wstring tail = L"\r\n缺失20.dll\r\n……另有 60 个文件未能复制";
             Expect(prediction.message.size() > tail.size() &&
                        prediction.message.compare(prediction.message.size() - tail.size(), tail.size(),
                                                   tail) == 0,
                    "twenty of the 80 failures are named, the other 60 counted");
         },
         HostileCase::Dialog::onSmallScreen},
    };
}

int RunHostile(const HostileCase& hostile, const std::wstring& programUnderTest,
               const std::wstring& standIn) {
    const std::wstring name = FromUtf8(hostile.name);
    Say("hostile list " + std::string(hostile.name));
    Run run;
    try {
        Package package;
        package.root = L"C:\\e2e\\hostile_" + name;
        package.folder = package.root;
        package.shared = package.root + L"\\common";
        RemoveTree(package.root);
        Require(!IsDirectory(package.root), "the case folder " + Utf8(package.root) + " starts empty");
        MakeDirectories(package.root + L"\\xp");
        hostile.layOut(package);
        MakeDirectories(package.folder + L"\\xp");
        MakeDirectories(package.shared);

        run.name = L"hostile_" + name;
        run.root = package.root;
        run.program = package.folder + L"\\MdacRepair.hostile_" + name + L".exe";
        run.shared = package.shared;
        run.log = package.root + L"\\regsvr32.log";
        run.workFolder = package.root + L"\\work";
        MakeDirectories(run.workFolder);
        CopyOrFail(programUnderTest, run.program);
        SetReportedVersion(L"MdacRepair.hostile_" + name + L".exe", L"winxp");
        const std::wstring installed = SystemWow64Directory() + L"\\regsvr32.exe";
        Require(ReadBytes(installed) == ReadBytes(standIn),
                "the stand-in regsvr32 is in place (e2e.install)");

        const Prediction prediction = Predict(package);
        std::map<std::wstring, std::string> sources;
        for (const Action& action : prediction.actions) {
            if (action.copied) sources[action.destination] = ReadBytes(action.source);
        }
        const Picture before = PictureOfDriveC(package.root);

        Start(run);
        WaitForForm(run);
        Require(WaitUntil([&] { return IsWindowVisible(run.form) != FALSE; }, kStepTimeout),
                "the window is shown");
        Press(run.button);
        const auto shown = [&](const wchar_t* className) {
            for (HWND w : TopWindowsOf(run.process.dwProcessId, className)) {
                if (IsWindowVisible(w)) return w;
            }
            return HWND{};
        };
        HWND message = nullptr, box = nullptr;
        std::wstring text;
        WaitUntil(
            [&] { return (message = shown(kMessageClass)) || (box = shown(kErrorBoxClass)) || Exited(run); },
            180s);
        if (prediction.message.empty()) {
            Require(box != nullptr, "the run ends in the error box");
            Expect(ErrorBoxText(box) == L"TProgressBar 属性超界.",
                   "the box reads " + Shown(ErrorBoxText(box)));
            DismissErrorBox(box);
            PostMessageW(run.form, WM_CLOSE, 0, 0);
        } else {
            Require(message != nullptr, "the completion message appears (" +
                                            std::to_string(prediction.actions.size()) + " entries)");
            const MessageDialog dialog = WaitForMessage(run);
            if (hostile.dialog != HostileCase::Dialog::unchecked) {
                // Caption and button in the work area (not under the task bar), for a mouse user.
                RECT frame{}, work{};
                GetWindowRect(dialog.window, &frame);
                SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
                const int width = frame.right - frame.left, height = frame.bottom - frame.top;
                const bool small = hostile.dialog == HostileCase::Dialog::onSmallScreen;
                Expect((!small || (width <= 1024 && height <= 768)) && frame.left >= work.left &&
                           frame.top >= work.top && frame.right <= work.right && frame.bottom <= work.bottom,
                       "the message dialog (" + std::to_string(width) + " x " + std::to_string(height) +
                           " at " + std::to_string(frame.left) + ", " + std::to_string(frame.top) + ") " +
                           (small ? "fits a 1024 x 768 screen and " : "") + "lies wholly in the work area (" +
                           std::to_string(work.left) + ", " + std::to_string(work.top) + " to " +
                           std::to_string(work.right) + ", " + std::to_string(work.bottom) + ")");
            }
            text = WholeTextOf(dialog.text);
            Press(dialog.ok);
        }
        ExpectExit(run, 0);

        // Every entry read was either started (the stand-in logged it) or named in the message as not
        // started: the message names exactly the entries missing from the log.
        const std::size_t notStarted = NotStartedCount(text);
        const std::vector<Registration> found = WaitForRegistrations(
            run, prediction.actions.size() - std::min(notStarted, prediction.actions.size()),
            std::chrono::seconds(120));
        std::multiset<std::wstring> unclaimed;  // logged lines not yet matched to an entry
        for (const Registration& r : found) unclaimed.insert(r.commandLine);
        std::vector<std::wstring> missing;
        for (const Action& action : prediction.actions) {
            const auto line = unclaimed.find(action.Command());
            if (line != unclaimed.end()) {
                unclaimed.erase(line);
            } else {
                missing.push_back(FromCodePage936(action.key));
            }
        }
        if (!prediction.message.empty()) {
            const std::wstring expectedText = prediction.message + NotStartedLines(missing);
            // A long message is shown from shortly before where it differs.
            const std::size_t differs =
                std::mismatch(text.begin(), text.begin() + std::min(text.size(), expectedText.size()),
                              expectedText.begin())
                    .first -
                text.begin();
            const std::size_t from = differs > 200 ? differs - 100 : 0;
            Expect(
                text == expectedText,
                "the message reads " + Shown(text.substr(from, 300)) +
                    (text == expectedText ? ""
                                          : "\n          expected " + Shown(expectedText.substr(from, 300)) +
                                                " (from character " + std::to_string(from) + ")"));
        }
        Expect(unclaimed.empty() && missing.size() == notStarted,
               std::to_string(found.size()) + " registrations logged, " + std::to_string(missing.size()) +
                   " entries read without a line, " + std::to_string(notStarted) +
                   " named or counted as not started by the message, " + std::to_string(unclaimed.size()) +
                   " lines for no entry (" + std::to_string(prediction.actions.size()) + " entries read)");

        std::vector<std::wstring> allowed = {Lower(run.log), Lower(package.SystemBase())};
        for (const wchar_t* folder : {L"\\ado", L"\\msadc", L"\\ole db"}) {
            Expect(IsDirectory(package.SystemBase() + folder),
                   "folder exists: " + Utf8(package.SystemBase() + folder));
            allowed.push_back(Lower(package.SystemBase() + folder));
        }
        int copied = 0;
        for (const auto& [destination, bytes] : sources) {
            copied += ReadBytes(destination) == bytes ? 1 : 0;
            allowed.push_back(FullPath(destination));
        }
        Expect(copied == static_cast<int>(sources.size()), std::to_string(copied) + " of " +
                                                               std::to_string(sources.size()) +
                                                               " copies made as the list says");
        ExpectOnlyWritten(before, PictureOfDriveC(package.root), allowed);
        hostile.check(package, prediction, run);
    } catch (const Failure& failure) {
        Say("  stopped: " + std::string(failure.what()));
        if (failures == 0) ++failures;
    }
    EndProcess(run.process);
    Say(failures == 0
            ? "PASSED hostile_" + std::string(hostile.name)
            : "FAILED hostile_" + std::string(hostile.name) + ": " + std::to_string(failures) + " check(s)");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == L"--install-regsvr") return InstallStandIn(WindowsPath(args[1]));
    if (args.size() == 1 && args[0] == L"--restore-regsvr") return RestoreStandIn();
    if (args.size() == 3 && args[0].rfind(L"hostile_", 0) == 0) {
        for (const HostileCase& hostile : HostileCases()) {
            if (args[0] == L"hostile_" + FromUtf8(hostile.name))
                return RunHostile(hostile, WindowsPath(args[1]), WindowsPath(args[2]));
        }
    }
    if (args.size() != 3) {
        Say("usage: e2e_driver <scenario> <MdacRepair.exe> <regsvr32 stand-in.exe>");
        for (const Scenario& s : Scenarios()) Say("  scenario " + std::string(s.name));
        for (const HostileCase& h : HostileCases()) Say("  scenario hostile_" + std::string(h.name));
        return 2;
    }
    return RunScenario(Utf8(args[0]), WindowsPath(args[1]), WindowsPath(args[2]));
}
