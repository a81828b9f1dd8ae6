// The Win32 platform layer against a real file system and real process starts (run under Wine).
#include "repair/Win32Platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <cstdio>
#include <string>

#include "repair/FileList.h"
#include "repair/RepairRun.h"
#include "tests/unit/FakePlatform.h"

namespace {

std::string g_commandLogger;  // the 64-bit stand-in program, from the command line

std::string TempRoot(const std::string& name) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string root = std::string(folder) + "mdac-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(root.c_str(), nullptr);
    return root;
}

std::set<std::string> FolderEntries(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(Win32Platform, ReportsTheCodePageAndModule) {
    repair::Win32Platform platform;
    // The tests run with ANSI code page 936.
    EXPECT_EQ(GetACP(), 936u);
    EXPECT_TRUE(platform.Lead().IsLead('\x81'));
    EXPECT_TRUE(platform.Lead().IsLead('\xFE'));
    EXPECT_FALSE(platform.Lead().IsLead('\\'));
    const std::string module = platform.ModulePath();
    EXPECT_NE(module.find("platform_tests.exe"), std::string::npos) << module;
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    EXPECT_EQ(platform.SystemDirectory(), system);
}

// A path longer than the first buffer is read again until it fits, however the system reports the cut:
// filled to the end without a terminator (XP) or with one in the last place (Vista on), the whole buffer's
// length either way.
TEST(Win32Platform, LongPathIsReadWhole) {
    static std::string path;
    static bool terminated = false;
    const auto read = [](char* buffer, std::size_t size) -> std::size_t {
        if (path.size() < size) {
            CopyMemory(buffer, path.c_str(), path.size() + 1);
            return path.size();
        }
        CopyMemory(buffer, path.data(), size);
        if (terminated) buffer[size - 1] = '\0';
        return size;
    };
    for (const bool vista : {false, true}) {
        for (const std::size_t length :
             {std::size_t{0}, std::size_t{260}, std::size_t{261}, std::size_t{5000}}) {
            terminated = vista;
            path = length == 0 ? "" : "C:\\" + std::string(length - 3, 'a');
            EXPECT_EQ(repair::ReadWholePath(read), path)
                << length << (vista ? " bytes, Vista on" : " bytes, XP");
        }
    }
}

TEST(Win32Platform, EnvironmentValueOfAnyLength) {
    repair::Win32Platform platform;
    const std::string longValue(5000, 'x');
    const struct {
        const char* name;
        const char* value;  // nullptr: unset
        std::string expected;
    } cases[] = {{"MDAC_TEST_SHORT", "C:\\CF", "C:\\CF"},
                 {"MDAC_TEST_LONG", longValue.c_str(), longValue},
                 {"MDAC_TEST_EMPTY", "", ""},
                 {"MDAC_TEST_UNSET", nullptr, ""}};
    for (const auto& c : cases) {
        SetEnvironmentVariableA(c.name, c.value);
        EXPECT_EQ(platform.EnvironmentValue(c.name), c.expected) << c.name;
    }
}

TEST(Win32Platform, ForceDirectoriesMakesMissingParentsWithDoubleByteNames) {
    repair::Win32Platform platform;
    const std::string root = TempRoot("folders");
    const struct {
        const char* sub;
        std::set<std::string> topLevel;  // what the root then holds
    } cases[] = {
        {"\\a\\b\\c", {"a"}},
        {"\\淺\\媆\\ole db", {"a", "淺"}},  // both end in trail byte 0x5C
        {"\\trail\\", {"a", "淺", "trail"}},
    };
    for (const auto& c : cases) {
        const std::string path = root + c.sub;
        EXPECT_TRUE(repair::ForceDirectories(platform, path)) << c.sub;
        EXPECT_TRUE(platform.IsDirectory(path)) << c.sub;
        EXPECT_EQ(FolderEntries(root), c.topLevel) << c.sub;
    }
    EXPECT_EQ(FolderEntries(root + "\\淺"), std::set<std::string>{"媆"});
    EXPECT_EQ(FolderEntries(root + "\\淺\\媆"), std::set<std::string>{"ole db"});
    // An existing file is not a folder.
    WriteFileBytes(root + "\\file", "x");
    EXPECT_FALSE(platform.IsDirectory(root + "\\file"));
    EXPECT_FALSE(platform.MakeDirectory(root + "\\file"));
}

TEST(Win32Platform, CopyNeverReplacesAndTellsWhy) {
    repair::Win32Platform platform;
    const std::string root = TempRoot("copy");
    WriteFileBytes(root + "\\source.dll", "new component");
    WriteFileBytes(root + "\\present.dll", "older component");
    const struct {
        const char* name;
        std::string source, destination;
        repair::CopyResult expected;
        std::string destinationAfter;
    } cases[] = {
        {"copied", root + "\\source.dll", root + "\\copy.dll", repair::CopyResult::Copied, "new component"},
        {"present", root + "\\source.dll", root + "\\present.dll", repair::CopyResult::DestinationExists,
         "older component"},
        {"source missing", root + "\\none.dll", root + "\\x.dll", repair::CopyResult::Failed, "<missing>"},
        {"folder missing", root + "\\source.dll", root + "\\no\\x.dll", repair::CopyResult::Failed,
         "<missing>"},
        {"double-byte names", root + "\\source.dll", root + "\\淺.dll", repair::CopyResult::Copied,
         "new component"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform.CopyFileNoReplace(c.source, c.destination), c.expected) << c.name;
        EXPECT_EQ(ReadFileBytes(c.destination), c.destinationAfter) << c.name;
    }
}

TEST(Win32Platform, StartedCommandIsNotAwaited) {
    repair::Win32Platform platform;
    const std::string root = TempRoot("start");
    const std::string logger = root + "\\slow.exe";
    ASSERT_TRUE(CopyFileA(g_commandLogger.c_str(), logger.c_str(), FALSE)) << g_commandLogger;
    SetEnvironmentVariableA("COMMAND_LOGGER_DELAY_MS", "15000");
    EXPECT_TRUE(platform.StartHidden(logger, "regsvr32 \"C:\\x y\\a.dll\" -s"));
    SetEnvironmentVariableA("COMMAND_LOGGER_DELAY_MS", nullptr);
    EXPECT_FALSE(platform.StartHidden(root + "\\missing.exe", "regsvr32 \"C:\\x y\\a.dll\" -s"));
    // Had the start waited, the logger would have written its line before returning.
    EXPECT_FALSE(Exists(logger + ".log"));
    for (int i = 0; i < 120 && !Exists(logger + ".log"); ++i) Sleep(1000);
    EXPECT_EQ(ReadFileBytes(logger + ".log"), "regsvr32 \"C:\\x y\\a.dll\" -s\r\n");
}

TEST(RepairRunOnWindows, StrayRegsvr32BesideTheProgramOrInTheCurrentFolderIsNeverStarted) {
    repair::Win32Platform platform;
    const std::string programDirectory = repair::ProgramDirectory(platform.ModulePath(), platform.Lead());
    const std::string root = TempRoot("stray");
    const std::string beside = programDirectory + "regsvr32.exe";
    const std::string current = root + "\\regsvr32.exe";
    ASSERT_TRUE(CopyFileA(g_commandLogger.c_str(), beside.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(g_commandLogger.c_str(), current.c_str(), FALSE));
    DeleteFileA((beside + ".log").c_str());
    SetCurrentDirectoryA(root.c_str());

    CreateDirectoryA((programDirectory + "xp").c_str(), nullptr);
    WriteFileBytes(programDirectory + "xp\\文件列表.ini",
                   "[文件列表]\r\nmissing.dll=" + root + "\\missing.dll\r\n");
    SetEnvironmentVariableA("COMMONPROGRAMFILES", (root + "\\Common Files").c_str());

    fakes::Journal journal;
    fakes::FakeHost host(journal);
    repair::RunRepair(host, platform);
    EXPECT_EQ(journal.back(), "Close");
    EXPECT_EQ(journal[journal.size() - 2], "ShowMessage 修复完毕\r\n以下文件未能复制：\r\nmissing.dll");
    EXPECT_TRUE(platform.IsDirectory(root + "\\Common Files\\System\\ole db"));

    Sleep(5000);  // a wrongly started stand-in writes its log at once
    EXPECT_FALSE(Exists(beside + ".log"));
    EXPECT_FALSE(Exists(current + ".log"));
    DeleteFileA(beside.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: platform_tests COMMAND_LOGGER.exe\n");
        return 2;
    }
    g_commandLogger = argv[1];
    return RUN_ALL_TESTS();
}
