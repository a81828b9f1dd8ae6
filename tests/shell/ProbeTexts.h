// Texts the shell probe shows and the driver expects, by the names the driver passes on the command line.
#pragma once

#include <string>

namespace probe {

inline constexpr char kShortMessage[] = "修复完毕";
// Wider than half the screen, so that it wraps; with a tab, line breaks and an "&" shown as it is, and a
// key without a blank, of letters and double-byte characters, wider than half the screen on its own.
inline constexpr char kLongMessage[] =
    "修复完毕\r\n以下文件未能复制：\r\nmsado15.dll\tA&B\r\n"
    "This line is long enough to be wrapped by the dialog at half the width of the screen, since no "
    "message dialog should grow wider than that however long a single line of its text may be.\r\n"
    "组件\\数据源\\ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789数据源数据源数据源"
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789数据源数据源数据源.dll";

// Taller than the work area of the test display (the screen less a task bar's 200 pixels at the bottom)
// leaves for the dialog, yet shorter than the whole screen: the work area alone sets the dialog's height.
inline const char* TallMessage() {
    static const std::string text = [] {
        std::string lines = "以下文件未能复制：";
        for (int i = 1; i <= 50; ++i) lines += "\r\nmsado" + std::to_string(i) + ".dll";
        return lines;
    }();
    return text.c_str();
}

inline constexpr char kErrorLetter[] = "Access denied";
inline constexpr char kErrorDot[] = "已完成.";
inline constexpr char kErrorDoubleByte[] = "TProgressBar 属性超界";

inline constexpr char kFailureClass[] = "EReadError";
inline constexpr char kFailureMessage[] = "读错误 Timer1.OnTimer: 可用的计时器不足";

// The probe's own stand-in for a form.
inline constexpr char kProbeFormClass[] = "ProbeForm";

}  // namespace probe
