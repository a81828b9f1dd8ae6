#include "ui/ProgressBar.h"

#include <commctrl.h>

#include "repair/Errors.h"

namespace ui {

void TProgressBar::CreateHandle() {
    static const bool registered = [] {
        // Loaded here rather than imported, so that it loads after the entry has closed the library
        // search path; the manifest still selects version 6 by this name.
        const HMODULE library = LoadLibraryA("comctl32.dll");
        using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        const auto init = library == nullptr ? nullptr
                                             : reinterpret_cast<InitFunction>(reinterpret_cast<void*>(
                                                   GetProcAddress(library, "InitCommonControlsEx")));
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        return init != nullptr && init(&controls) != FALSE;
    }();
    (void)registered;
    CreateChild(PROGRESS_CLASSA, 0);
    SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetMin(int minimum) {
    SetRange(minimum, max_);
}
void TProgressBar::SetMax(int maximum) {
    SetRange(min_, maximum);
}

void TProgressBar::SetRange(int minimum, int maximum) {
    if (maximum < minimum) repair::Error("EPropertyError", std::string(ClassName()) + " 属性超界").Raise();
    min_ = minimum;
    max_ = maximum;
    if (Handle() != nullptr) {
        SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    }
}

void TProgressBar::SetPosition(int position) {
    position_ = position;
    if (Handle() != nullptr) SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TProgressBar::SetProperty(const std::string& property, const DesignValue& value,
                               const DesignReader& reader) {
    if (property == "Min") {
        SetMin(DesignReader::Integer(value));
    } else if (property == "Max") {
        SetMax(DesignReader::Integer(value));
    } else if (property == "Position") {
        SetPosition(DesignReader::Integer(value));
    } else {
        TControl::SetProperty(property, value, reader);
    }
}

}  // namespace ui
