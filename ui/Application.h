// The application shell: the program's title, its own zero-size window that carries the task-bar
// button and owns every form, the starter's show command, the message loop, the modal message dialog and
// the error box. One instance for the program's whole life.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "repair/Text.h"
#include "ui/Window.h"

namespace ui {

class TForm;

class Application : public Window {
public:
    static Application& Instance() {
        static Application application;
        return application;
    }

    // Start-up step 2: the title from the program file's name, the main icon (MAINICON), the
    // application window. `showCommand` is the starter's show command (ReadShowCommand). Throws when
    // the application window cannot be registered or made.
    void Initialize(HINSTANCE instance, int showCommand);

    // Registers the main window; closing it ends the message loop.
    void SetMainForm(TForm* form) { mainForm_ = form; }
    TForm* MainForm() const { return mainForm_; }

    // Start-up steps 4 and 5: shows the main window by the show command, runs the message loop until
    // the main window closes. Returns the exit code (0).
    int Run();
    // Ends the message loop (called when the main window closes).
    void Terminate();
    // The message loop alone, until Terminate; returns 0. Run uses it after showing the main window.
    int MessageLoop();

    // The modal message dialog (caption = title, one "确定" button); returns when dismissed.
    void ShowMessage(const std::string& text);
    // The error box for an error raised in a handler; the program goes on afterwards.
    void ShowException(const std::exception& error);

    // Forms tell the application when they are shown or hidden, so that its window (and so the
    // task-bar button) is visible exactly while some window of the program is.
    void FormVisibilityChanged();

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Minimize();
    void Restore();

    HINSTANCE instance_ = nullptr;
    int showCommand_ = SW_SHOWDEFAULT;
    std::string title_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    text::LeadBytes lead_;
    bool showMainFormOnRestore_ = false;  // started minimised: the main window waits for a restore
    bool minimized_ = false;
    std::vector<HWND> hiddenByMinimize_;  // windows hidden while the application is minimised
};

// The show command the starting process asked for; SW_SHOWDEFAULT when it asked for none.
int ReadShowCommand();

// Shows the start-up failure box ("应用程序错误") for an error that escaped the creation of the main
// window. The caller then exits with code 1.
void ShowStartupFailure(const std::exception& error);

}  // namespace ui
