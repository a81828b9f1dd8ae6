// TForm: the program's general top-level window, made from a design (see Design.h) kept as UTF-16 text in
// an RCDATA resource. Loading the design creates the window, its controls and timers, and runs OnCreate;
// showing a hidden form runs OnShow. Its window is owned by the application's window.
//
// Every error that escapes a handler, a tick or a click is shown by Application::ShowException and the
// program goes on; an error while a design property is applied ends the loading as a read error
// (EReadError, "读错误 Component.Property: ...").
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Component.h"
#include "ui/Measure.h"
#include "ui/Window.h"

namespace ui {

class TControl;
class TTimer;

class TForm : public TComponent, public Window {
public:
    // `className` is the window class and the class the design must name (e.g. "TForm1").
    explicit TForm(std::string className);
    ~TForm() override;

    const char* ClassName() const override { return className_.c_str(); }
    bool Visible() const;
    // SW_SHOWNORMAL or SW_SHOWMAXIMIZED. OnShow runs when the form goes from hidden to shown, before it
    // appears; the first control in tab order then takes the focus.
    void Show(int showCommand);
    // Hides the form; closing the application's main form ends the application.
    void Close();

    HFONT Font() const { return font_.get(); }

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;

    // Controls and timers register themselves here when they are constructed.
    void AddComponent(TComponent* component) { components_.push_back(component); }
    int NextControlId() { return nextControlId_++; }
    UINT_PTR NextTimerId() { return nextTimerId_++; }

    // Caption, Left, Top, ClientWidth, ClientHeight, Frame (Dialog), Color (COLOR_BTNFACE), Font.Name,
    // Font.Height, Font.Color (COLOR_WINDOWTEXT), Font.Charset (ANSI_CHARSET), PixelsPerInch, TextHeight,
    // OnCreate, OnShow: the words in parentheses are the only values those properties take.
    void SetProperty(const std::string& property, const DesignValue& value,
                     const DesignReader& reader) override;

protected:
    // Makes `name` (as the design writes it) call `handler` of the derived form.
    template <class Form>
    void BindHandler(const std::string& name, void (Form::*handler)(TComponent*)) {
        Form* form = static_cast<Form*>(this);
        handlers_[name] = [form, handler](TComponent* sender) { (form->*handler)(sender); };
    }

    // Loads the design from this program's RCDATA resource `resourceName`, then runs OnCreate.
    void LoadDesign(const char* resourceName);
    void LoadDesignText(std::u16string_view text);

private:
    // What the design says of the window itself, gathered before the window is made.
    struct Frame {
        int left = 0;
        int top = 0;
        int clientWidth = 0;
        int clientHeight = 0;
        std::string caption;
        bool dialog = false;  // Frame = Dialog
        std::string fontName = "MS Sans Serif";
        int fontHeight = -11;
        int fontCharset = DEFAULT_CHARSET;
        int pixelsPerInch = 96;
        int textHeight = 0;
    };

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ApplyProperties(TComponent& component, const DesignObject& design, const DesignReader& reader);
    void CreateFontAndScale(DesignReader& reader);
    void CreateFormWindow(const DesignReader& reader);
    void ArrangeTabOrder();
    TControl* ControlOf(HWND window) const;
    TTimer* TimerOf(UINT_PTR id) const;
    TControl* FirstTabStop() const;
    TControl* FocusedButton() const;

    std::string className_;
    OwnedFont font_;
    Frame frame_;
    std::vector<TComponent*> components_;
    std::vector<TControl*> tabOrder_;
    std::map<std::string, TNotifyEvent> handlers_;
    HWND savedFocus_ = nullptr;
    int nextControlId_ = 100;  // clear of IDOK and IDCANCEL
    UINT_PTR nextTimerId_ = 1;
};

// Runs an event handler; an error that escapes it goes to the application's error box (Guarded).
void RunEvent(const TNotifyEvent& handler, TComponent* sender);

}  // namespace ui
