#include "ui/Form.h"

#include <algorithm>

#include "repair/Errors.h"
#include "ui/Application.h"
#include "ui/Button.h"
#include "ui/Control.h"
#include "ui/Timer.h"

namespace ui {
namespace {

// A property that takes one word only: the one the design uses.
void RequireWord(const DesignValue& value, const char* word) {
    if (DesignReader::Identifier(value) != word) RaiseInvalidPropertyValue();
}

int CALLBACK NoteFontFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// Whether the system has a font of this face name, in any character set.
bool FontInstalled(HDC dc, const std::string& face) {
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    // cppcheck-suppress lstrcpynACalled ; bounded by the field's size, from a valid string
    lstrcpynA(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExA(dc, &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// How a read error names a component: by its name, or by its class when it has none.
std::string NameOrClass(const TComponent& component) {
    return component.Name().empty() ? component.ClassName() : component.Name();
}

}  // namespace

void RunEvent(const TNotifyEvent& handler, TComponent* sender) {
    if (handler) Guarded([&] { handler(sender); });
}

TForm::TForm(std::string className) : TComponent(std::string()), className_(std::move(className)) {}

TForm::~TForm() {
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

bool TForm::Visible() const {
    return window_ != nullptr && IsWindowVisible(window_);
}

void TForm::Show(int showCommand) {
    const bool wasHidden = !Visible();
    if (wasHidden) RunEvent(OnShow, this);
    ShowWindow(window_, showCommand);
    if (wasHidden) {
        if (TControl* first = FirstTabStop()) SetFocus(first->Handle());
    }
    Application::Instance().FormVisibilityChanged();
}

void TForm::Close() {
    ShowWindow(window_, SW_HIDE);
    Application::Instance().FormVisibilityChanged();
    if (Application::Instance().MainForm() == this) Application::Instance().Terminate();
}

void TForm::SetProperty(const std::string& property, const DesignValue& value, const DesignReader& reader) {
    if (property == "Caption") {
        frame_.caption = DesignReader::Text(value);
    } else if (property == "Left") {
        frame_.left = DesignReader::Integer(value);
    } else if (property == "Top") {
        frame_.top = DesignReader::Integer(value);
    } else if (property == "ClientWidth") {
        frame_.clientWidth = DesignReader::Integer(value);
    } else if (property == "ClientHeight") {
        frame_.clientHeight = DesignReader::Integer(value);
    } else if (property == "Frame") {
        RequireWord(value, "Dialog");
        frame_.dialog = true;
    } else if (property == "Color") {
        RequireWord(value, "COLOR_BTNFACE");
    } else if (property == "Font.Color") {
        RequireWord(value, "COLOR_WINDOWTEXT");
    } else if (property == "Font.Name") {
        frame_.fontName = DesignReader::Text(value);
    } else if (property == "Font.Height") {
        frame_.fontHeight = DesignReader::Integer(value);
    } else if (property == "Font.Charset") {
        RequireWord(value, "ANSI_CHARSET");
        frame_.fontCharset = ANSI_CHARSET;
    } else if (property == "PixelsPerInch") {
        frame_.pixelsPerInch = DesignReader::Integer(value);
        if (frame_.pixelsPerInch <= 0) RaiseInvalidPropertyValue();
    } else if (property == "TextHeight") {
        frame_.textHeight = DesignReader::Integer(value);
        if (frame_.textHeight < 0) RaiseInvalidPropertyValue();
    } else if (property == "OnCreate") {
        OnCreate = reader.Handler(value);
    } else if (property == "OnShow") {
        OnShow = reader.Handler(value);
    } else {
        TComponent::SetProperty(property, value, reader);
    }
}

void TForm::LoadDesign(const char* resourceName) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, resourceName, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) repair::Error("EResNotFound", std::string("找不到资源 ") + resourceName).Raise();
    const std::size_t size = SizeofResource(module, resource);
    LoadDesignText(Utf16FromLittleEndian(std::string_view(static_cast<const char*>(bytes), size)));
}

void TForm::LoadDesignText(std::u16string_view text) {
    const DesignObject design = ParseDesign(text);
    if (design.className != className_) {
        repair::Error("EReadError", "窗体设计的类 " + design.className + " 不是 " + className_).Raise();
    }
    SetName(design.name);
    DesignReader reader(handlers_);
    ApplyProperties(*this, design, reader);
    CreateFontAndScale(reader);
    CreateFormWindow(reader);

    for (const DesignObject& child : design.children) {
        const auto found = std::find_if(components_.begin(), components_.end(),
                                        [&](const TComponent* c) { return c->Name() == child.name; });
        if (found == components_.end()) {
            repair::Error("EComponentError", "组件 " + child.name + " 不存在").Raise();
        }
        TComponent& component = **found;
        if (child.className != component.ClassName() || !child.children.empty()) {
            repair::Error("EComponentError", "组件 " + child.name + " 不是 " + child.className).Raise();
        }
        if (auto* control = dynamic_cast<TControl*>(&component)) control->CreateHandle();
        ApplyProperties(component, child, reader);
        component.Loaded();
    }
    ArrangeTabOrder();
    RunEvent(OnCreate, this);
}

void TForm::ApplyProperties(TComponent& component, const DesignObject& design, const DesignReader& reader) {
    for (const DesignProperty& property : design.properties) {
        try {
            component.SetProperty(property.name, property.value, reader);
        } catch (const repair::Error& error) {
            if (error.ClassName() == "EReadError") throw;  // the first error is the one reported
            ReadError(NameOrClass(component), property.name, error.Message()).Raise();
        } catch (const std::exception& error) {
            ReadError(NameOrClass(component), property.name, error.what()).Raise();
        }
    }
}

// The font follows the screen's pixels per inch; positions and sizes then follow the height of "0" in
// that font against the height the design was made with.
void TForm::CreateFontAndScale(DesignReader& reader) {
    HDC screen = GetDC(nullptr);
    const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    const int height = ScaledFontHeight(frame_.fontHeight, frame_.pixelsPerInch, pixelsPerInch);
    // Where the design's font is not installed, the system would substitute one of the design's character
    // set, which may lack the characters of the user's code page and show the captions as boxes; any
    // character set lets it take a font that has them.
    const int charset = FontInstalled(screen, frame_.fontName) ? frame_.fontCharset : DEFAULT_CHARSET;
    ReleaseDC(nullptr, screen);
    font_.reset(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<DWORD>(charset),
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, frame_.fontName.c_str()));
    reader.scale = LayoutScale{static_cast<int>(TextExtent(font_.get(), "0").cy), frame_.textHeight};
}

void TForm::CreateFormWindow(const DesignReader& reader) {
    if (!RegisterWindowClass(GetModuleHandleA(nullptr), className_.c_str(), CS_DBLCLKS, nullptr,
                             GetSysColorBrush(COLOR_BTNFACE))) {
        repair::Error("EOSError", "无法注册窗口类 " + className_).Raise();
    }

    // A caption with the system menu's close box; a dialog frame keeps its size and has no minimise or
    // maximise box and no icon, any other frame is sizeable with both boxes.
    DWORD style = WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU;
    DWORD exStyle = 0;
    if (frame_.dialog) {
        exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    } else {
        style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    }
    RECT bounds{0, 0, reader.scale(frame_.clientWidth), reader.scale(frame_.clientHeight)};
    AdjustWindowRectEx(&bounds, style, FALSE, exStyle);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    if (!Create(exStyle, className_.c_str(), frame_.caption.c_str(), style, frame_.left, frame_.top, width,
                height, Application::Instance().Handle(), GetModuleHandleA(nullptr))) {
        repair::Error("EOSError", "无法创建窗口 " + className_).Raise();
    }
    // The system menu of a fixed frame offers neither size nor maximise.
    if (frame_.dialog) {
        HMENU menu = GetSystemMenu(window_, FALSE);
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
    }
}

// Tab visits the controls in the order of the system's child list, so they are put in tab order there.
void TForm::ArrangeTabOrder() {
    tabOrder_.clear();
    for (TComponent* component : components_) {
        auto* control = dynamic_cast<TControl*>(component);
        if (control != nullptr && control->Handle() != nullptr && control->TabOrder() >= 0) {
            tabOrder_.push_back(control);
        }
    }
    std::stable_sort(tabOrder_.begin(), tabOrder_.end(),
                     [](const TControl* a, const TControl* b) { return a->TabOrder() < b->TabOrder(); });
    for (TControl* control : tabOrder_) {
        SetWindowPos(control->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

TControl* TForm::ControlOf(HWND window) const {
    for (TComponent* component : components_) {
        auto* control = dynamic_cast<TControl*>(component);
        if (control != nullptr && control->Handle() == window) return control;
    }
    return nullptr;
}

TTimer* TForm::TimerOf(UINT_PTR id) const {
    for (TComponent* component : components_) {
        auto* timer = dynamic_cast<TTimer*>(component);
        if (timer != nullptr && timer->Id() == id) return timer;
    }
    return nullptr;
}

TControl* TForm::FirstTabStop() const {
    for (TControl* control : tabOrder_) {
        if (control->TabStop() && IsWindowVisible(control->Handle()) && IsWindowEnabled(control->Handle())) {
            return control;
        }
    }
    return nullptr;
}

TControl* TForm::FocusedButton() const {
    TControl* focused = ControlOf(GetFocus());
    return dynamic_cast<TButton*>(focused) != nullptr ? focused : nullptr;
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            TControl* control = ControlOf(reinterpret_cast<HWND>(lParam));
            WORD code = HIWORD(wParam);
            // Enter in the program's message loop (IsDialogMessage) asks for IDOK when no default button
            // answered: it presses the focused button.
            if (control == nullptr && LOWORD(wParam) == IDOK) {
                control = FocusedButton();
                code = BN_CLICKED;
            }
            if (control == nullptr) break;
            control->Notify(code);
            return 0;
        }
        case DM_GETDEFID:
            // The focused button is the one Enter presses.
            if (TControl* button = FocusedButton()) return MAKELRESULT(button->Id(), DC_HASDEFID);
            return 0;
        case WM_TIMER:
            if (TTimer* timer = TimerOf(wParam)) {
                timer->Tick();
                return 0;
            }
            break;
        case WM_ACTIVATE:
            // Keep the focus in the form across activations (message dialogs, error boxes).
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus != nullptr && IsChild(window_, focus)) savedFocus_ = focus;
            } else if (HIWORD(wParam) == 0) {
                HWND focus = savedFocus_ != nullptr && IsWindow(savedFocus_) ? savedFocus_ : nullptr;
                if (focus == nullptr) {
                    if (TControl* first = FirstTabStop()) focus = first->Handle();
                }
                SetFocus(focus != nullptr ? focus : window_);
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_CLOSE:
            Close();
            return 0;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

}  // namespace ui
