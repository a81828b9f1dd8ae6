#include "ui/ShellRules.h"

#include <algorithm>
#include <cstdio>

#include "ui/Scaling.h"

namespace ui {

std::string_view FileNameOf(std::string_view path, const text::LeadBytes& lead) {
    const std::size_t slash = text::LastDelimiter(path, "\\", lead);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string TitleFromModulePath(std::string_view modulePath, const text::LeadBytes& lead,
                                const LowerCaseFunction& lowerCase) {
    const std::string_view name = FileNameOf(modulePath, lead);
    const std::size_t dot = text::Find(name, ".", 0, lead);
    std::string title(name.substr(0, dot));
    if (title.empty()) return title;
    // The first character keeps its case; it may be a double-byte one.
    const std::size_t firstEnd = text::NextChar(title, 0, lead);
    std::string rest = title.substr(firstEnd);
    lowerCase(rest);
    return title.substr(0, firstEnd) + rest;
}

std::string WithClosingDot(std::string_view message, const text::LeadBytes& lead) {
    std::string result(message);
    const std::size_t last = text::LastCharStart(message, lead);
    if (last == std::string_view::npos) return result;
    // std::string_view compares as unsigned char, byte by byte.
    if (message.substr(last) > std::string_view(".")) result += '.';
    return result;
}

DialogUnits UnitsFromAlphabet(int alphabetWidth, int alphabetHeight) {
    return DialogUnits{alphabetWidth / 52, alphabetHeight};
}

MessageLayout LayOutMessage(const MessageMeasures& m) {
    const int x = m.units.x;
    const int y = m.units.y;
    const int horizontalMargin = ScaleRounded(8, x, 4);
    const int verticalMargin = ScaleRounded(8, y, 8);
    const int verticalSpacing = ScaleRounded(10, y, 8);
    const int buttonSpacing = ScaleRounded(4, x, 4);
    const int buttonHeight = ScaleRounded(14, y, 8);
    const int buttonWidth = std::max(ScaleRounded(50, x, 4), m.captionWidth + 8);
    const int count = std::max(m.buttonCount, 0);
    const int rowWidth = count == 0 ? 0 : count * buttonWidth + (count - 1) * buttonSpacing;

    MessageLayout layout;
    layout.clientWidth = std::max(m.textWidth, rowWidth) + 2 * horizontalMargin;
    layout.clientHeight = m.textHeight + buttonHeight + verticalSpacing + 2 * verticalMargin;
    layout.text = Box{horizontalMargin, verticalMargin, m.textWidth, m.textHeight};
    const int rowTop = m.textHeight + verticalMargin + verticalSpacing;
    int left = (layout.clientWidth - rowWidth) / 2;
    for (int i = 0; i < count; ++i) {
        layout.buttons.push_back(Box{left, rowTop, buttonWidth, buttonHeight});
        left += buttonWidth + buttonSpacing;
    }
    return layout;
}

std::string MessageClipboardText(std::string_view caption, std::string_view message,
                                 const std::vector<std::string>& buttonCaptions) {
    const std::string divider = std::string(27, '-') + "\r\n";
    std::string text = divider;
    text.append(caption).append("\r\n");
    text += divider;
    text.append(message).append("\r\n");
    text += divider;
    for (const std::string& button : buttonCaptions) {
        for (char c : button) {
            if (c != '&') text += c;
        }
        text += "   ";
    }
    text += "\r\n";
    text += divider;
    return text;
}

std::string StartupFailureText(std::string_view className, std::string_view moduleName, std::uint32_t offset,
                               std::string_view message) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(offset));
    std::string text = "异常 ";
    text.append(className).append(" 发生在模块 ").append(moduleName).append(" 中的 ");
    text.append(hex).append(" 位置.\n").append(message);
    if (!message.empty() && message.back() != '.') text += '.';
    if (text.size() > kStartupFailureTextLimit) text.resize(kStartupFailureTextLimit);
    return text;
}

}  // namespace ui
