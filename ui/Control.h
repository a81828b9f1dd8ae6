// A control of a form: a child window with a position, a size, a caption and a place in the tab order,
// created when the form's design reaches it. The kinds (label, button, progress bar) derive from it.
#pragma once

#include <windows.h>

#include <string>

#include "ui/Component.h"

namespace ui {

class TForm;

class TControl : public TComponent {
public:
    // Registers the control with `owner`, which finds it by name when its design is loaded.
    TControl(TForm& owner, std::string name);

    HWND Handle() const { return handle_; }
    int Id() const { return id_; }
    int TabOrder() const { return tabOrder_; }

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    void SetBounds(int left, int top, int width, int height);
    int Left() const { return left_; }
    int Top() const { return top_; }

    // Creates the window; the form calls it before the control's properties are applied.
    virtual void CreateHandle() = 0;
    // A notification the control sends its form (the code of WM_COMMAND).
    virtual void Notify(WORD) {}
    // Whether Tab stops at the control.
    virtual bool TabStop() const { return false; }

    // Left, Top, Width, Height (scaled), Caption, TabOrder.
    void SetProperty(const std::string& property, const DesignValue& value,
                     const DesignReader& reader) override;

protected:
    // Creates the child window of the given class at the control's bounds, in the form's font.
    void CreateChild(const char* windowClass, DWORD style);
    virtual void CaptionChanged() {}

    TForm& owner_;

private:
    HWND handle_ = nullptr;
    int id_;
    std::string caption_;
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    int tabOrder_ = -1;  // -1: not in the tab order
};

}  // namespace ui
