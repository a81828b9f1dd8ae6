#include "repair/FileList.h"

#include <gtest/gtest.h>

#include "tests/unit/FakePlatform.h"

namespace {

using text::LeadBytes;

TEST(FileList, ProgramDirectoryCutsAfterLastDelimiterByCharacters) {
    struct Case {
        const char* name;
        std::string modulePath;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", "C:\\Tools\\MdacRepair.exe", "C:\\Tools\\"},
        {"root", "C:\\MdacRepair.exe", "C:\\"},
        {"drive-relative", "C:MdacRepair.exe", "C:"},
        {"no delimiter", "MdacRepair.exe", ""},
        {"trail byte 5C in folder", "C:\\淺\\MdacRepair.exe", "C:\\淺\\"},
        {"trail byte 5C in file name", "C:\\dir\\淺.exe", "C:\\dir\\"},
        {"unc", "\\\\server\\share\\x.exe", "\\\\server\\share\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(repair::ProgramDirectory(c.modulePath, LeadBytes::CodePage936()), c.expected) << c.name;
    }
    // On a single-byte code page the same bytes are a "\".
    EXPECT_EQ(repair::ProgramDirectory("C:\\dir\\淺.exe", LeadBytes::SingleByte()), "C:\\dir\\\x9C\\");
}

TEST(FileList, ListFolderIsW7OnlyForTheExactTag) {
    struct Case {
        std::string tag;
        const char* folder;
    };
    const Case cases[] = {
        {"W7", "w7"}, {" W7 ", "w7"}, {"\tW7\r\n", "w7"}, {"w7", "xp"},     {"XP", "xp"},     {"Vista", "xp"},
        {"", "xp"},   {"W 7", "xp"},  {"W7X", "xp"},      {"Label1", "xp"}, {"W7\x7F", "xp"},
    };
    for (const Case& c : cases) EXPECT_EQ(repair::ChooseListFolder(c.tag), c.folder) << "[" << c.tag << "]";
}

TEST(FileList, SystemBaseAndListPath) {
    EXPECT_EQ(repair::SystemBaseFrom("C:\\Program Files\\Common Files"),
              "C:\\Program Files\\Common Files\\System");
    EXPECT_EQ(repair::SystemBaseFrom(""), "\\System");
    EXPECT_EQ(repair::SystemBaseFrom("C:\\"), "C:\\\\System");  // nothing is added or removed
    EXPECT_EQ(repair::FileListPath("C:\\Tools\\", "w7"), "C:\\Tools\\w7\\文件列表.ini");
}

TEST(FileList, SplitKeyNamesStopsAtFirstEmptyName) {
    struct Case {
        const char* name;
        std::string buffer;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"one", std::string("a.dll\0", 6), {"a.dll"}},
        {"order kept", std::string("b\0a\0c\0", 6), {"b", "a", "c"}},
        {"double NUL ends", std::string("a\0\0b\0", 5), {"a"}},
        {"cut last name", std::string("a\0bc", 4), {"a", "bc"}},
    };
    for (const Case& c : cases) EXPECT_EQ(repair::SplitKeyNames(c.buffer), c.expected) << c.name;
}

TEST(FileList, PlaceholderReplacedEverywhereButNeverInInsertedText) {
    const LeadBytes cp936 = LeadBytes::CodePage936();
    struct Case {
        const char* name;
        std::string value;
        std::string base;
        std::string expected;
    };
    const Case cases[] = {
        {"one", "路径\\ado\\a.dll", "C:\\S", "C:\\S\\ado\\a.dll"},
        {"two", "路径\\x路径", "B", "B\\xB"},
        {"none", "D:\\x.dll", "B", "D:\\x.dll"},
        {"empty", "", "B", ""},
        {"adjacent", "路径路径", "B", "BB"},
        {"base holds the placeholder", "路径\\a", "X路径", "X路径\\a"},
        {"unset variable", "路径\\ado\\a.dll", "\\System", "\\System\\ado\\a.dll"},
        // C2 C2 is one character; the placeholder's bytes after its lead byte are not a match.
        {"bytes across a boundary", "\xC2\xC2\xB7\xBE\xB6", "B", "\xC2\xC2\xB7\xBE\xB6"},
        {"case sensitive ascii around", "a路径A", "b", "abA"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(repair::ReplacePlaceholder(c.value, c.base, cp936), c.expected) << c.name;
}

TEST(FileList, DeriveRepairAction) {
    struct Case {
        const char* name;
        std::string key, value;
        repair::RepairAction expected;
    };
    const Case cases[] = {
        {"ado file",
         "msado15.dll",
         "路径\\ado\\msado15.dll",
         {"C:\\Tools\\xp\\msado15.dll", "C:\\CF\\System\\ado\\msado15.dll",
          "regsvr32 \"C:\\CF\\System\\ado\\msado15.dll\" -s"}},
        {"key with folder",
         "sub\\a.dll",
         "D:\\x.dll",
         {"C:\\Tools\\xp\\sub\\a.dll", "D:\\x.dll", "regsvr32 \"D:\\x.dll\" -s"}},
        {"empty value", "a.dll", "", {"C:\\Tools\\xp\\a.dll", "", "regsvr32 \"\" -s"}},
    };
    for (const Case& c : cases) {
        const repair::RepairAction a = repair::DeriveRepairAction("C:\\Tools\\", "xp", "C:\\CF\\System",
                                                                  c.key, c.value, LeadBytes::CodePage936());
        EXPECT_EQ(a.source, c.expected.source) << c.name;
        EXPECT_EQ(a.destination, c.expected.destination) << c.name;
        EXPECT_EQ(a.command, c.expected.command) << c.name;
    }
}

TEST(FileList, ReadsKeysAndValuesThroughThePlatform) {
    fakes::Journal journal;
    fakes::FakePlatform platform(journal);
    const std::string path = "C:\\Tools\\xp\\文件列表.ini";
    platform.files[path] = "[文件列表]\r\nb.dll=路径\\ado\\b.dll\r\na.dll=x\r\n";
    EXPECT_EQ(repair::ReadFileListKeys(platform, path), (std::vector<std::string>{"b.dll", "a.dll"}));
    EXPECT_EQ(repair::ReadFileListValue(platform, path, "b.dll"), "路径\\ado\\b.dll");
    EXPECT_EQ(repair::ReadFileListValue(platform, path, "missing"), "");
    EXPECT_TRUE(repair::ReadFileListKeys(platform, "C:\\nowhere.ini").empty());
}

}  // namespace
