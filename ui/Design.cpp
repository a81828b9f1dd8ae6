#include "ui/Design.h"

#include <limits>

namespace ui {
namespace {

repair::Error ParserError(int line, const std::string& what) {
    return repair::Error("EParserError", "窗体设计第 " + std::to_string(line) + " 行: " + what);
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsNameStart(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}
bool IsNamePart(char16_t c) {
    return IsNameStart(c) || IsDigit(c);
}

class Parser {
public:
    explicit Parser(std::u16string_view text) : text_(text) {}

    DesignObject Design() {
        SkipBlanks();
        DesignObject root = Object();
        SkipBlanks();
        if (!AtEnd()) Fail("设计结尾多余的文字");
        return root;
    }

private:
    DesignObject Object() {
        if (Name() != "object") Fail("应为 object");
        DesignObject object;
        object.name = Name();
        Expect(u':');
        object.className = Name();
        for (;;) {
            SkipBlanks();
            if (AtEnd()) Fail("缺少 end");
            const std::size_t start = pos_;
            const int line = line_;
            const std::string word = DottedName();
            if (word == "end") return object;
            if (word == "object") {
                pos_ = start;
                line_ = line;
                object.children.push_back(Object());
                continue;
            }
            DesignProperty property;
            property.name = word;
            property.line = line;
            Expect(u'=');
            property.value = Value();
            object.properties.push_back(std::move(property));
        }
    }

    DesignValue Value() {
        SkipSpaces();
        DesignValue value;
        const char16_t c = Peek();
        if (c == u'\'' || c == u'#') {
            value.kind = DesignValue::Kind::String;
            value.string = String();
        } else if (c == u'-' || c == u'+' || IsDigit(c)) {
            value.kind = DesignValue::Kind::Integer;
            value.integer = Integer();
        } else if (c == u'[') {
            value.kind = DesignValue::Kind::Set;
            ++pos_;
            SkipSpaces();
            if (Peek() != u']') {
                for (;;) {
                    value.set.push_back(Name());
                    SkipSpaces();
                    if (Peek() != u',') break;
                    ++pos_;
                }
            }
            Expect(u']');
        } else if (IsNameStart(c)) {
            value.kind = DesignValue::Kind::Identifier;
            value.identifier = Name();
        } else {
            Fail("应为属性值");
        }
        return value;
    }

    // Quoted pieces and #<code> pieces written side by side, on one line.
    std::u16string String() {
        std::u16string result;
        for (;;) {
            const char16_t c = Peek();
            if (c == u'\'') {
                ++pos_;
                for (;;) {
                    if (AtEnd() || Peek() == u'\r' || Peek() == u'\n') Fail("字符串没有结束");
                    const char16_t d = text_[pos_++];
                    if (d != u'\'') {
                        result += d;
                    } else if (Peek() == u'\'') {
                        result += d;
                        ++pos_;
                    } else {
                        break;
                    }
                }
            } else if (c == u'#') {
                ++pos_;
                if (!IsDigit(Peek())) Fail("# 后应为字符编码");
                long code = 0;
                while (IsDigit(Peek())) {
                    code = code * 10 + (text_[pos_++] - u'0');
                    if (code > 0xFFFF) Fail("字符编码超界");
                }
                result += static_cast<char16_t>(code);
            } else {
                return result;
            }
        }
    }

    std::int32_t Integer() {
        bool negative = false;
        if (Peek() == u'-' || Peek() == u'+') negative = text_[pos_++] == u'-';
        if (!IsDigit(Peek())) Fail("应为数字");
        long long magnitude = 0;
        const long long limit = negative ? -static_cast<long long>(std::numeric_limits<std::int32_t>::min())
                                         : std::numeric_limits<std::int32_t>::max();
        while (IsDigit(Peek())) {
            magnitude = magnitude * 10 + (text_[pos_++] - u'0');
            if (magnitude > limit) Fail("整数超界");
        }
        if (IsNamePart(Peek())) Fail("应为数字");
        return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    }

    // A name of letters, digits and "_", starting with a letter or "_".
    std::string Name() {
        SkipSpaces();
        if (!IsNameStart(Peek())) Fail("应为名称");
        std::string name;
        while (IsNamePart(Peek())) name += static_cast<char>(text_[pos_++]);
        return name;
    }

    // Names joined by ".", as property names of parts are written (Font.Name).
    std::string DottedName() {
        std::string name = Name();
        while (Peek() == u'.') {
            ++pos_;
            name += '.';
            if (!IsNameStart(Peek())) Fail("应为名称");
            name += Name();
        }
        return name;
    }

    void Expect(char16_t c) {
        SkipSpaces();
        if (Peek() != c) Fail(std::string("应为 ") + static_cast<char>(c));
        ++pos_;
    }

    // Blanks within a line.
    void SkipSpaces() {
        while (Peek() == u' ' || Peek() == u'\t') ++pos_;
    }

    // Blanks, line breaks and comment lines.
    void SkipBlanks() {
        for (;;) {
            if (AtEnd()) return;
            const char16_t c = text_[pos_];
            if (IsBlank(c)) {
                if (c == u'\n') ++line_;
                ++pos_;
            } else if (c == u'/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == u'/') {
                while (!AtEnd() && text_[pos_] != u'\n') ++pos_;
            } else {
                return;
            }
        }
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
    [[noreturn]] void Fail(const std::string& what) const { ParserError(line_, what).Raise(); }

    std::u16string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

std::u16string Utf16FromLittleEndian(std::string_view bytes) {
    if (bytes.size() % 2 != 0) ParserError(0, "UTF-16 文字的字节数为奇数").Raise();
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    if (!text.empty() && text.front() == u'\uFEFF') text.erase(0, 1);
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

DesignObject ParseDesign(std::u16string_view text) {
    return Parser(text).Design();
}

repair::Error ReadError(const std::string& component, const std::string& property,
                        const std::string& firstError) {
    return repair::Error("EReadError", "读错误 " + component + "." + property + ": " + firstError);
}

}  // namespace ui
