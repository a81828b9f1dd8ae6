// The main window's design as the program's resources hold it: read from resources/Unit1.rc the way the
// resource compiler turns its wide strings into UTF-16, then parsed.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Unit1DesignPath.h"
#include "ui/Design.h"

namespace ui {
namespace {

// The wide strings of the resource, joined, with the escapes the resource compiler understands.
std::u16string DesignFromResourceScript(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::u16string text;
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t open = line.find("L\"");
        if (open == std::string::npos || line.find("//") < open) continue;
        for (std::size_t i = open + 2; i < line.size() && line[i] != '"'; ++i) {
            if (static_cast<unsigned char>(line[i]) >= 0x80)
                throw std::runtime_error("non-ASCII byte: " + line);
            if (line[i] != '\\') {
                text += static_cast<char16_t>(line[i]);
                continue;
            }
            const char escaped = line[++i];
            if (escaped == 'r') {
                text += u'\r';
            } else if (escaped == 'n') {
                text += u'\n';
            } else if (escaped == 'x') {
                std::size_t digits = 0;
                text += static_cast<char16_t>(std::stoul(line.substr(i + 1), &digits, 16));
                i += digits;
            } else {
                text += static_cast<char16_t>(escaped);
            }
        }
    }
    return text;
}

const DesignValue& Value(const DesignObject& object, const std::string& name) {
    for (const DesignProperty& property : object.properties) {
        if (property.name == name) return property.value;
    }
    throw std::runtime_error(object.name + " has no " + name);
}

TEST(Unit1Design, HoldsTheMainWindowAsDesigned) {
    const DesignObject form = ParseDesign(DesignFromResourceScript(kUnit1DesignPath));
    EXPECT_EQ(form.name, "Form1");
    EXPECT_EQ(form.className, "TForm1");

    struct IntegerRow {
        const char* property;
        int value;
    };
    for (const IntegerRow& row : {IntegerRow{"Left", 209},
                                  {"Top", 202},
                                  {"ClientWidth", 680},
                                  {"ClientHeight", 215},
                                  {"Font.Height", -12},
                                  {"PixelsPerInch", 96},
                                  {"TextHeight", 12}}) {
        EXPECT_EQ(Value(form, row.property).integer, row.value) << row.property;
    }
    EXPECT_EQ(Value(form, "Caption").string, u"mdac修复工具");
    EXPECT_EQ(Value(form, "Font.Name").string, u"宋体");
    EXPECT_EQ(Value(form, "Font.Charset").identifier, "ANSI_CHARSET");
    EXPECT_EQ(Value(form, "Color").identifier, "COLOR_BTNFACE");
    EXPECT_EQ(Value(form, "Font.Color").identifier, "COLOR_WINDOWTEXT");
    EXPECT_EQ(Value(form, "Frame").identifier, "Dialog");
    EXPECT_EQ(Value(form, "OnCreate").identifier, "FormCreate");
    EXPECT_EQ(Value(form, "OnShow").identifier, "FormShow");

    struct ControlRow {
        const char* name;
        const char* className;
        int left, top, width, height;
    };
    const ControlRow controls[] = {
        {"Label1", "TLabel", 144, 8, 36, 12},
        {"Button1", "TButton", 264, 128, 161, 49},
        {"ProgressBar1", "TProgressBar", 48, 56, 609, 49},
    };
    ASSERT_EQ(form.children.size(), 5u);
    for (std::size_t i = 0; i < 3; ++i) {
        const ControlRow& row = controls[i];
        const DesignObject& control = form.children[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control.name, row.name);
        EXPECT_EQ(control.className, row.className);
        EXPECT_EQ(Value(control, "Left").integer, row.left);
        EXPECT_EQ(Value(control, "Top").integer, row.top);
        EXPECT_EQ(Value(control, "Width").integer, row.width);
        EXPECT_EQ(Value(control, "Height").integer, row.height);
    }
    const DesignObject& label = form.children[0];
    const DesignObject& button = form.children[1];
    const DesignObject& progress = form.children[2];
    EXPECT_EQ(Value(label, "Caption").string, u"Label1");
    EXPECT_EQ(Value(button, "Caption").string, u"开始修复");
    EXPECT_EQ(Value(button, "TabOrder").integer, 0);
    EXPECT_EQ(Value(button, "OnClick").identifier, "Button1Click");
    EXPECT_EQ(Value(progress, "TabOrder").integer, 1);
    EXPECT_EQ(Value(progress, "Min").integer, 0);
    EXPECT_EQ(Value(progress, "Max").integer, 100);
    EXPECT_EQ(Value(progress, "Position").integer, 0);

    struct TimerRow {
        const char* name;
        int interval;
        const char* handler;
    };
    const TimerRow timers[] = {{"Timer1", 3000, "Timer1Timer"}, {"Timer2", 1000, "Timer2Timer"}};
    for (std::size_t i = 0; i < 2; ++i) {
        const DesignObject& timer = form.children[3 + i];
        SCOPED_TRACE(timers[i].name);
        EXPECT_EQ(timer.name, timers[i].name);
        EXPECT_EQ(timer.className, "TTimer");
        EXPECT_EQ(Value(timer, "Interval").integer, timers[i].interval);
        EXPECT_EQ(Value(timer, "Enabled").identifier, "True");
        // The tick handler comes last, so the timer starts with its interval already set.
        EXPECT_EQ(timer.properties.back().name, "OnTimer");
        EXPECT_EQ(timer.properties.back().value.identifier, timers[i].handler);
    }
}

}  // namespace
}  // namespace ui
