#include "ui/Application.h"

#include <cstdint>
#include <typeinfo>

#include "repair/Errors.h"
#include "repair/Win32Platform.h"
#include "ui/Form.h"
#include "ui/MessageForm.h"
#include "ui/ModalScope.h"
#include "ui/ShellRules.h"

namespace ui {
namespace {

constexpr char kApplicationClass[] = "TApplication";
// Posted to the application window when it is activated: hands the activation on to the program's
// window the user last worked in, since nothing of the application window itself can be seen.
constexpr UINT kActivateLastPopup = WM_APP + 1;

// True for a visible window that belongs to the application window (every form and dialog does).
bool IsShownWindowOf(HWND window, HWND application) {
    return window != application && IsWindowVisible(window) &&
           GetAncestor(window, GA_ROOTOWNER) == application;
}

// The path of a loaded module (the program file's for null); empty when the system names none.
std::string ModuleFilePath(HMODULE module) {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

// The module whose image holds `address`, or null: a loaded module is one allocation starting at its
// handle, so the allocation the address lies in names it. Windows 2000 has no GetModuleHandleExA.
HMODULE ModuleHolding(const void* address) {
    MEMORY_BASIC_INFORMATION region{};
    if (address == nullptr || VirtualQuery(address, &region, sizeof region) == 0) return nullptr;
    if (region.Type != MEM_IMAGE) return nullptr;
    return static_cast<HMODULE>(region.AllocationBase);
}

// The class name the start-up box shows for an error that is not one of the program's own.
std::string ClassNameOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const repair::Error*>(&error)) return own->ClassName();
    std::string name = ClassNameFromTypeName(typeid(error).name());
    return name.empty() ? "Exception" : name;
}

std::string MessageOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const repair::Error*>(&error)) return own->Message();
    return error.what();
}

}  // namespace

void Application::Initialize(HINSTANCE instance, int showCommand) {
    instance_ = instance;
    showCommand_ = showCommand;
    lead_ = repair::ThreadCodePageLeadBytes();

    // The module path, cut at 256 bytes, read as if it were in the OEM code page.
    char path[257] = {};
    GetModuleFileNameA(nullptr, path, 256);
    OemToCharA(path, path);
    title_ = TitleFromModulePath(path, lead_, [](std::string& text) { CharLowerA(text.data()); });

    if (!RegisterWindowClass(instance, kApplicationClass, 0, LoadIconA(instance, "MAINICON"), nullptr)) {
        repair::Error("EOSError", std::string("无法注册窗口类 ") + kApplicationClass).Raise();
    }
    // Zero size in the middle of the screen: it is there only for its task-bar button and icon. Without
    // it the program would have no task-bar button: a start-up failure like any other.
    if (!Create(0, kApplicationClass, title_.c_str(),
                WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                instance)) {
        repair::Error("EOSError", std::string("无法创建窗口 ") + kApplicationClass).Raise();
    }
    if (HMENU menu = GetSystemMenu(window_, FALSE)) {
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
    }
}

int Application::Run() {
    if (mainForm_ != nullptr) {
        if (showCommand_ == SW_SHOWMINNOACTIVE) {
            // Started minimised: only the application's button shows; the main window comes when the
            // user restores the application.
            showMainFormOnRestore_ = true;
            ShowWindow(window_, SW_SHOWMINNOACTIVE);
        } else {
            mainForm_->Show(showCommand_ == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        }
    }
    return MessageLoop();
}

void Application::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

int Application::MessageLoop() {
    MSG msg;
    while (!terminated_) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        // Tab, Enter, Space and Esc work in the forms and dialogs as in a dialog box.
        const HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root != nullptr && root != window_ && IsDialogMessageA(root, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

void Application::ShowMessage(const std::string& text) {
    ShowMessageForm(instance_, window_, title_, text, lead_);
}

void Application::ShowException(const std::exception& error) {
    const std::string text = WithClosingDot(MessageOf(error), lead_);
    DisabledWindows others(nullptr);
    MessageBoxA(window_, text.c_str(), title_.c_str(), MB_ICONSTOP | MB_OK);
}

void Application::FormVisibilityChanged() {
    // While minimised the application keeps its button, so that the user can restore it.
    if (window_ == nullptr || minimized_) return;
    bool anyShown = false;
    for (HWND window : ThreadWindows()) anyShown = anyShown || IsShownWindowOf(window, window_);
    if (anyShown != (IsWindowVisible(window_) != FALSE)) ShowWindow(window_, anyShown ? SW_SHOWNA : SW_HIDE);
}

void Application::Minimize() {
    // The forms go out of sight with the application and come back with it.
    for (HWND window : ThreadWindows()) {
        if (!IsShownWindowOf(window, window_)) continue;
        ShowWindow(window, SW_HIDE);
        hiddenByMinimize_.push_back(window);
    }
}

void Application::Restore() {
    for (HWND window : hiddenByMinimize_) {
        if (IsWindow(window)) ShowWindow(window, SW_SHOWNA);
    }
    hiddenByMinimize_.clear();
    if (showMainFormOnRestore_ && mainForm_ != nullptr) {
        // Started minimised: the main window is shown for the first time now.
        showMainFormOnRestore_ = false;
        mainForm_->Show(SW_SHOWNORMAL);
    }
    PostMessageA(window_, kActivateLastPopup, 0, 0);
}

LRESULT Application::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE) Minimize();
            break;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED) {
                minimized_ = true;
            } else if (minimized_) {
                minimized_ = false;
                Restore();
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !minimized_) PostMessageA(window_, kActivateLastPopup, 0, 0);
            break;
        case kActivateLastPopup: {
            const HWND popup = GetLastActivePopup(window_);
            if (popup != window_ && IsWindowVisible(popup) && IsWindowEnabled(popup))
                SetForegroundWindow(popup);
            return 0;
        }
        case WM_CLOSE:
            // Closing the application (from its task-bar button) closes the main window.
            if (mainForm_ != nullptr) {
                mainForm_->Close();
            } else {
                Terminate();
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

int ReadShowCommand() {
    STARTUPINFOA info{};
    info.cb = sizeof info;
    GetStartupInfoA(&info);
    return (info.dwFlags & STARTF_USESHOWWINDOW) != 0 ? info.wShowWindow : SW_SHOWDEFAULT;
}

void ShowStartupFailure(const std::exception& error) {
    const text::LeadBytes lead = repair::ThreadCodePageLeadBytes();
    const auto* own = dynamic_cast<const repair::Error*>(&error);
    const void* raisedAt = own != nullptr ? own->RaisedAt() : nullptr;

    std::uint32_t offset = 0;
    std::string modulePath;
    if (const HMODULE module = ModuleHolding(raisedAt)) {
        modulePath = ModuleFilePath(module);
        offset = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(raisedAt) -
                                            reinterpret_cast<std::uintptr_t>(module));
    }
    if (modulePath.empty()) {
        // An address in no module is told as the program file's, less the usual start of its code.
        modulePath = ModuleFilePath(nullptr);
        offset = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(raisedAt) - 0x1000);
    }
    const std::string moduleName(FileNameOf(modulePath, lead));
    const std::string text = StartupFailureText(ClassNameOf(error), moduleName, offset, MessageOf(error));
    MessageBoxA(nullptr, text.c_str(), kStartupFailureCaption, MB_TASKMODAL | MB_ICONSTOP | MB_OK);
}

}  // namespace ui
