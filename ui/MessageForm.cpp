#include "ui/MessageForm.h"

#include <string_view>
#include <vector>

#include "repair/Errors.h"
#include "ui/Application.h"
#include "ui/Measure.h"
#include "ui/ModalScope.h"
#include "ui/ShellRules.h"
#include "ui/Window.h"

namespace ui {
namespace {

HFONT CreateMessageFont() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return nullptr;
    }
    return CreateFontIndirectA(&metrics.lfMessageFont);
}

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

class MessageForm : public Window {
public:
    MessageForm(const std::string& caption, const std::string& text, const text::LeadBytes& lead)
        : caption_(caption), text_(text), lead_(lead) {}

    void ShowModal(HINSTANCE instance, HWND owner) {
        RegisterWindowClass(instance, kMessageFormClass, 0, nullptr,
                            reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        font_ = ownFont_ != nullptr ? ownFont_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        const HFONT font = font_;
        const MessageLayout layout = Measure(font);

        RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
        AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        const RECT work = WorkArea();
        const int left = work.left + (work.right - work.left - width) / 2;
        const int top = work.top + (work.bottom - work.top - height) / 2;
        if (!Create(kExStyle, kMessageFormClass, caption_.c_str(), kStyle, left, top, width, height, owner,
                    instance)) {
            // The run must not end without its message: the system's message box says it instead.
            DisabledWindows others(nullptr);
            MessageBoxA(owner, text_.c_str(), caption_.c_str(), MB_OK);
            return;
        }

        // The label keeps the message as its text and draws the lines measured here (WM_DRAWITEM).
        const Box& t = layout.text;
        HWND label = CreateWindowExA(0, "STATIC", text_.c_str(), WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, t.left,
                                     t.top, t.width, t.height, window_, nullptr, instance, nullptr);
        const Box& b = layout.buttons.front();
        HWND button =
            CreateWindowExA(0, "BUTTON", kOkCaption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                            b.left, b.top, b.width, b.height, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
        SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

        {
            DisabledWindows others(window_);
            ShowWindow(window_, SW_SHOWNORMAL);
            SetFocus(button);
            Application::Instance().FormVisibilityChanged();
            RunModalLoop();
            // The other windows are enabled again before this one goes, so that one of them is activated.
        }
        DestroyWindow(window_);
        Application::Instance().FormVisibilityChanged();
    }

private:
    // Word wrap within half the screen, a word longer than that broken between characters: the lines
    // are measured and drawn from the same text, in the same font.
    static constexpr UINT kTextFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;

    // The screen less the task bar and the desktop's other bars; the whole screen when the system
    // names none.
    static RECT WorkArea() {
        RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        return work;
    }

    MessageLayout Measure(HFONT font) {
        const SIZE alphabet = TextExtent(font, kAlphabet);
        const int lineWidth = GetSystemMetrics(SM_CXSCREEN) / 2;
        {
            // A line too long to read whole (a key of thousands of characters) is shown shortened, so
            // that the lines after it are seen; Ctrl+C still copies the whole message.
            const ScreenDC screen(font);
            const auto width = [&screen](std::string_view piece) {
                SIZE size{};
                GetTextExtentPoint32A(screen.Handle(), piece.data(), static_cast<int>(piece.size()), &size);
                return static_cast<int>(size.cx);
            };
            laidOut_ = BreakLongWords(ShortenLongLines(text_, kLongestShownLine * lineWidth, lead_, width),
                                      lineWidth, lead_, width);
        }
        const RECT text = TextBounds(font, laidOut_.c_str(), kTextFormat, lineWidth);
        const RECT caption = TextBounds(font, kOkCaption, DT_SINGLELINE);

        MessageMeasures measures;
        measures.units = UnitsFromAlphabet(alphabet.cx, alphabet.cy);
        measures.textWidth = text.right - text.left;
        measures.textHeight = text.bottom - text.top;
        measures.captionWidth = caption.right - caption.left;
        measures.buttonCount = 1;
        // The frame and caption take their share of the work area's height.
        RECT frame{0, 0, 0, 0};
        AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
        const RECT work = WorkArea();
        measures.maxClientHeight = (work.bottom - work.top) - (frame.bottom - frame.top);
        MessageLayout layout = LayOutMessage(measures);
        if (layout.text.height < measures.textHeight) {
            // Only the lines that fit are shown: the last of them says that more follows.
            laidOut_ =
                CutToHeight(laidOut_, layout.text.height, lead_, [font, lineWidth](std::string_view piece) {
                    const RECT bounds = TextBounds(font, std::string(piece).c_str(), kTextFormat, lineWidth);
                    return static_cast<int>(bounds.bottom - bounds.top);
                });
        }
        return layout;
    }

    void RunModalLoop() {
        MSG msg;
        while (!done_) {
            const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0) {
                // The program is ending: leave the quit for the main loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got == -1) break;
            if (IsCopyKey(msg)) {
                CopyToClipboard();
                continue;
            }
            if (IsDialogMessageA(window_, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    // Ctrl+C with no other modifier, in this dialog.
    bool IsCopyKey(const MSG& msg) const {
        if (msg.message != WM_KEYDOWN || msg.wParam != 'C') return false;
        if (msg.hwnd != window_ && GetAncestor(msg.hwnd, GA_ROOT) != window_) return false;
        const auto down = [](int key) { return GetKeyState(key) < 0; };
        return down(VK_CONTROL) && !down(VK_SHIFT) && !down(VK_MENU) && !down(VK_LWIN) && !down(VK_RWIN);
    }

    void CopyToClipboard() {
        MessageBeep(0);
        const std::string copied = MessageClipboardText(caption_, text_, {kOkCaption});
        if (!OpenClipboard(window_)) {
            Application::Instance().ShowException(repair::Error("Exception", kCannotOpenClipboard));
            return;
        }
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, copied.size() + 1);
        if (memory != nullptr) {
            void* bytes = GlobalLock(memory);
            if (bytes != nullptr) {
                CopyMemory(bytes, copied.c_str(), copied.size() + 1);
                GlobalUnlock(memory);
                if (SetClipboardData(CF_TEXT, memory) != nullptr) memory = nullptr;  // now the clipboard's
            }
            // cppcheck-suppress doubleFree ; freed only when the clipboard did not take it (memory reset
            // above)
            if (memory != nullptr) GlobalFree(memory);
        }
        CloseClipboard();
    }

    // Draws the label as a static text control would, with the message's laid-out lines.
    void DrawLabel(const DRAWITEMSTRUCT& item) const {
        FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
        const HGDIOBJ previous = SelectObject(item.hDC, font_);
        SetTextColor(item.hDC, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(item.hDC, GetSysColor(COLOR_BTNFACE));
        RECT bounds = item.rcItem;
        DrawTextA(item.hDC, laidOut_.c_str(), -1, &bounds, kTextFormat);
        SelectObject(item.hDC, previous);
    }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_DRAWITEM:
                DrawLabel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            case WM_COMMAND:
                // The one button is both the default (Enter) and the cancel button (Esc).
                if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) done_ = true;
                return 0;
            case WM_CLOSE:
                done_ = true;
                return 0;
            case DM_GETDEFID:
                return MAKELRESULT(IDOK, DC_HASDEFID);
            default:
                return DefWindowProcA(window_, message, wParam, lParam);
        }
    }

    std::string caption_;
    std::string text_;
    const text::LeadBytes& lead_;
    OwnedFont ownFont_{CreateMessageFont()};  // null when the system names none: the stock GUI font then
    HFONT font_ = nullptr;                    // the font the dialog shows its text and button in
    std::string laidOut_;                     // the message with its over-long words broken
    bool done_ = false;
};

}  // namespace

void ShowMessageForm(HINSTANCE instance, HWND owner, const std::string& caption, const std::string& text,
                     const text::LeadBytes& lead) {
    MessageForm form(caption, text, lead);
    form.ShowModal(instance, owner);
}

}  // namespace ui
