// The forms in the window system: the main window made from the program's design, checked from inside
// through creation, showing, the countdown, the automatic press, the keyboard and closing; and small test
// forms for failing handlers, timers and designs that cannot be applied. One program start for all.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <utility>

#include "Unit1.h"
#include "repair/VersionTag.h"
#include "tests/forms/RecordingApplication.h"
#include "ui/Application.h"

namespace {

using forms_test::Recorded;

ui::Application& App() {
    static const bool initialized = [] {
        ui::Application::Instance().Initialize(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
        return true;
    }();
    (void)initialized;
    return ui::Application::Instance();
}

// The program's message loop for a while: every message goes first to IsDialogMessage of its top-level
// window, as in the application's loop.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
            if (root != nullptr && root != App().Handle() && IsDialogMessageA(root, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// A control's rectangle in its parent's client area.
RECT BoundsIn(HWND control) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

PBRANGE RangeOf(const ui::TProgressBar& bar) {
    PBRANGE range{};
    SendMessageA(bar.Handle(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return range;
}

SIZE TextSize(HFONT font, const char* text) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, font);
    SIZE size{};
    // cppcheck-suppress lstrlenACalled ; the texts are the test's own literals
    GetTextExtentPoint32A(screen, text, lstrlenA(text), &size);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return size;
}

int ZeroHeight(HFONT font) {
    return TextSize(font, "0").cy;
}

std::string FaceOf(HFONT font) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, font);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, LF_FACESIZE, face);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return face;
}

TEST(MainWindow, FromCreationThroughTheAutomaticPressToClosing) {
    App();
    Recorded() = {};
    repair::StoreWindowsVersion({2, 6, 1});  // a Windows 7 system
    const DWORD created = GetTickCount();
    TForm1 form;
    Form1 = &form;
    App().SetMainForm(&form);

    // Made from the design, not shown yet; both timers counting; FormCreate has run.
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(CountDown, 4);
    EXPECT_EQ(ClassOf(form.Handle()), "TForm1");
    EXPECT_EQ(TextOf(form.Handle()), "mdac修复工具");
    EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), App().Handle());
    const LONG style = GetWindowLongA(form.Handle(), GWL_STYLE);
    const LONG exStyle = GetWindowLongA(form.Handle(), GWL_EXSTYLE);
    EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU));
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);

    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    ReleaseDC(nullptr, screen);
    // The design's sizes are for a "0" 12 pixels high (宋体); where the system substitutes another font,
    // every position and size follows its height.
    const ui::LayoutScale scale{ZeroHeight(form.Font()), 12};
    std::printf("font %s, \"0\" %d pixels high\n", FaceOf(form.Font()).c_str(), scale.measuredTextHeight);
    RECT frame{};
    GetWindowRect(form.Handle(), &frame);
    EXPECT_EQ(frame.left, 209);
    EXPECT_EQ(frame.top, 202);
    RECT client{};
    GetClientRect(form.Handle(), &client);
    EXPECT_EQ(client.right, scale(680));
    EXPECT_EQ(client.bottom, scale(215));

    struct ControlRow {
        const char* name;
        const ui::TControl& control;
        const char* windowClass;
        int left, top, width, height;
        const char* caption;
    };
    const ControlRow controls[] = {
        {"Button1", form.Button1, "Button", 264, 128, 161, 49, "开始修复"},
        {"ProgressBar1", form.ProgressBar1, "msctls_progress32", 48, 56, 609, 49, ""},
        // Sized to its text: 36 x 12 in 宋体.
        {"Label1", form.Label1, "Static", 144, 8, TextSize(form.Font(), "Label1").cx,
         TextSize(form.Font(), "Label1").cy, "Label1"},
    };
    for (const ControlRow& row : controls) {
        SCOPED_TRACE(row.name);
        ASSERT_NE(row.control.Handle(), nullptr);
        EXPECT_EQ(GetParent(row.control.Handle()), form.Handle());
        EXPECT_EQ(lstrcmpiA(ClassOf(row.control.Handle()).c_str(), row.windowClass), 0)
            << ClassOf(row.control.Handle());
        const RECT bounds = BoundsIn(row.control.Handle());
        EXPECT_EQ(bounds.left, scale(row.left));
        EXPECT_EQ(bounds.top, scale(row.top));
        const bool label = &row.control == &form.Label1;
        EXPECT_EQ(bounds.right - bounds.left, label ? row.width : scale(row.width));
        EXPECT_EQ(bounds.bottom - bounds.top, label ? row.height : scale(row.height));
        EXPECT_EQ(TextOf(row.control.Handle()), row.caption);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(row.control.Handle(), WM_GETFONT, 0, 0)), form.Font());
    }
    EXPECT_EQ(RangeOf(form.ProgressBar1).iLow, 0);
    EXPECT_EQ(RangeOf(form.ProgressBar1).iHigh, 100);
    EXPECT_EQ(SendMessageA(form.ProgressBar1.Handle(), PBM_GETPOS, 0, 0), 0);
    EXPECT_TRUE(form.Timer1.Running());
    EXPECT_EQ(form.Timer1.Interval(), 3000u);
    EXPECT_TRUE(form.Timer2.Running());
    EXPECT_EQ(form.Timer2.Interval(), 1000u);

    // The tag the run goes by does not wait for the window to be shown.
    EXPECT_EQ(form.ShownTag(), "W7");

    // The progress bar refuses a maximum below its minimum and keeps its range.
    try {
        form.SetProgressMax(-1);
        ADD_FAILURE() << "a maximum of -1 was taken";
    } catch (const repair::Error& error) {
        EXPECT_EQ(error.ClassName(), "EPropertyError");
        // Pinned as its code page 936 bytes: the text reaches the binary converted from this UTF-8 source.
        EXPECT_EQ(error.Message(), "TProgressBar \xCA\xF4\xD0\xD4\xB3\xAC\xBD\xE7");
    }
    EXPECT_EQ(RangeOf(form.ProgressBar1).iLow, 0);
    EXPECT_EQ(RangeOf(form.ProgressBar1).iHigh, 100);
    form.SetProgressMax(7);
    EXPECT_EQ(RangeOf(form.ProgressBar1).iHigh, 7);
    form.SetProgressMax(100);

    // Shown: FormShow puts the tag into Label1, which fits itself to it; Button1 has the focus.
    const int changesBefore = Recorded().visibilityChanges;
    form.Show(SW_SHOWNORMAL);
    EXPECT_TRUE(form.Visible());
    EXPECT_GT(Recorded().visibilityChanges, changesBefore);
    EXPECT_EQ(TextOf(form.Label1.Handle()), "W7");
    const RECT label = BoundsIn(form.Label1.Handle());
    EXPECT_EQ(label.right - label.left, TextSize(form.Font(), "W7").cx);
    EXPECT_LT(label.right - label.left, TextSize(form.Font(), "Label1").cx);
    EXPECT_EQ(label.bottom - label.top, TextSize(form.Font(), "W7").cy);
    PumpFor(50);
    EXPECT_EQ(GetFocus(), form.Button1.Handle());

    // The countdown: Timer2 ticks a second after creation.
    EXPECT_TRUE(PumpUntil([&] { return CountDown == 3; }, 2500));
    EXPECT_GE(GetTickCount() - created, 900u);
    EXPECT_EQ(TextOf(form.Button1.Handle()), "开始修复(3)");

    // Timer1 presses Button1 three seconds after creation; with no file list beside this program the run
    // ends at the progress range, and the error goes to the error box.
    EXPECT_TRUE(PumpUntil([] { return !Recorded().errors.empty(); }, 3500));
    EXPECT_GE(GetTickCount() - created, 2900u);
    ASSERT_EQ(Recorded().errors.size(), 1u);
    EXPECT_EQ(Recorded().errors[0].className, "EPropertyError");
    EXPECT_EQ(Recorded().errors[0].message, "TProgressBar 属性超界");
    EXPECT_FALSE(form.Timer1.Running());
    EXPECT_FALSE(form.Timer2.Running());
    const std::string lastCaption = TextOf(form.Button1.Handle());
    EXPECT_TRUE(lastCaption == "开始修复(2)" || lastCaption == "开始修复(1)") << lastCaption;
    const int lastCount = CountDown;
    PumpFor(1300);
    EXPECT_EQ(CountDown, lastCount);
    EXPECT_EQ(TextOf(form.Button1.Handle()), lastCaption);
    EXPECT_EQ(Recorded().errors.size(), 1u) << "Timer1 pressed again";
    EXPECT_TRUE(form.Visible());

    // Stopping a stopped timer does nothing.
    form.StopTimer1();
    form.StopTimer2();
    EXPECT_FALSE(form.Timer1.Running());

    // Space and Enter press the focused Button1, which runs again.
    SetFocus(form.Button1.Handle());
    PostMessageA(form.Button1.Handle(), WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageA(form.Button1.Handle(), WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001));
    EXPECT_TRUE(PumpUntil([] { return Recorded().errors.size() == 2; }, 1000))
        << "Space did not press Button1";
    PostMessageA(form.Button1.Handle(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(form.Button1.Handle(), WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001));
    EXPECT_TRUE(PumpUntil([] { return Recorded().errors.size() == 3; }, 1000))
        << "Enter did not press Button1";
    EXPECT_TRUE(Recorded().messages.empty());

    // Closing the main window ends the application.
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
    PumpFor(50);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(Recorded().terminations, 1);

    App().SetMainForm(nullptr);
    Form1 = nullptr;
}

TEST(CountdownCaption, CountInParentheses) {
    const std::pair<int, const char*> cases[] = {
        {3, "开始修复(3)"},   {1, "开始修复(1)"},     {0, "开始修复(0)"},
        {-1, "开始修复(-1)"}, {-27, "开始修复(-27)"}, {2147483647, "开始修复(2147483647)"},
    };
    for (const auto& [count, caption] : cases) {
        EXPECT_EQ(CountdownCaption(count), caption) << count;
    }
}

class TTestForm : public ui::TForm {
public:
    explicit TTestForm(const char* design)
        : TForm("TTestForm"),
          Button1(*this, "Button1"),
          ProgressBar1(*this, "ProgressBar1"),
          Timer1(*this, "Timer1") {
        BindHandler("Fail", &TTestForm::Fail);
        BindHandler("FailTick", &TTestForm::FailTick);
        LoadDesign(design);
    }

    ui::TButton Button1;
    ui::TProgressBar ProgressBar1;
    ui::TTimer Timer1;
    int ticks = 0;

    void Fail(ui::TComponent*) { repair::Error("ETestError", "按钮出错").Raise(); }
    void FailTick(ui::TComponent*) {
        ++ticks;
        repair::Error("ETestError", "计时出错").Raise();
    }
};

TEST(TestForm, ErrorsInHandlersGoToTheErrorBoxAndTheFormGoesOn) {
    App();
    Recorded() = {};
    TTestForm form("FAILING");
    form.Show(SW_SHOWNORMAL);
    SendMessageA(form.Button1.Handle(), BM_CLICK, 0, 0);
    ASSERT_GE(Recorded().errors.size(), 1u);
    EXPECT_EQ(Recorded().errors[0].className, "ETestError");
    EXPECT_EQ(Recorded().errors[0].message, "按钮出错");

    // A failing tick leaves the timer running.
    EXPECT_TRUE(PumpUntil([&] { return form.ticks >= 3; }, 3000));
    EXPECT_TRUE(form.Timer1.Running());
    EXPECT_EQ(Recorded().errors.back().message, "计时出错");
    EXPECT_EQ(Recorded().errors.size(), 1u + form.ticks);

    // Disabled twice, it stays quiet; enabled again, it ticks again.
    form.Timer1.SetEnabled(false);
    form.Timer1.SetEnabled(false);
    const int ticks = form.ticks;
    PumpFor(300);
    // cppcheck-suppress knownConditionTrueFalse ; the timer handler changes ticks while messages are pumped
    EXPECT_EQ(form.ticks, ticks);
    form.Timer1.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return form.ticks > ticks; }, 1000));
    form.Close();
    EXPECT_EQ(Recorded().terminations, 0) << "only the main form ends the application";
}

TEST(TestForm, ATimerThatCannotBeSetRaisesTheTimerError) {
    App();
    TTestForm form("IDLE_TIMER");
    EXPECT_FALSE(form.Timer1.Running());
    DestroyWindow(form.Handle());  // no window, no timer
    EXPECT_EQ(form.Handle(), nullptr);
    try {
        form.Timer1.SetEnabled(true);
        ADD_FAILURE() << "the timer started";
    } catch (const repair::Error& error) {
        EXPECT_EQ(error.ClassName(), "EOutOfResources");
        EXPECT_EQ(error.Message(), "可用的计时器不足");
    }
}

TEST(TestForm, DesignsThatCannotBeAppliedRaiseReadErrors) {
    App();
    struct Row {
        const char* design;
        const char* className;
        const char* message;
    };
    const Row rows[] = {
        {"BAD_MAX", "EReadError", "读错误 ProgressBar1.Max: TProgressBar 属性超界"},
        {"BAD_HANDLER", "EReadError", "读错误 Button1.OnClick: 方法 Missing 不存在"},
        {"BAD_PROPERTY", "EReadError", "读错误 TestForm.Colour: 属性 Colour 不存在"},
        {"BAD_VALUE", "EReadError", "读错误 Timer1.Interval: 无效的属性值"},
        {"BAD_WORD", "EReadError", "读错误 TestForm.Frame: 无效的属性值"},
        {"BAD_CLASS", "EComponentError", "组件 Button1 不是 TLabel"},
        {"NO_SUCH_DESIGN", "EResNotFound", "找不到资源 NO_SUCH_DESIGN"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.design);
        try {
            TTestForm form(row.design);
            ADD_FAILURE() << "the design was applied";
        } catch (const repair::Error& error) {
            EXPECT_EQ(error.ClassName(), row.className);
            EXPECT_EQ(error.Message(), row.message);
        }
    }
}

}  // namespace
