// A program of the application shell alone, driven by ShellDriver: it runs the steps named on its command
// line one after another, each waiting until the driver has dismissed what it shows.
//   report=<file>    writes facts only the program itself can see (system menu, icon, common controls)
//   window           shows a stand-in form owned by the application window
//   message:short|long|tall   the message dialog
//   error:letter|dot|cjk      the error box
//   fail             a start-up failure: the failure box, then exit code 1
//   refused-message:short     the message dialog, with its window class refusing every window
//   refused-application       (first) the application window's class refuses its window: start-up fails
//   loop             the message loop until the form is closed, then exit code 0
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "repair/Errors.h"
#include "repair/VersionTag.h"
#include "repair/Win32Platform.h"
#include "tests/shell/ProbeTexts.h"
#include "ui/Application.h"
#include "ui/MessageForm.h"

namespace {

LRESULT CALLBACK ProbeFormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        ui::Application::Instance().FormVisibilityChanged();
        ui::Application::Instance().Terminate();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ShowProbeForm(HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ProbeFormProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = probe::kProbeFormClass;
    RegisterClassA(&windowClass);
    HWND form = CreateWindowExA(WS_EX_DLGMODALFRAME, probe::kProbeFormClass, "探针窗口",
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, 100, 100, 300, 200,
                                ui::Application::Instance().Handle(), nullptr, instance, nullptr);
    ShowWindow(form, SW_SHOWNORMAL);
    ui::Application::Instance().FormVisibilityChanged();
}

// 6 when the common controls of version 6 were loaded, as the manifest asks: from the side-by-side
// folder of that version (Wine's own copy reports 5 from DllGetVersion), or reporting 6.
int CommonControlsMajorVersion() {
    HMODULE comctl = GetModuleHandleA("comctl32.dll");
    if (comctl == nullptr) return 0;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(comctl, path, MAX_PATH);
    CharLowerA(path);
    if (std::strstr(path, "microsoft.windows.common-controls_6595b64144ccf1df_6.0.") != nullptr) return 6;
    auto getVersion =
        reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (getVersion == nullptr || getVersion(&info) != S_OK) return 0;
    return static_cast<int>(info.dwMajorVersion);
}

void WriteReport(const char* path) {
    const HWND app = ui::Application::Instance().Handle();
    HMENU menu = GetSystemMenu(app, FALSE);
    const auto has = [menu](UINT command) { return GetMenuState(menu, command, MF_BYCOMMAND) != 0xFFFFFFFF; };
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (FILE* report = std::fopen(path, "w")) {
        std::fprintf(report, "maximize=%d size=%d move=%d minimize=%d close=%d\n", has(SC_MAXIMIZE),
                     has(SC_SIZE), has(SC_MOVE), has(SC_MINIMIZE), has(SC_CLOSE));
        std::fprintf(report, "icon=%d\n", GetClassLongPtrA(app, GCLP_HICON) != 0 ? 1 : 0);
        std::fprintf(report, "comctl32=%d\n", CommonControlsMajorVersion());
        std::fclose(report);
    }
}

LRESULT CALLBACK RefusingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) return FALSE;  // CreateWindowEx then fails
    return DefWindowProcA(window, message, wParam, lParam);
}

// Takes the place of the window class `name`, so that no window of that class can be made.
void RefuseWindowClass(HINSTANCE instance, const char* name) {
    UnregisterClassA(name, instance);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RefusingProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = name;
    RegisterClassA(&windowClass);
}

const char* Text(const std::string& name) {
    if (name == "short") return probe::kShortMessage;
    if (name == "long") return probe::kLongMessage;
    if (name == "tall") return probe::TallMessage();
    if (name == "letter") return probe::kErrorLetter;
    if (name == "dot") return probe::kErrorDot;
    if (name == "cjk") return probe::kErrorDoubleByte;
    return "?";
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    repair::StoreWindowsVersion(repair::QueryWindowsVersion());
    auto& app = ui::Application::Instance();
    if (__argc > 1 && std::strcmp(__argv[1], "refused-application") == 0)
        RefuseWindowClass(instance, "TApplication");
    try {
        app.Initialize(instance, ui::ReadShowCommand());
    } catch (const std::exception& e) {
        ui::ShowStartupFailure(e);
        return 1;
    }

    for (int i = 1; i < __argc; ++i) {
        const std::string step = __argv[i];
        if (step.rfind("report=", 0) == 0) {
            WriteReport(step.c_str() + 7);
        } else if (step == "window") {
            ShowProbeForm(instance);
        } else if (step.rfind("refused-message:", 0) == 0) {
            RefuseWindowClass(instance, ui::kMessageFormClass);
            app.ShowMessage(Text(step.substr(16)));
        } else if (step.rfind("message:", 0) == 0) {
            app.ShowMessage(Text(step.substr(8)));
        } else if (step.rfind("error:", 0) == 0) {
            app.ShowException(repair::Error("Exception", Text(step.substr(6))));
        } else if (step == "fail") {
            try {
                repair::Error(probe::kFailureClass, probe::kFailureMessage).Raise();
            } catch (const std::exception& e) {
                ui::ShowStartupFailure(e);
                return 1;
            }
        } else if (step == "loop") {
            return app.MessageLoop();
        }
    }
    return 0;
}
