// The window design format: a form and its components, each with its properties, as text.
//
//   object Form1: TForm1
//     Caption = 'mdac修复工具'
//     Frame = Dialog
//     OnCreate = FormCreate
//     object Label1: TLabel
//       Left = 144
//     end
//   end
//
// Values are integers, quoted strings ('' inside stands for one quote, #<decimal> for one UTF-16 code unit,
// pieces written side by side join), identifiers (names of constants and handlers) and sets of identifiers.
// Lines starting with // are comments. The design is stored as UTF-16 text; its strings stay UTF-16 until the
// window layer converts them to the thread's ANSI code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "repair/Errors.h"

namespace ui {

struct DesignValue {
    enum class Kind { Integer, String, Identifier, Set };
    Kind kind = Kind::Integer;
    std::int32_t integer = 0;
    std::u16string string;
    std::string identifier;
    std::vector<std::string> set;
};

struct DesignProperty {
    std::string name;  // may be dotted: Font.Name
    DesignValue value;
    int line = 0;
};

struct DesignObject {
    std::string name;
    std::string className;
    std::vector<DesignProperty> properties;  // in the order written
    std::vector<DesignObject> children;      // in the order written
};

// The UTF-16 text of a design resource stored little-endian: a byte-order mark at the start and NUL
// code units at the end (resource compilers may add them) are dropped. Throws EParserError for an odd
// number of bytes.
std::u16string Utf16FromLittleEndian(std::string_view bytes);

// Parses a design holding one top-level object. Throws EParserError naming the line of the first fault.
DesignObject ParseDesign(std::u16string_view text);

// The error a design property raises while it is applied: class EReadError, text
// "读错误 <component>.<property>: <text of the first error>".
repair::Error ReadError(const std::string& component, const std::string& property,
                        const std::string& firstError);

}  // namespace ui
