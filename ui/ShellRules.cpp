#include "ui/ShellRules.h"

#include <algorithm>

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

    int textHeight = m.textHeight;
    const int textRoom = m.maxClientHeight - (buttonHeight + verticalSpacing + 2 * verticalMargin);
    if (m.maxClientHeight > 0 && textHeight > textRoom && y > 0) textHeight = std::max(textRoom / y, 1) * y;

    MessageLayout layout;
    layout.clientWidth = std::max(m.textWidth, rowWidth) + 2 * horizontalMargin;
    layout.clientHeight = textHeight + buttonHeight + verticalSpacing + 2 * verticalMargin;
    layout.text = Box{horizontalMargin, verticalMargin, m.textWidth, textHeight};
    const int rowTop = textHeight + verticalMargin + verticalSpacing;
    int left = (layout.clientWidth - rowWidth) / 2;
    for (int i = 0; i < count; ++i) {
        layout.buttons.push_back(Box{left, rowTop, buttonWidth, buttonHeight});
        left += buttonWidth + buttonSpacing;
    }
    return layout;
}

namespace {

// Where word wrap may end a line.
bool IsWordSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string BreakLongWords(std::string_view message, int lineWidth, const text::LeadBytes& lead,
                           const TextWidthFunction& width) {
    std::string laidOut;
    laidOut.reserve(message.size());
    std::size_t start = 0;
    while (start < message.size()) {
        if (IsWordSeparator(message[start])) {
            laidOut += message[start++];
            continue;
        }
        std::size_t end = start;
        while (end < message.size() && !IsWordSeparator(message[end]))
            end = text::NextChar(message, end, lead);
        const std::string_view word = message.substr(start, end - start);
        start = end;
        if (width(word) <= lineWidth) {
            laidOut += word;
            continue;
        }
        for (std::size_t piece = 0; piece < word.size();) {
            std::size_t pieceEnd = text::NextChar(word, piece, lead);
            while (pieceEnd < word.size()) {
                const std::size_t next = text::NextChar(word, pieceEnd, lead);
                if (width(word.substr(piece, next - piece)) > lineWidth) break;
                pieceEnd = next;
            }
            if (piece > 0) laidOut += "\r\n";
            laidOut += word.substr(piece, pieceEnd - piece);
            piece = pieceEnd;
        }
    }
    return laidOut;
}

namespace {

// Where each character of `s` starts, and its end.
std::vector<std::size_t> CharacterStarts(std::string_view s, const text::LeadBytes& lead) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < s.size(); i = text::NextChar(s, i, lead)) starts.push_back(i);
    starts.push_back(s.size());
    return starts;
}

// `kept`, which a mark is to follow, without a last character that is a lead byte alone (half a
// character, as a list saved with a character cut in two has before its line break): it would pair with
// the mark's first byte and garble the mark.
std::string_view BeforeMark(std::string_view kept, const text::LeadBytes& lead) {
    const std::size_t last = text::LastCharStart(kept, lead);
    if (!kept.empty() && last + 1 == kept.size() && lead.IsLead(kept[last])) kept.remove_suffix(1);
    return kept;
}

std::string ShortenedLine(std::string_view line, int maxWidth, const text::LeadBytes& lead,
                          const TextWidthFunction& width) {
    if (width(line) <= maxWidth) return std::string(line);
    const std::vector<std::size_t> starts = CharacterStarts(line, lead);
    const int room = maxWidth - width(kShortened);
    std::size_t head = 0;  // characters kept at the start
    while (head + 1 < starts.size() && width(line.substr(0, starts[head + 1])) <= room / 2) ++head;
    const int headWidth = width(line.substr(0, starts[head]));
    std::size_t tail = starts.size() - 1;  // index of the first character kept at the end
    while (tail > head && width(line.substr(starts[tail - 1])) <= room - headWidth) --tail;
    return std::string(BeforeMark(line.substr(0, starts[head]), lead)) + kShortened +
           std::string(line.substr(starts[tail]));
}

}  // namespace

std::string ShortenLongLines(std::string_view message, int maxWidth, const text::LeadBytes& lead,
                             const TextWidthFunction& width) {
    std::string shown;
    // A line break is a single byte in every code page, and no trail byte is that small.
    for (std::size_t start = 0; start <= message.size();) {
        std::size_t end = message.find('\n', start);
        if (end == std::string_view::npos) end = message.size();
        std::size_t lineEnd = end;
        if (lineEnd > start && message[lineEnd - 1] == '\r') --lineEnd;
        shown += ShortenedLine(message.substr(start, lineEnd - start), maxWidth, lead, width);
        shown += message.substr(lineEnd, end - lineEnd + (end < message.size() ? 1 : 0));
        start = end + 1;
    }
    return shown;
}

std::string CutToHeight(std::string_view laidOut, int maxHeight, const text::LeadBytes& lead,
                        const TextHeightFunction& height) {
    if (height(laidOut) <= maxHeight) return std::string(laidOut);
    const std::vector<std::size_t> starts = CharacterStarts(laidOut, lead);
    const auto cut = [&](std::size_t characters) {
        std::string_view kept = laidOut.substr(0, starts[characters]);
        for (std::size_t size = 0; size != kept.size();) {
            size = kept.size();
            while (!kept.empty() && (kept.back() == '\r' || kept.back() == '\n')) kept.remove_suffix(1);
            kept = BeforeMark(kept, lead);
        }
        return std::string(kept) + kMoreFollows;
    };
    // The most characters that fit, found by halving: the height grows with the text kept.
    std::size_t fits = 0, tooMany = starts.size() - 1;
    while (tooMany - fits > 1) {
        const std::size_t middle = fits + (tooMany - fits) / 2;
        (height(cut(middle)) <= maxHeight ? fits : tooMany) = middle;
    }
    return cut(fits);
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
    char hex[8];
    for (char& digit : hex) {
        digit = "0123456789ABCDEF"[offset >> 28];
        offset <<= 4;
    }
    std::string text = "异常 ";
    text.append(className).append(" 发生在模块 ").append(moduleName).append(" 中的 ");
    text.append(hex, sizeof hex).append(" 位置.\n").append(message);
    if (!message.empty() && message.back() != '.') text += '.';
    if (text.size() > kStartupFailureTextLimit) text.resize(kStartupFailureTextLimit);
    return text;
}

namespace {

// Reads one length-prefixed name ("9bad_alloc") at `at` of `typeName` into `name` and moves past it.
bool ReadSourceName(std::string_view typeName, std::size_t& at, std::string_view& name) {
    std::size_t length = 0;
    const std::size_t start = at;
    while (at < typeName.size() && typeName[at] >= '0' && typeName[at] <= '9') {
        length = length * 10 + static_cast<std::size_t>(typeName[at] - '0');
        if (length > typeName.size()) return false;
        ++at;
    }
    if (at == start || length == 0 || length > typeName.size() - at) return false;
    name = typeName.substr(at, length);
    at += length;
    return true;
}

}  // namespace

std::string ClassNameFromTypeName(std::string_view typeName) {
    std::size_t at = 0;
    const bool nested = typeName.substr(0, 1) == "N";
    if (nested) ++at;
    std::string name;
    if (typeName.substr(at, 2) == "St") {
        name = "std";
        at += 2;
    }
    int parts = 0;
    while (at < typeName.size() && typeName[at] != 'E') {
        std::string_view part;
        if (!ReadSourceName(typeName, at, part)) return "";
        if (!name.empty()) name += "::";
        // The anonymous namespace's name is "_GLOBAL_", one of "._$", "N" and what the compiler adds.
        const bool anonymous = part.size() >= 10 && part.substr(0, 8) == "_GLOBAL_" &&
                               (part[8] == '.' || part[8] == '_' || part[8] == '$') && part[9] == 'N';
        name += anonymous ? std::string_view("(anonymous namespace)") : part;
        while (at < typeName.size() && typeName[at] == 'B') {
            std::string_view tag;
            if (!ReadSourceName(typeName, ++at, tag)) return "";
            name.append("[abi:").append(tag).append("]");
        }
        ++parts;
    }
    if (parts == 0) return "";
    if (nested) return at + 1 == typeName.size() ? name : "";
    return at == typeName.size() && parts == 1 ? name : "";
}

}  // namespace ui
