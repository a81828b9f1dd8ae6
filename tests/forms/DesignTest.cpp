#include "ui/Design.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

using Kind = DesignValue::Kind;

const DesignProperty& Find(const DesignObject& object, const std::string& name) {
    for (const DesignProperty& property : object.properties) {
        if (property.name == name) return property;
    }
    throw std::runtime_error("no property " + name);
}

TEST(ParseDesign, ObjectsKeepTheirPropertiesAndChildrenInWrittenOrder) {
    const DesignObject form = ParseDesign(
        u"// the main window\r\n"
        u"object Form1: TForm1\r\n"
        u"  Left = 209\r\n"
        u"  Font.Name = 'x'\r\n"
        u"  object Label1: TLabel\r\n"
        u"    Top = 8\r\n"
        u"  end\r\n"
        u"  Color = COLOR_BTNFACE\r\n"
        u"  object Panel1 : TPanel\r\n"
        u"    object Inner: TButton\r\n"
        u"    end\r\n"
        u"  end\r\n"
        u"end\r\n");
    EXPECT_EQ(form.name, "Form1");
    EXPECT_EQ(form.className, "TForm1");
    ASSERT_EQ(form.properties.size(), 3u);
    EXPECT_EQ(form.properties[0].name, "Left");
    EXPECT_EQ(form.properties[0].line, 3);
    EXPECT_EQ(form.properties[1].name, "Font.Name");
    EXPECT_EQ(form.properties[2].name, "Color");
    EXPECT_EQ(form.properties[2].line, 8);
    ASSERT_EQ(form.children.size(), 2u);
    EXPECT_EQ(form.children[0].name, "Label1");
    EXPECT_EQ(form.children[0].className, "TLabel");
    EXPECT_EQ(Find(form.children[0], "Top").value.integer, 8);
    EXPECT_EQ(form.children[1].className, "TPanel");
    ASSERT_EQ(form.children[1].children.size(), 1u);
    EXPECT_EQ(form.children[1].children[0].name, "Inner");
    EXPECT_TRUE(form.children[1].children[0].properties.empty());
}

struct ValueCase {
    const char* label;
    std::u16string written;
    Kind kind;
    std::int32_t integer;
    std::u16string string;
    std::string identifier;
    std::vector<std::string> set;
};

TEST(ParseDesign, ValuesOfEveryKind) {
    const ValueCase cases[] = {
        {"integer", u"209", Kind::Integer, 209, u"", "", {}},
        {"negative integer", u"-12", Kind::Integer, -12, u"", "", {}},
        {"plus sign", u"+7", Kind::Integer, 7, u"", "", {}},
        {"largest integer", u"2147483647", Kind::Integer, 2147483647, u"", "", {}},
        {"smallest integer", u"-2147483648", Kind::Integer, -2147483647 - 1, u"", "", {}},
        {"plain string", u"'Label1'", Kind::String, 0, u"Label1", "", {}},
        {"string beyond ASCII", u"'mdac修复工具'", Kind::String, 0, u"mdac修复工具", "", {}},
        {"empty string", u"''", Kind::String, 0, u"", "", {}},
        {"doubled quote", u"'it''s'", Kind::String, 0, u"it's", "", {}},
        {"only a quote", u"''''", Kind::String, 0, u"'", "", {}},
        {"character codes", u"#23435#20307", Kind::String, 0, u"宋体", "", {}},
        {"pieces joined", u"'a'#13#10'b'", Kind::String, 0, u"a\r\nb", "", {}},
        {"code then quote", u"#39'x'", Kind::String, 0, u"'x", "", {}},
        {"identifier", u"COLOR_BTNFACE", Kind::Identifier, 0, u"", "COLOR_BTNFACE", {}},
        {"handler name", u"Button1Click", Kind::Identifier, 0, u"", "Button1Click", {}},
        {"empty set", u"[]", Kind::Set, 0, u"", "", {}},
        {"set of one", u"[Dialog]", Kind::Set, 0, u"", "", {"Dialog"}},
        {"set of two", u"[ Dialog , ANSI_CHARSET ]", Kind::Set, 0, u"", "", {"Dialog", "ANSI_CHARSET"}},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.label);
        const DesignObject object = ParseDesign(u"object A: TA\n  P = " + c.written + u"\nend");
        ASSERT_EQ(object.properties.size(), 1u);
        const DesignValue& value = object.properties[0].value;
        EXPECT_EQ(value.kind, c.kind);
        EXPECT_EQ(value.integer, c.integer);
        EXPECT_EQ(value.string, c.string);
        EXPECT_EQ(value.identifier, c.identifier);
        EXPECT_EQ(value.set, c.set);
    }
}

struct FaultCase {
    const char* label;
    std::u16string design;
    int line;
};

TEST(ParseDesign, FaultsNameTheirLine) {
    const FaultCase cases[] = {
        {"empty design", u"", 1},
        {"missing end", u"object A: TA\n  Left = 1\n", 3},
        {"missing class", u"object A\nend", 1},
        {"missing equals sign", u"object A: TA\n  Left 1\nend", 2},
        {"missing value", u"object A: TA\n  Left =\nend", 2},
        {"unterminated string", u"object A: TA\n\n  Caption = 'abc\nend", 3},
        {"character code too large", u"object A: TA\n  Caption = #65536\nend", 2},
        {"integer too large", u"object A: TA\n  Left = 2147483648\nend", 2},
        {"integer too small", u"object A: TA\n  Left = -2147483649\nend", 2},
        {"digits run into a name", u"object A: TA\n  Left = 12px\nend", 2},
        {"unclosed set", u"object A: TA\n  Frame = [a, b\nend", 2},
        {"text after the design", u"object A: TA\nend\nobject B: TB\nend", 3},
        {"name beyond ASCII", u"object 窗体: TA\nend", 1},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.label);
        try {
            ParseDesign(c.design);
            ADD_FAILURE() << "parsed";
        } catch (const repair::Error& e) {
            EXPECT_EQ(e.ClassName(), "EParserError");
            EXPECT_EQ(e.Message().rfind("窗体设计第 " + std::to_string(c.line) + " 行: ", 0), 0u)
                << e.Message();
        }
    }
}

struct DecodeCase {
    const char* label;
    std::string bytes;
    std::u16string text;
};

TEST(Utf16FromLittleEndian, ReadsCodeUnitsLowByteFirst) {
    const DecodeCase cases[] = {
        {"ASCII", std::string("o\0b\0", 4), u"ob"},
        {"beyond ASCII", std::string("\x8b\x5b\x53\x4f", 4), u"宋体"},
        {"byte-order mark dropped", std::string("\xff\xfeo\0", 4), u"o"},
        {"terminating NULs dropped", std::string("o\0\0\0\0\0", 6), u"o"},
        {"a mark inside stays", std::string("o\0\xff\xfe", 4), u"o\uFEFF"},
        {"nothing", std::string(), u""},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Utf16FromLittleEndian(c.bytes), c.text);
    }
}

TEST(Utf16FromLittleEndian, RefusesAnOddNumberOfBytes) {
    EXPECT_THROW(Utf16FromLittleEndian(std::string("o\0b", 3)), repair::Error);
}

TEST(ReadError, NamesComponentPropertyAndTheFirstError) {
    const repair::Error error = ReadError("Timer1", "OnTimer", "可用的计时器不足");
    EXPECT_EQ(error.ClassName(), "EReadError");
    EXPECT_EQ(error.Message(), "读错误 Timer1.OnTimer: 可用的计时器不足");
    EXPECT_EQ(ReadError("TProgressBar", "Max", "TProgressBar 属性超界").Message(),
              "读错误 TProgressBar.Max: TProgressBar 属性超界");
}

}  // namespace
}  // namespace ui
