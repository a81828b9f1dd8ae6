#include "tests/forms/RecordingApplication.h"

#include "repair/Errors.h"
#include "ui/Application.h"

namespace forms_test {

ApplicationRecord& Recorded() {
    static ApplicationRecord record;
    return record;
}

}  // namespace forms_test

// The members of Application that the forms use, defined here in place of ui/Application.cpp: the linker
// takes that file from the window layer's library only for a member not defined here, so every one the
// forms reach is, with HandleMessage, which carries the class's table of virtual functions.
namespace ui {

void Application::Initialize(HINSTANCE instance, int showCommand) {
    instance_ = instance;
    showCommand_ = showCommand;
    title_ = "FormsTest";
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "TApplication";
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, "TApplication", title_.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance, nullptr);
}

// Its window's class sends every message to DefWindowProcA; this answers none of its own either.
LRESULT Application::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window_, message, wParam, lParam);
}

void Application::Terminate() {
    terminated_ = true;
    ++forms_test::Recorded().terminations;
}

void Application::ShowMessage(const std::string& text) {
    forms_test::Recorded().messages.push_back(text);
}

void Application::ShowException(const std::exception& error) {
    const auto* own = dynamic_cast<const repair::Error*>(&error);
    forms_test::Recorded().errors.push_back({own != nullptr ? own->ClassName() : "", error.what()});
}

void Application::FormVisibilityChanged() {
    ++forms_test::Recorded().visibilityChanges;
}

}  // namespace ui
