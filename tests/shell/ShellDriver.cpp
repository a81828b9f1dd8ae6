// Drives ShellProbe (32-bit) from outside, as a user and the system would see it: finds its windows by
// class, reads their captions, texts, sizes and positions, presses keys, reads the clipboard, checks the
// exit codes, and reads back the manifest embedded in the programs. A 64-bit program: it starts at once.
//   shell_driver64.exe <ShellProbe.exe> [<MdacRepair.exe>]      (Unix paths are taken as Z: paths)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/shell/ProbeTexts.h"
#include "tools/Outside.h"
#include "ui/MessageForm.h"
#include "ui/ShellRules.h"

namespace {

int failures = 0;

// Non-ASCII bytes are written as \xNN, so that a failing text reads the same in any terminal.
std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

bool Check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
    return ok;
}

bool CheckEq(const std::string& actual, const std::string& expected, const std::string& what) {
    const bool ok = Check(actual == expected, what);
    if (!ok)
        std::printf("    actual:   %s\n    expected: %s\n", Printable(actual).c_str(),
                    Printable(expected).c_str());
    return ok;
}

bool CheckEq(long actual, long expected, const std::string& what) {
    const bool ok = Check(actual == expected, what);
    if (!ok) std::printf("    actual: %ld, expected: %ld\n", actual, expected);
    return ok;
}

std::string WindowsPath(const std::string& path) {
    return outside::CodePage936(outside::WindowsPath(outside::FromCodePage936(path)));
}

std::string DirectoryOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string WindowText(HWND window) {
    char buffer[4096] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

// --- The probe process --------------------------------------------------------------------------------

struct Probe {
    PROCESS_INFORMATION process{};
    bool started = false;

    Probe(const std::string& program, const std::string& arguments, int showCommand = -1) {
        started = outside::StartProcess(process, outside::FromCodePage936(program),
                                        outside::FromCodePage936(arguments), L"", showCommand);
        Check(started, "probe starts: " + Printable(program));
    }
    ~Probe() { outside::EndProcess(process); }

    bool Running() const { return started && !outside::ProcessEnded(process); }

    // Waits for the end; returns the exit code, or -1 when it did not end in time.
    long ExitCode(DWORD timeoutMs) const {
        if (!started) return -1;
        const auto code = outside::ProcessExitCode(process, std::chrono::milliseconds(timeoutMs));
        return code ? static_cast<long>(*code) : -1;
    }

    // A top-level window of the probe; nullptr when none came in time or the probe ended.
    HWND Find(const char* className, DWORD timeoutMs, bool visibleOnly = true,
              const char* caption = nullptr) const {
        HWND found = nullptr;
        outside::WaitUntil(
            [&] {
                for (HWND window :
                     outside::TopWindowsOf(process.dwProcessId, outside::FromCodePage936(className))) {
                    if (visibleOnly && !IsWindowVisible(window)) continue;
                    if (caption != nullptr && WindowText(window) != caption) continue;
                    found = window;
                    return true;
                }
                return !Running();
            },
            std::chrono::milliseconds(timeoutMs), std::chrono::milliseconds(200));
        return found;
    }
};

// A start of the 32-bit probe under Wine takes most of a minute.
constexpr DWORD kStartTimeout = 400000;
constexpr DWORD kStepTimeout = 20000;

// Waits until `condition` holds: the probe runs slowly under emulation, so its reactions take a while.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kStepTimeout) {
    return outside::WaitUntil(condition, std::chrono::milliseconds(timeoutMs),
                              std::chrono::milliseconds(100));
}

bool WaitHidden(HWND window, DWORD timeoutMs = kStepTimeout) {
    return WaitFor([window] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

// --- Keyboard and clipboard --------------------------------------------------------------------------

void SendKeys(const std::vector<std::pair<WORD, bool>>& keys) {
    std::vector<INPUT> inputs;
    for (const auto& [key, down] : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void Focus(HWND window) {
    SetForegroundWindow(window);
    Sleep(500);
}

void Press(HWND window, WORD key) {
    Focus(window);
    SendKeys({{key, true}, {key, false}});
}

void PressCtrlC(HWND window) {
    Focus(window);
    SendKeys({{VK_CONTROL, true}, {'C', true}, {'C', false}, {VK_CONTROL, false}});
}

bool OpenClipboardRetrying() {
    for (int i = 0; i < 50; ++i) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(100);
    }
    return false;
}

void ClearClipboard() {
    if (!OpenClipboardRetrying()) return;
    EmptyClipboard();
    CloseClipboard();
}

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboardRetrying()) return "<clipboard cannot be opened>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
            text = bytes;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

std::string WaitForClipboard(const std::string& expected) {
    std::string text;
    for (int i = 0; i < 50; ++i) {
        text = ClipboardText();
        if (text == expected) break;
        Sleep(100);
    }
    return text;
}

// --- Expectations ------------------------------------------------------------------------------------

// The most of the work area's height the message dialog's client area can have: its caption and dialog
// frame take the rest.
int ClientRoomIn(int height) {
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE,
                       WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE);
    return height - (frame.bottom - frame.top);
}

int ClientRoomInWorkArea() {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return ClientRoomIn(work.bottom - work.top);
}

// The message dialog's layout, measured here with the system's message font as the probe should, its
// client area at most `maxClientHeight` high (0: no limit).
ui::MessageLayout ExpectedLayout(const char* text, int maxClientHeight = ClientRoomInWorkArea()) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectA(&metrics.lfMessageFont);
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE alphabet{};
    GetTextExtentPoint32A(dc, ui::kAlphabet, 52, &alphabet);
    const int lineWidth = GetSystemMetrics(SM_CXSCREEN) / 2;
    const auto width = [dc](std::string_view piece) {
        SIZE size{};
        GetTextExtentPoint32A(dc, piece.data(), static_cast<int>(piece.size()), &size);
        return static_cast<int>(size.cx);
    };
    const text::LeadBytes lead = text::LeadBytes::CodePage936();
    const std::string laidOut = ui::BreakLongWords(
        ui::ShortenLongLines(text, ui::kLongestShownLine * lineWidth, lead, width), lineWidth, lead, width);
    RECT textRect{0, 0, lineWidth, 0};
    DrawTextA(dc, laidOut.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    RECT captionRect{};
    DrawTextA(dc, "确定", -1, &captionRect, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);

    ui::MessageMeasures measures;
    measures.units = ui::UnitsFromAlphabet(alphabet.cx, alphabet.cy);
    measures.textWidth = textRect.right - textRect.left;
    measures.textHeight = textRect.bottom - textRect.top;
    measures.captionWidth = captionRect.right - captionRect.left;
    measures.maxClientHeight = maxClientHeight;
    return ui::LayOutMessage(measures);
}

ui::Box ChildBox(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return ui::Box{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string Describe(const ui::Box& b) {
    return std::to_string(b.left) + "," + std::to_string(b.top) + " " + std::to_string(b.width) + "x" +
           std::to_string(b.height);
}

void CheckBox(const ui::Box& actual, const ui::Box& expected, const std::string& what) {
    CheckEq(Describe(actual), Describe(expected), what);
}

void CheckMessageDialog(HWND dialog, const char* text, const std::string& title, HWND app, HWND form,
                        const std::string& name) {
    CheckEq(WindowText(dialog), title, name + ": caption is the title");
    HWND label = FindWindowExA(dialog, nullptr, "STATIC", nullptr);
    HWND button = FindWindowExA(dialog, nullptr, "BUTTON", nullptr);
    if (!Check(label != nullptr && button != nullptr, name + ": has a STATIC text and a BUTTON")) return;
    CheckEq(WindowText(label), text, name + ": text");
    CheckEq(WindowText(button), "确定", name + ": button caption");
    Check((GetWindowLongA(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON,
          name + ": the button is the default");
    Check(FindWindowExA(dialog, button, "BUTTON", nullptr) == nullptr, name + ": one button only");
    Check((GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0, name + ": dialog frame, no icon");
    Check(GetWindow(dialog, GW_OWNER) == app, name + ": owned by the application window");
    if (form != nullptr)
        Check(!IsWindowEnabled(form), name + ": the program's form is disabled while it shows");

    const ui::MessageLayout layout = ExpectedLayout(text);
    RECT client{};
    GetClientRect(dialog, &client);
    CheckEq(std::to_string(client.right) + "x" + std::to_string(client.bottom),
            std::to_string(layout.clientWidth) + "x" + std::to_string(layout.clientHeight),
            name + ": client size");
    CheckBox(ChildBox(dialog, label), layout.text, name + ": text position and size");
    CheckBox(ChildBox(dialog, button), layout.buttons.front(), name + ": button position and size");
    RECT frame{};
    GetWindowRect(dialog, &frame);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    CheckEq(frame.left, work.left + (work.right - work.left - (frame.right - frame.left)) / 2,
            name + ": centred across the work area");
    CheckEq(frame.top, work.top + (work.bottom - work.top - (frame.bottom - frame.top)) / 2,
            name + ": centred down the work area");
}

HWND MessageBoxText(HWND box) {
    return GetDlgItem(box, 0xFFFF);
}

void CheckErrorBox(const Probe& probe, const std::string& title, HWND form, const std::string& expected,
                   const std::string& name) {
    HWND box = probe.Find("#32770", kStepTimeout);
    if (!Check(box != nullptr, name + ": error box shows")) return;
    CheckEq(WindowText(box), title, name + ": caption is the title");
    CheckEq(WindowText(MessageBoxText(box)), expected, name + ": text");
    if (form != nullptr)
        Check(!IsWindowEnabled(form), name + ": the program's form is disabled while it shows");
    Press(box, VK_RETURN);
    Check(WaitHidden(box), name + ": Enter dismisses it");
}

// --- The manifest ------------------------------------------------------------------------------------

std::map<std::string, std::string> Attributes(const std::string& xml, std::size_t elementStart) {
    std::map<std::string, std::string> attributes;
    const std::size_t end = xml.find('>', elementStart);
    std::size_t pos = xml.find_first_of(" \t\r\n", elementStart);
    while (pos < end) {
        const std::size_t eq = xml.find('=', pos);
        if (eq >= end) break;
        std::size_t nameStart = xml.find_first_not_of(" \t\r\n", pos);
        const std::string name = xml.substr(nameStart, eq - nameStart);
        const char quote = xml[eq + 1];
        const std::size_t valueEnd = xml.find(quote, eq + 2);
        attributes[name] = xml.substr(eq + 2, valueEnd - eq - 2);
        pos = valueEnd + 1;
    }
    return attributes;
}

std::string ReadManifest(const std::string& program) {
    HMODULE module =
        LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return {};
    std::string manifest;
    if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
        if (HGLOBAL loaded = LoadResource(module, resource)) {
            manifest.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, resource));
        }
    }
    FreeLibrary(module);
    return manifest;
}

void CheckManifest(const std::string& program, const std::string& name) {
    const std::string xml = ReadManifest(program);
    if (!Check(!xml.empty(), name + ": manifest resource 1 of type 24 is there")) return;
    bool identity = false, controls = false, level = false;
    for (std::size_t at = xml.find("<assemblyIdentity"); at != std::string::npos;
         at = xml.find("<assemblyIdentity", at + 1)) {
        auto a = Attributes(xml, at);
        const bool inDependency = xml.rfind("<dependentAssembly", at) != std::string::npos;
        if (!inDependency) {
            identity = a["version"] == "1.0.0.0" && a["processorArchitecture"] == "*" && !a["name"].empty();
        } else if (a["name"] == "Microsoft.Windows.Common-Controls") {
            controls = a["version"] == "6.0.0.0" && a["publicKeyToken"] == "6595b64144ccf1df" &&
                       a["processorArchitecture"] == "*" && a["language"] == "*";
        }
    }
    const std::size_t at = xml.find("<requestedExecutionLevel");
    if (at != std::string::npos) {
        auto a = Attributes(xml, at);
        level = a["level"] == "requireAdministrator" && a["uiAccess"] == "false";
    }
    Check(identity, name + ": assembly identity version 1.0.0.0, any processor");
    Check(controls,
          name + ": depends on Common-Controls 6.0.0.0, token 6595b64144ccf1df, any processor and language");
    Check(level, name + ": requests requireAdministrator without UI access");
}

// SizeOfImage from the program file's headers: every address of its code lies below it.
DWORD ImageSize(const std::string& program) {
    std::ifstream file(program, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 0x40) return 0;
    DWORD peOffset = 0, size = 0;
    std::memcpy(&peOffset, bytes.data() + 0x3C, 4);
    if (bytes.size() < peOffset + 24 + 60) return 0;
    std::memcpy(&size, bytes.data() + peOffset + 24 + 56, 4);
    return size;
}

// --- The runs ----------------------------------------------------------------------------------------

// Dialogs, error boxes, clipboard, the application window, then a normal end.
void DialogRun(const std::string& probeProgram) {
    const std::string program = DirectoryOf(probeProgram) + "SHELLPROBE.V2.EXE";
    const std::string report = DirectoryOf(probeProgram) + "shell-probe-report.txt";
    const std::string title = "Shellprobe";
    DeleteFileA(report.c_str());
    if (!Check(CopyFileA(probeProgram.c_str(), program.c_str(), FALSE) != FALSE,
               "copy probe as SHELLPROBE.V2.EXE"))
        return;
    ClearClipboard();

    Probe probe(program, "report=\"" + report +
                             "\" window message:short message:long message:tall message:short "
                             "error:letter error:dot error:cjk loop");
    HWND form = probe.Find(probe::kProbeFormClass, kStartTimeout);
    if (!Check(form != nullptr, "probe shows its form")) return;
    HWND app = probe.Find("TApplication", kStepTimeout, false);
    if (!Check(app != nullptr, "application window TApplication exists")) return;
    CheckEq(WindowText(app), title,
            "application window caption: title cut at the first dot, lower case after the first");
    Check(WaitFor([app] { return IsWindowVisible(app) != FALSE; }),
          "application window visible while a form is");
    RECT r{};
    GetWindowRect(app, &r);
    CheckEq(std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top), "0x0",
            "application window has zero size");
    Check(GetWindow(form, GW_OWNER) == app, "the form is owned by the application window");
    Check((GetWindowLongA(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) == 0 && GetWindow(app, GW_OWNER) == nullptr,
          "application window is an unowned window that gets a task-bar button");

    std::ifstream reportFile(report);
    std::stringstream facts;
    facts << reportFile.rdbuf();
    CheckEq(facts.str(), "maximize=0 size=0 move=0 minimize=1 close=1\nicon=1\ncomctl32=6\n",
            "system menu without Maximise, Size and Move; main icon; common controls 6 by the manifest");

    // 1: the short message; Ctrl+C copies it; Enter dismisses it.
    HWND dialog = probe.Find(ui::kMessageFormClass, kStepTimeout);
    if (!Check(dialog != nullptr, "message dialog TMessageForm shows")) return;
    CheckMessageDialog(dialog, probe::kShortMessage, title, app, form, "short message");
    PressCtrlC(dialog);
    CheckEq(WaitForClipboard(ui::MessageClipboardText(title, probe::kShortMessage, {"确定"})),
            ui::MessageClipboardText(title, probe::kShortMessage, {"确定"}),
            "Ctrl+C copies the dialog's text");
    Check(IsWindowVisible(dialog) != FALSE, "Ctrl+C leaves the dialog open");
    Press(dialog, VK_RETURN);
    Check(WaitHidden(dialog), "Enter dismisses the message dialog");
    Check(WaitFor([form] { return IsWindowEnabled(form) != FALSE; }), "the form is enabled again afterwards");

    // 2: the long message wraps within half the screen; Esc dismisses it.
    dialog = probe.Find(ui::kMessageFormClass, kStepTimeout);
    if (!Check(dialog != nullptr, "second message dialog shows")) return;
    CheckMessageDialog(dialog, probe::kLongMessage, title, app, form, "long message");
    const ui::Box text = ChildBox(dialog, FindWindowExA(dialog, nullptr, "STATIC", nullptr));
    Check(
        text.width <= GetSystemMetrics(SM_CXSCREEN) / 2 && text.height > 4 * ExpectedLayout("X").text.height,
        "long message, its word longer than the line too, wraps within half the screen width");
    Press(dialog, VK_ESCAPE);
    Check(WaitHidden(dialog), "Esc dismisses the message dialog");

    // 2b: a message taller than the work area leaves room for, but not than the screen: the dialog keeps
    // to the work area's height, and its text to the whole lines that fit there.
    dialog = probe.Find(ui::kMessageFormClass, kStepTimeout);
    if (!Check(dialog != nullptr, "tall message dialog shows")) return;
    const int whole = ExpectedLayout(probe::TallMessage(), 0).clientHeight;
    Check(whole > ClientRoomInWorkArea() && whole <= ClientRoomIn(GetSystemMetrics(SM_CYSCREEN)),
          "tall message: its whole text (client height " + std::to_string(whole) +
              ") is taller than the work area leaves (" + std::to_string(ClientRoomInWorkArea()) +
              "), not than the screen");
    CheckMessageDialog(dialog, probe::TallMessage(), title, app, form, "tall message");
    RECT frame{};
    GetWindowRect(dialog, &frame);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    Check(frame.top >= work.top && frame.bottom <= work.bottom,
          "tall message: the dialog lies within the work area");
    Press(dialog, VK_RETURN);
    Check(WaitHidden(dialog), "Enter dismisses the tall message dialog");

    // 3: Ctrl+C while another program holds the clipboard; the close box dismisses the dialog.
    dialog = probe.Find(ui::kMessageFormClass, kStepTimeout);
    if (!Check(dialog != nullptr, "third message dialog shows")) return;
    if (Check(OpenClipboardRetrying(), "driver holds the clipboard")) {
        PressCtrlC(dialog);
        HWND box = probe.Find("#32770", kStepTimeout);
        CloseClipboard();
        if (Check(box != nullptr, "a clipboard that cannot be opened is reported in the error box")) {
            CheckEq(WindowText(MessageBoxText(box)), "无法打开剪贴板.", "clipboard error text");
            CheckEq(WindowText(box), title, "clipboard error caption");
            Press(box, VK_RETURN);
            Check(WaitHidden(box), "clipboard error box dismissed");
        }
        // The failure leaves nothing behind: with the clipboard free again, Ctrl+C copies as before.
        const std::string copied = ui::MessageClipboardText(title, probe::kShortMessage, {"确定"});
        PressCtrlC(dialog);
        CheckEq(WaitForClipboard(copied), copied, "Ctrl+C copies again once the clipboard is free");
    }
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Check(WaitHidden(dialog), "the close box dismisses the message dialog");

    // 4: the error box and its closing dot.
    CheckErrorBox(probe, title, form, "Access denied.", "text ending in a letter");
    CheckErrorBox(probe, title, form, "已完成.", "text ending in a dot");
    CheckErrorBox(probe, title, form, "TProgressBar 属性超界.", "text ending in a double-byte character");

    // 5: the message loop ends when the form closes; exit code 0.
    Check(WaitFor([form] { return IsWindowEnabled(form) != FALSE; }),
          "the form is enabled after the error boxes");
    PostMessageA(form, WM_CLOSE, 0, 0);
    CheckEq(probe.ExitCode(kStepTimeout), 0, "a normal end exits with code 0");
    DeleteFileA(report.c_str());
}

// A failure at start-up: the failure box, then exit code 1. The file name has double-byte characters.
void FailureRun(const std::string& probeProgram) {
    const std::string name = "探针Probe.exe";
    const std::string program = DirectoryOf(probeProgram) + name;
    const std::string title = "探针probe";
    if (!Check(CopyFileA(probeProgram.c_str(), program.c_str(), FALSE) != FALSE,
               "copy probe with a Chinese name"))
        return;

    Probe probe(program, "message:short refused-message:short fail");
    HWND dialog = probe.Find(ui::kMessageFormClass, kStartTimeout);
    if (!Check(dialog != nullptr, "message dialog shows")) return;
    HWND app = probe.Find("TApplication", kStepTimeout, false);
    CheckEq(WindowText(app), title, "title of a double-byte file name");
    Check(WaitFor([app] { return IsWindowVisible(app) != FALSE; }),
          "application window visible while the dialog is");
    CheckMessageDialog(dialog, probe::kShortMessage, title, app, nullptr, "dialog without forms");
    PostMessageA(FindWindowExA(dialog, nullptr, "BUTTON", nullptr), BM_CLICK, 0, 0);
    Check(WaitHidden(dialog), "a click on the button dismisses the dialog");

    // A message dialog whose window cannot be made: the system's message box says the same.
    HWND fallback = probe.Find("#32770", kStepTimeout, true, title.c_str());
    if (Check(fallback != nullptr, "a message whose dialog cannot be made shows in a message box")) {
        CheckEq(WindowText(MessageBoxText(fallback)), probe::kShortMessage, "message box text");
        Check(GetWindow(fallback, GW_OWNER) == app, "message box owned by the application window");
        Press(fallback, VK_RETURN);
        Check(WaitHidden(fallback), "Enter dismisses the message box");
    }

    HWND box = probe.Find("#32770", kStepTimeout, true, ui::kStartupFailureCaption);
    if (Check(box != nullptr, "start-up failure box shows with its caption")) {
        Check(GetWindow(box, GW_OWNER) == nullptr, "failure box has no owner");
        Check(!IsWindowVisible(app), "application window hidden when no window of the program is");
        const std::string shown = WindowText(MessageBoxText(box));
        const std::string head =
            std::string("异常 ") + probe::kFailureClass + " 发生在模块 " + name + " 中的 ";
        const std::string tail = std::string(" 位置.\n") + probe::kFailureMessage + ".";
        const bool shape = shown.size() == head.size() + 8 + tail.size() && shown.rfind(head, 0) == 0 &&
                           shown.compare(head.size() + 8, std::string::npos, tail) == 0;
        if (!Check(shape, "failure text: class, module, 8-digit offset, text and dot")) {
            std::printf("    actual: %s\n", Printable(shown).c_str());
        } else {
            const std::string hex = shown.substr(head.size(), 8);
            Check(hex.find_first_not_of("0123456789ABCDEF") == std::string::npos,
                  "offset in upper-case hex: " + hex);
            const unsigned long offset = std::strtoul(hex.c_str(), nullptr, 16);
            Check(offset >= 0x1000 && offset < ImageSize(program), "offset lies in the program's code");
        }
        Press(box, VK_RETURN);
        Check(WaitHidden(box), "Enter dismisses the failure box");
    }
    CheckEq(probe.ExitCode(kStepTimeout), 1, "a start-up failure exits with code 1");

    // No application window: the start-up fails as loudly as for any other cause.
    Probe refused(program, "refused-application window loop");
    box = refused.Find("#32770", kStartTimeout, true, ui::kStartupFailureCaption);
    if (Check(box != nullptr, "without its application window the start-up failure box shows")) {
        const std::string shown = WindowText(MessageBoxText(box));
        const std::string head = "异常 EOSError 发生在模块 " + name + " 中的 ";
        const std::string tail = " 位置.\n无法创建窗口 TApplication.";
        Check(shown.size() == head.size() + 8 + tail.size() && shown.rfind(head, 0) == 0 &&
                  shown.compare(head.size() + 8, std::string::npos, tail) == 0,
              "failure text names the application window: " + Printable(shown));
        Check(refused.Find(probe::kProbeFormClass, 0) == nullptr, "no form is shown");
        Press(box, VK_RETURN);
        Check(WaitHidden(box), "Enter dismisses the failure box");
    }
    CheckEq(refused.ExitCode(kStepTimeout), 1, "a start-up without application window exits with code 1");
}

// Dismisses whatever box or dialog the program shows, then closes its main window; the program ends
// with code 0.
void CloseProgram(const Probe& program, const std::string& name) {
    for (int i = 0; i < 5 && program.Running(); ++i) {
        HWND form = program.Find("TForm1", 2000);
        HWND box = program.Find("#32770", 0);
        if (box == nullptr) box = program.Find(ui::kMessageFormClass, 0);
        if (box != nullptr) {
            PostMessageA(box, WM_CLOSE, 0, 0);
            WaitHidden(box);
        } else if (form != nullptr && IsWindowEnabled(form)) {
            PostMessageA(form, WM_CLOSE, 0, 0);
        }
        WaitFor([&program] { return !program.Running(); }, 5000);
    }
    CheckEq(program.ExitCode(kStepTimeout), 0, name + ": ends with code 0 when its window closes");
}

// The program itself started minimised: only the application's button, the main window once restored.
void MinimizedStart(const std::string& mdacProgram) {
    Probe program(mdacProgram, "", SW_SHOWMINNOACTIVE);
    HWND app = program.Find("TApplication", kStartTimeout);
    if (!Check(app != nullptr, "started minimised: the application window shows")) return;
    Check(WaitFor([app] { return IsIconic(app) != FALSE; }),
          "started minimised: the application is minimised");
    HWND form = program.Find("TForm1", kStepTimeout, false);
    if (!Check(form != nullptr, "started minimised: the main window exists")) return;
    Check(!IsWindowVisible(form), "started minimised: the main window is not shown");
    PostMessageA(app, WM_SYSCOMMAND, SC_RESTORE, 0);
    Check(WaitFor([form] { return IsWindowVisible(form) != FALSE; }),
          "restoring the application shows the main window");
    Check(!IsZoomed(form), "restored: shown normally");
    CloseProgram(program, "started minimised");
}

void MaximizedStart(const std::string& mdacProgram) {
    Probe program(mdacProgram, "", SW_SHOWMAXIMIZED);
    HWND form = program.Find("TForm1", kStartTimeout);
    if (!Check(form != nullptr, "started maximised: the main window shows")) return;
    Check(IsZoomed(form) != FALSE, "started maximised: the main window is maximised");
    HWND app = program.Find("TApplication", kStepTimeout);
    Check(app != nullptr && GetWindow(form, GW_OWNER) == app,
          "the main window is owned by the application window");

    // The run starts by itself after three seconds; with no file list beside the program it ends in the
    // error box. Once that is dismissed, minimising the application takes the main window along.
    if (HWND box = program.Find("#32770", 60000)) {
        PostMessageA(box, WM_CLOSE, 0, 0);
        WaitHidden(box);
    }
    if (Check(
            app != nullptr && program.Running() && WaitFor([form] { return IsWindowEnabled(form) != FALSE; }),
            "the main window is open and enabled after the run")) {
        PostMessageA(app, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        Check(WaitFor([app, form] { return IsIconic(app) && !IsWindowVisible(form); }),
              "minimising the application hides the main window");
        Check(IsWindowVisible(app) != FALSE, "the minimised application keeps its button");
        PostMessageA(app, WM_SYSCOMMAND, SC_RESTORE, 0);
        Check(WaitFor([app, form] { return !IsIconic(app) && IsWindowVisible(form); }),
              "restoring the application shows the main window again");
        Check(IsZoomed(form) != FALSE, "the main window is still maximised");
    }
    CloseProgram(program, "started maximised");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: shell_driver64 ShellProbe.exe [MdacRepair.exe]\n");
        return 2;
    }
    const std::string probeProgram = WindowsPath(argv[1]);
    CheckManifest(probeProgram, "ShellProbe.exe");
    if (argc > 2) CheckManifest(WindowsPath(argv[2]), "MdacRepair.exe");
    DialogRun(probeProgram);
    FailureRun(probeProgram);
    if (argc > 2) {
        MinimizedStart(WindowsPath(argv[2]));
        MaximizedStart(WindowsPath(argv[2]));
    }
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
