// Application::Run: the one part of the application that works with the main window as a form.
#include "ui/Application.h"
#include "ui/Form.h"

namespace ui {

int Application::Run() {
    if (mainForm_ != nullptr) {
        TForm* form = mainForm_;
        closeMainForm_ = [form] { form->Close(); };
        if (showCommand_ == SW_SHOWMINNOACTIVE) {
            // Started minimised: only the application's button shows; the main window comes when the
            // user restores the application.
            showOnRestore_ = [form] { form->Show(SW_SHOWNORMAL); };
            ShowWindow(window_, SW_SHOWMINNOACTIVE);
        } else {
            form->Show(showCommand_ == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        }
    }
    return MessageLoop();
}

}  // namespace ui
