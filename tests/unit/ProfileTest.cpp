// One table of INI files read two ways: natively by the tests' portable profile reader, and under Wine
// by the system's GetPrivateProfileStringA. Both builds must give the table's answers, so the two
// readers are shown to agree.
#include <gtest/gtest.h>

#include <string>

#include "repair/FileList.h"
#include "tests/unit/Profile.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* kKeyNames = nullptr;  // ask for the section's key names

struct Case {
    const char* name;
    std::string file;
    std::string section;
    const char* key;  // kKeyNames for the key-name list
    std::string expected;
    std::size_t bufferSize = 2048;
};

#ifdef _WIN32
std::string Read(const Case& c) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "profile-case.ini";
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, c.file.data(), static_cast<DWORD>(c.file.size()), &written, nullptr);
    CloseHandle(file);
    std::string buffer(c.bufferSize + 2, '\0');
    const DWORD copied = GetPrivateProfileStringA(c.section.c_str(), c.key, "", buffer.data(),
                                                  static_cast<DWORD>(c.bufferSize), path.c_str());
    DeleteFileA(path.c_str());
    return buffer.substr(0, copied);
}
#else
std::string Read(const Case& c) {
    const text::LeadBytes lead = text::LeadBytes::CodePage936();
    if (c.key == kKeyNames) return profile::KeyNames(c.file, c.section, c.bufferSize, lead);
    return profile::Value(c.file, c.section, c.key, "", c.bufferSize, lead);
}
#endif

std::string Names(std::initializer_list<const char*> names) {
    std::string out;
    for (const char* n : names) out += std::string(n) + '\0';
    return out;
}

// Key lines "k00000=v" enough to overflow a key-name buffer of `size` bytes.
std::string ManyKeys(int count) {
    std::string file = "[s]\r\n";
    for (int i = 0; i < count; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "k%05d=v\r\n", i);
        file += line;
    }
    return file;
}

const std::string kSection = "文件列表";

TEST(ProfileReading, AgreesWithTheSystemReader) {
    const std::string longValue(3000, 'x');
    const Case cases[] = {
        {"keys CRLF", "[文件列表]\r\na.dll=1\r\nb.dll=2\r\n", kSection, kKeyNames, Names({"a.dll", "b.dll"})},
        {"keys LF", "[文件列表]\na.dll=1\nb.dll=2\n", kSection, kKeyNames, Names({"a.dll", "b.dll"})},
        {"no final line break", "[文件列表]\r\na=1\r\nb=2", kSection, "b", "2"},
        {"file order kept", "[s]\r\nz=1\r\na=2\r\nm=3\r\n", "s", kKeyNames, Names({"z", "a", "m"})},
        {"blank and comment lines", "[s]\r\n\r\n; note\r\n\r\na=1\r\n", "s", kKeyNames, Names({"a"})},
        {"spaces around equals: key", "[s]\r\n  a b  =  v w  \r\n", "s", kKeyNames, Names({"a b"})},
        {"spaces around equals: value", "[s]\r\n  a b  =  v w  \r\n", "s", "a b", "v w"},
        {"tab before value", "[s]\r\na=\tv\r\n", "s", "a", "v"},
        {"double quotes", "[s]\r\na=\"x y\"\r\n", "s", "a", "x y"},
        {"single quotes", "[s]\r\na='x'\r\n", "s", "a", "x"},
        {"unbalanced quote", "[s]\r\na=\"x\r\n", "s", "a", "\"x"},
        {"mixed quotes", "[s]\r\na=\"x'\r\n", "s", "a", "\"x'"},
        {"duplicate keys listed twice", "[s]\r\na=1\r\na=2\r\n", "s", kKeyNames, Names({"a", "a"})},
        {"duplicate key: first value", "[s]\r\na=1\r\na=2\r\n", "s", "a", "1"},
        {"key without equals: value", "[s]\r\nlonely\r\na=1\r\n", "s", "lonely", ""},
        {"key without equals: not listed", "[s]\r\nlonely\r\na=1\r\n", "s", kKeyNames, Names({"a"})},
        {"text after the bracket", "[s] note\r\na=1\r\n", "s", kKeyNames, Names({"a"})},
        {"indented section", "  [s]\r\na=1\r\n", "s", kKeyNames, Names({"a"})},
        {"comment key looked up", "[s]\r\n;a=1\r\n", "s", ";a", "1"},
        {"section case", "[AbC]\r\na=1\r\n", "aBc", "a", "1"},
        {"key case", "[s]\r\nMSADO15.DLL=1\r\n", "s", "msado15.dll", "1"},
        {"missing section", "[t]\r\na=1\r\n", "s", kKeyNames, ""},
        {"missing key", "[s]\r\na=1\r\n", "s", "b", ""},
        {"empty file", "", "s", kKeyNames, ""},
        {"empty section", "[s]\r\n[t]\r\na=1\r\n", "s", kKeyNames, ""},
        {"repeated section: keys", "[s]\r\na=1\r\n[t]\r\nx=1\r\n[s]\r\nb=2\r\n", "s", kKeyNames,
         Names({"a"})},
        {"keys before any section", "a=1\r\n[s]\r\nb=2\r\n", "s", kKeyNames, Names({"b"})},
        {"empty value", "[s]\r\na=\r\n", "s", "a", ""},
        {"equals in value", "[s]\r\na=b=c\r\n", "s", "a", "b=c"},
        {"double-byte key with trail 5C", "[文件列表]\r\n淺.dll=路径\\淺\\a.dll\r\n", kSection, kKeyNames,
         Names({"淺.dll"})},
        // "乚" is 81 5D in code page 936: its trail byte is the "]" and closes no section name.
        {"trail byte 5D is no closing bracket", "[文件列表]\r\na=1\r\n[乚\r\nb=2\r\n", kSection, kKeyNames,
         Names({"a", "b"})},
        {"section name ending in trail byte 5D", "[乚]\r\na=1\r\n", "乚", "a", "1"},
        {"double-byte value with trail 5C", "[文件列表]\r\n淺.dll=路径\\淺\\a.dll\r\n", kSection, "淺.dll",
         "路径\\淺\\a.dll"},
        {"value 2047 bytes", "[s]\r\na=" + longValue.substr(0, 2047) + "\r\n", "s", "a",
         longValue.substr(0, 2047)},
        {"value 2048 bytes cut", "[s]\r\na=" + longValue.substr(0, 2048) + "\r\n", "s", "a",
         longValue.substr(0, 2047)},
        {"value 3000 bytes cut", "[s]\r\na=" + longValue + "\r\n", "s", "a", longValue.substr(0, 2047)},
        {"key names that fit", ManyKeys(3), "s", kKeyNames, Names({"k00000", "k00001", "k00002"}), 23},
        {"key names one byte short", ManyKeys(3), "s", kKeyNames, Names({"k00000", "k00001"}) + "k00002", 22},
        {"key names cut", ManyKeys(3), "s", kKeyNames, Names({"k00000", "k00001"}) + "k000", 20},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c), c.expected) << c.name;
}

TEST(ProfileReading, KeyNamesBeyondTheBufferAreCut) {
    // 3000 names of 7 bytes (with their NULs) need 21000 bytes; 16384 hold 2340 whole names, and of the
    // next only what leaves room for the closing pair of NULs.
    Case c{"overflow", ManyKeys(3000), "s", kKeyNames, "", repair::kKeyNamesBufferSize};
    const std::string names = Read(c);
    ASSERT_EQ(names.size(), repair::kKeyNamesBufferSize - 2);
    const std::vector<std::string> keys = repair::SplitKeyNames(names);
    ASSERT_EQ(keys.size(), 2341u);
    EXPECT_EQ(keys[2339], "k02339");
    EXPECT_EQ(keys[2340], "k0");
}

// One reader asked many questions in a row (the key names, then value after value, across sections)
// must answer each as a reader asked only that question does: the kept section and its index of names
// change how fast it answers, never what.
TEST(ProfileReading, OneReaderAnswersEveryQuestionAsASingleQuestion) {
    const text::LeadBytes lead = text::LeadBytes::CodePage936();
    const std::string file =
        "[s]\r\na=1\r\nA=2\r\n B = 3 \r\nlonely\r\n;c=4\r\n=empty name\r\n"
        "\x81"
        "A=lead upper\r\n\x81"
        "a=lead lower\r\n淺.dll=路径\\淺\r\nq=\"x\"\r\n"
        "[t]\r\na=t1\r\nb=t2\r\n[S]\r\nlate=9\r\n";
    const struct {
        const char* section;
        const char* key;  // kKeyNames for the key-name list
        std::string expected;
    } questions[] = {
        {"s", kKeyNames,
         Names({"a", "A", "B",
                "\x81"
                "A",
                "\x81"
                "a",
                "淺.dll", "q"})},
        {"s", "a", "1"},
        {"s", "A", "1"},  // the first line of that name in any case
        {"S", " b ", "3"},
        {"s", "lonely", ""},
        {"s", ";C", "4"},
        {"s", "", "empty name"},
        {"s",
         "\x81"
         "a",
         "lead lower"},  // a double-byte character matches only exactly
        {"s",
         "\x81"
         "A",
         "lead upper"},
        {"s", "淺.DLL", "路径\\淺"},
        {"s", "q", "x"},
        {"s", "late", ""},  // only the first section of a name counts
        {"s", "missing", ""},
        {"t", "a", "t1"},
        {"t", kKeyNames, Names({"a", "b"})},
        {"s", "b", "3"},
        {"u", "a", ""},
        {"u", kKeyNames, ""},
        {"s", "a", "1"},
    };
    profile::Reader reader(file, lead);
    for (const auto& q : questions) {
        const std::string asked = q.key ? q.key : "<key names>";
        const std::string answer =
            q.key ? reader.Value(q.section, q.key, "", 2048) : reader.KeyNames(q.section, 2048);
        const std::string single = q.key ? profile::Value(file, q.section, q.key, "", 2048, lead)
                                         : profile::KeyNames(file, q.section, 2048, lead);
        EXPECT_EQ(answer, q.expected) << q.section << " / " << asked;
        EXPECT_EQ(single, q.expected) << q.section << " / " << asked << " asked alone";
    }
}

}  // namespace

#ifndef _WIN32
namespace {

// Hostile lists must never crash or hang the reader, and its answers stay within the buffers.
TEST(ProfileReading, HostileFilesStayWithinTheBuffers) {
    const text::LeadBytes lead = text::LeadBytes::CodePage936();
    std::string binary;
    unsigned state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        binary.push_back(static_cast<char>(state >> 16));
    }
    std::string manyKeys = "[s]\n";
    for (int i = 0; i < 20000; ++i) manyKeys += "key" + std::to_string(i) + "=v\n";
    const struct {
        const char* name;
        std::string file;
        std::size_t expectedKeys;  // names before the first empty one
    } cases[] = {
        {"binary", "[s]\n" + binary, std::size_t(-1)},
        {"NUL bytes", std::string("[s]\na\0b=1\nc=2\n", 14), std::size_t(-1)},
        {"1 MB line", "[s]\na=" + std::string(1 << 20, 'v') + "\nb=2\n", 2},
        {"lead byte before line end", "[s]\na=\x81\nb=2\n", 2},
        {"20000 keys", manyKeys, std::size_t(-1)},
        {"only brackets", "[[[]]]\n[\n]\n=\n==\n", 0},
    };
    for (const auto& c : cases) {
        const std::string names = profile::KeyNames(c.file, "s", repair::kKeyNamesBufferSize, lead);
        EXPECT_LE(names.size(), repair::kKeyNamesBufferSize - 2) << c.name;
        const std::vector<std::string> keys = repair::SplitKeyNames(names);
        if (c.expectedKeys != std::size_t(-1)) {
            EXPECT_EQ(keys.size(), c.expectedKeys) << c.name;
        }
        for (std::size_t i = 0; i < keys.size() && i < 50; ++i) {
            const std::string& key = keys[i];
            EXPECT_LE(profile::Value(c.file, "s", key, "", repair::kValueBufferSize, lead).size(), 2047u)
                << c.name;
        }
    }
    EXPECT_EQ(profile::Value(cases[2].file, "s", "a", "", repair::kValueBufferSize, lead),
              std::string(2047, 'v'));
}

}  // namespace
#endif
