// A rough stand-in for MdacRepair.exe with the same windows, texts and effects, for trying the end-to-end
// driver on its own while the program is being changed (target e2e_stand_in, not built by default):
//   e2e_driver <scenario> e2e_stand_in.exe regsvr32_standin.exe
// It does not scale its design to the font, so the driver's layout checks fail on it. The suite always
// drives the real program.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace {

HWND form, label, button, progress;
std::string title;
int countDown = 4;

std::string Directory(const std::string& path) {
    return path.substr(0, path.find_last_of("\\") + 1);
}

std::string Tag() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    const int v = info.dwMajorVersion * 100 + info.dwMinorVersion;
    return v == 501 ? "XP" : v == 600 ? "Vista" : v == 601 ? "W7" : "";
}

void ShowMessage(const std::string& text) {
    EnableWindow(form, FALSE);
    HWND dialog = CreateWindowExA(0, "TMessageForm", title.c_str(), WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 300,
                                  300, 260, 140, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 230, 50, dialog, nullptr,
                    nullptr, nullptr);
    HWND ok = CreateWindowExA(0, "BUTTON", "确定", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 80, 70, 80, 25,
                              dialog, reinterpret_cast<HMENU>(IDOK), nullptr, nullptr);
    SetFocus(ok);
    MSG msg;
    while (IsWindow(dialog) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &msg)) DispatchMessageA(&msg);
    }
    EnableWindow(form, TRUE);
}

void Run() {
    KillTimer(form, 1);
    KillTimer(form, 2);
    char buffer[2048];
    GetWindowTextA(label, buffer, sizeof buffer);
    const std::string folder = std::string(buffer) == "W7" ? "w7" : "xp";
    GetEnvironmentVariableA("COMMONPROGRAMFILES", buffer, sizeof buffer);
    const std::string base = std::string(buffer) + "\\System";
    CreateDirectoryA(base.c_str(), nullptr);
    for (const char* sub : {"\\ado", "\\msadc", "\\ole db"}) CreateDirectoryA((base + sub).c_str(), nullptr);
    GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    const std::string source = Directory(buffer) + folder + "\\";
    const std::string list = source + "文件列表.ini";
    std::vector<char> keys(16384);
    GetPrivateProfileStringA("文件列表", nullptr, "", keys.data(), 16384, list.c_str());
    std::vector<std::string> names;
    for (const char* k = keys.data(); *k; k += strlen(k) + 1) names.push_back(k);
    if (names.empty()) {
        MessageBoxA(form, "TProgressBar 属性超界.", title.c_str(), MB_ICONSTOP);
        return;
    }
    SendMessageA(progress, PBM_SETRANGE32, 0, names.size() - 1);
    GetSystemDirectoryA(buffer, sizeof buffer);
    const std::string regsvr = std::string(buffer) + "\\regsvr32.exe";
    std::string failed;
    for (size_t i = 0; i < names.size(); ++i) {
        SendMessageA(progress, PBM_SETPOS, i, 0);
        GetPrivateProfileStringA("文件列表", names[i].c_str(), "", buffer, sizeof buffer, list.c_str());
        std::string destination = buffer;
        const size_t at = destination.find("路径");
        if (at != std::string::npos) destination.replace(at, 4, base);
        if (!CopyFileA((source + names[i]).c_str(), destination.c_str(), TRUE) &&
            GetLastError() != ERROR_FILE_EXISTS)
            failed += "\r\n" + names[i];
        std::string command = "regsvr32 \"" + destination + "\" -s";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessA(regsvr.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    ShowMessage(failed.empty() ? "修复完毕" : "修复完毕\r\n以下文件未能复制：" + failed);
    DestroyWindow(form);
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == 2) {
                SetWindowTextA(button, ("开始修复(" + std::to_string(--countDown) + ")").c_str());
            } else {
                Run();
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == 1 || LOWORD(wParam) == IDOK) Run();
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(1, DC_HASDEFID);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) DestroyWindow(window);
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    title = path;
    title = title.substr(title.find_last_of('\\') + 1);
    title = title.substr(0, title.find('.'));
    CharLowerA(title.data() + 1);
    WNDCLASSA formClass{};
    formClass.lpfnWndProc = FormProc;
    formClass.hInstance = instance;
    formClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    formClass.lpszClassName = "TForm1";
    RegisterClassA(&formClass);
    WNDCLASSA messageClass = formClass;
    messageClass.lpfnWndProc = MessageProc;
    messageClass.lpszClassName = "TMessageForm";
    RegisterClassA(&messageClass);

    RECT frame{0, 0, 680, 215};
    const DWORD style = WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    AdjustWindowRect(&frame, style, FALSE);
    form = CreateWindowExA(WS_EX_DLGMODALFRAME, "TForm1", "mdac修复工具", style, 209, 202,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                           nullptr);
    label = CreateWindowExA(0, "STATIC", "Label1", WS_CHILD | WS_VISIBLE, 144, 8, 36, 12, form, nullptr,
                            instance, nullptr);
    button = CreateWindowExA(0, "BUTTON", "开始修复", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 264,
                             128, 161, 49, form, reinterpret_cast<HMENU>(1), instance, nullptr);
    progress = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 48, 56, 609, 49, form, nullptr,
                               instance, nullptr);
    SetTimer(form, 1, 3000, nullptr);
    SetTimer(form, 2, 1000, nullptr);
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
    if (show != SW_SHOWMINNOACTIVE) {
        SetWindowTextA(label, Tag().c_str());
        ShowWindow(form, show == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        SetFocus(button);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(form, &msg)) DispatchMessageA(&msg);
    }
    return 0;
}
