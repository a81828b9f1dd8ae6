#include "repair/RepairRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

#include "repair/Errors.h"
#include "repair/FileList.h"
#include "tests/unit/FakePlatform.h"

namespace {

using fakes::Journal;

const std::string kBase = "C:\\CF\\System";
const std::string kRegsvr = "Start C:\\WINDOWS\\system32\\regsvr32.exe | ";

// A machine with the shared folder present and a program in C:\Tools.
struct Machine {
    Journal journal;
    fakes::FakePlatform platform{journal};
    fakes::FakeHost host{journal};

    Machine() {
        platform.environment["COMMONPROGRAMFILES"] = "C:\\CF";
        platform.directories = {"C:\\CF", "C:\\Tools", "C:\\Tools\\xp", "C:\\Tools\\w7"};
    }
    void List(const std::string& folder, const std::string& lines) {
        platform.files["C:\\Tools\\" + folder + "\\文件列表.ini"] = "[文件列表]\r\n" + lines;
    }
    void Component(const std::string& folder, const std::string& key) {
        platform.files["C:\\Tools\\" + folder + "\\" + key] = folder + ":" + key;
    }
    // The journal without the folder probes, which other tests pin.
    Journal Actions() const {
        Journal out;
        for (const std::string& line : journal) {
            if (line.rfind("IsDirectory", 0) != 0 && line.rfind("MakeDirectory", 0) != 0) out.push_back(line);
        }
        return out;
    }
};

TEST(RepairRun, WholeRunInOrder) {
    Machine m;
    m.List("xp", "a.dll=路径\\ado\\a.dll\r\nb.dll=路径\\msadc\\b.dll\r\n");
    m.Component("xp", "a.dll");
    m.Component("xp", "b.dll");
    repair::RunRepair(m.host, m.platform);

    const Journal expected = {
        "StopTimer1",
        "StopTimer2",
        "IsDirectory C:\\CF\\System\\ado",
        "IsDirectory C:\\CF\\System",
        "IsDirectory C:\\CF",
        "MakeDirectory C:\\CF\\System",
        "MakeDirectory C:\\CF\\System\\ado",
        "IsDirectory C:\\CF\\System\\msadc",
        "IsDirectory C:\\CF\\System",
        "MakeDirectory C:\\CF\\System\\msadc",
        "IsDirectory C:\\CF\\System\\ole db",
        "IsDirectory C:\\CF\\System",
        "MakeDirectory C:\\CF\\System\\ole db",
        "ReadKeys C:\\Tools\\xp\\文件列表.ini",
        "SetProgressMax 1",
        "SetProgressPosition 0",
        "ReadValue a.dll",
        "Copy C:\\Tools\\xp\\a.dll -> C:\\CF\\System\\ado\\a.dll",
        kRegsvr + "regsvr32 \"C:\\CF\\System\\ado\\a.dll\" -s",
        "SetProgressPosition 1",
        "ReadValue b.dll",
        "Copy C:\\Tools\\xp\\b.dll -> C:\\CF\\System\\msadc\\b.dll",
        kRegsvr + "regsvr32 \"C:\\CF\\System\\msadc\\b.dll\" -s",
        "ShowMessage 修复完毕",
        "Close",
    };
    EXPECT_EQ(m.journal, expected);
    EXPECT_EQ(m.platform.files.at(kBase + "\\ado\\a.dll"), "xp:a.dll");
}

TEST(RepairRun, OneEntrySetsRangeZeroToZero) {
    Machine m;
    m.List("xp", "a.dll=路径\\ado\\a.dll\r\n");
    m.Component("xp", "a.dll");
    repair::RunRepair(m.host, m.platform);
    EXPECT_EQ(m.host.progressMax, 0);
    EXPECT_EQ(m.host.progressPosition, 0);
    EXPECT_EQ(m.Actions().back(), "Close");
    EXPECT_EQ(m.Actions()[m.Actions().size() - 2], "ShowMessage 修复完毕");
}

std::string KeyOf(int number) {
    char key[16];
    std::snprintf(key, sizeof key, "c%d.dll", number);
    return key;
}

TEST(RepairRun, ManyEntriesCopyThenStartEachInFileOrder) {
    Machine m;
    std::string lines;
    for (int i = 0; i < 50; ++i) {
        const std::string key = KeyOf(49 - i);  // file order differs from sort order
        lines += key + "=路径\\ole db\\" + key + "\r\n";
        m.Component("xp", key);
    }
    m.List("xp", lines);
    repair::RunRepair(m.host, m.platform);

    int copies = 0, starts = 0;
    std::string lastCopied;
    for (const std::string& line : m.journal) {
        if (line.rfind("Copy ", 0) == 0) {
            EXPECT_EQ(copies, starts) << "a copy before the previous entry's start: " << line;
            lastCopied = KeyOf(49 - copies);
            EXPECT_NE(line.find(lastCopied), std::string::npos) << line;
            ++copies;
        } else if (line.rfind("Start ", 0) == 0) {
            ++starts;
            EXPECT_EQ(starts, copies) << "a start without its copy: " << line;
        }
    }
    EXPECT_EQ(copies, 50);
    EXPECT_EQ(starts, 50);
    EXPECT_EQ(m.host.progressMax, 49);
    EXPECT_EQ(m.host.progressPosition, 49);
}

TEST(RepairRun, ExistingDestinationIsKeptAndStillRegistered) {
    Machine m;
    m.List("xp", "a.dll=路径\\ado\\a.dll\r\n");
    m.Component("xp", "a.dll");
    m.platform.directories.insert(kBase);
    m.platform.directories.insert(kBase + "\\ado");
    m.platform.files[kBase + "\\ado\\a.dll"] = "older";
    repair::RunRepair(m.host, m.platform);
    EXPECT_EQ(m.platform.files.at(kBase + "\\ado\\a.dll"), "older");
    const Journal actions = m.Actions();
    EXPECT_EQ(actions[actions.size() - 3], kRegsvr + "regsvr32 \"C:\\CF\\System\\ado\\a.dll\" -s");
    EXPECT_EQ(actions[actions.size() - 2], "ShowMessage 修复完毕");  // present is not a failure
}

TEST(RepairRun, TagChoosesTheListFolder) {
    struct Case {
        const char* tag;
        const char* folder;
    };
    const Case cases[] = {{"W7", "w7"},    {" W7\t", "w7"}, {"XP", "xp"},
                          {"Vista", "xp"}, {"", "xp"},      {"w7", "xp"}};
    for (const Case& c : cases) {
        Machine m;
        m.host.tag = c.tag;
        m.List("xp", "x.dll=路径\\ado\\x.dll\r\n");
        m.List("w7", "w.dll=路径\\ado\\w.dll\r\n");
        m.Component("xp", "x.dll");
        m.Component("w7", "w.dll");
        repair::RunRepair(m.host, m.platform);
        const std::string key = std::string(c.folder) == "w7" ? "w.dll" : "x.dll";
        const std::string expectedCopy =
            "Copy C:\\Tools\\" + std::string(c.folder) + "\\" + key + " -> C:\\CF\\System\\ado\\" + key;
        const Journal actions = m.Actions();
        EXPECT_EQ(actions[2], "ReadKeys C:\\Tools\\" + std::string(c.folder) + "\\文件列表.ini") << c.tag;
        EXPECT_NE(std::find(actions.begin(), actions.end(), expectedCopy), actions.end()) << c.tag;
    }
}

TEST(RepairRun, EmptyListEndsWithTheProgressErrorAfterTheFolders) {
    const std::string lists[] = {"", "[other]\r\na=1\r\n", "[文件列表]\r\n"};
    for (const std::string& list : lists) {
        for (bool missing : {false, true}) {
            Machine m;
            if (!missing) m.platform.files["C:\\Tools\\xp\\文件列表.ini"] = list;
            try {
                repair::RunRepair(m.host, m.platform);
                ADD_FAILURE() << "no error for list [" << list << "]";
            } catch (const repair::Error& e) {
                EXPECT_EQ(e.Message(), "TProgressBar 属性超界");
            }
            EXPECT_TRUE(m.platform.directories.count(kBase + "\\ole db"));  // folders stay made
            EXPECT_EQ(m.Actions(),
                      (Journal{"StopTimer1", "StopTimer2", "ReadKeys C:\\Tools\\xp\\文件列表.ini"}));
            EXPECT_EQ(m.host.progressMax, 100);  // range left unchanged
        }
    }
}

TEST(RepairRun, SecondPressAfterAFailureFailsTheSameWay) {
    Machine m;
    for (int press = 0; press < 2; ++press) {
        m.journal.clear();
        EXPECT_THROW(repair::RunRepair(m.host, m.platform), repair::Error);
        EXPECT_EQ(m.Actions(), (Journal{"StopTimer1", "StopTimer2", "ReadKeys C:\\Tools\\xp\\文件列表.ini"}));
    }
}

// Runs that end in an error before the list is read: nothing is read, copied or registered.
TEST(RepairRun, ErrorsBeforeTheList) {
    // A program path of `size` bytes: double-byte folders under C:\, then the program's name.
    const auto modulePathOf = [](std::size_t size) {
        const std::string name = "\\MdacRepair.exe";
        std::string path = "C:";
        while (path.size() + 9 + name.size() <= size) path += "\\文件夹";
        path += "\\" + std::string(size - path.size() - 1 - name.size(), 'a');
        return path + name;
    };
    const Journal stopped = {"StopTimer1", "StopTimer2"};
    struct Case {
        const char* name;
        std::string sharedFolder;
        std::string modulePath;
        std::string message;  // empty: the run goes on and reads the list
        int code;
        Journal journal;
    };
    const Case cases[] = {
        {"relative shared folder of three letters",
         "abc",
         "C:\\Tools\\MdacRepair.exe",
         "不能创建目录",
         3,
         {"StopTimer1", "StopTimer2", "IsDirectory abc\\System\\ado", "IsDirectory abc\\System",
          "IsDirectory abc"}},
        // The list path is one byte longer than the program's: "xp\文件列表.ini" after its folder.
        {"list path of 259 bytes", "C:\\CF", modulePathOf(258), "", 0, {}},
        {"list path of 260 bytes", "C:\\CF", modulePathOf(259), "程序所在文件夹的路径过长", 206, stopped},
        {"program path past 260 bytes", "C:\\CF", modulePathOf(400), "程序所在文件夹的路径过长", 206,
         stopped},
        {"no program path", "C:\\CF", "", "程序所在文件夹的路径过长", 206, stopped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.platform.environment["COMMONPROGRAMFILES"] = c.sharedFolder;
        m.platform.modulePath = c.modulePath;
        const std::string programDirectory = repair::ProgramDirectory(c.modulePath, m.platform.Lead());
        // The program's own list, and a decoy wherever a path cut to what the file functions take
        // would lead: the list path cut, or the list beside the program's path cut.
        const std::string list = programDirectory + "xp\\文件列表.ini";
        m.platform.files[list] = "[文件列表]\r\na.dll=路径\\ado\\a.dll\r\n";
        const std::string programCut =
            repair::ProgramDirectory(c.modulePath.substr(0, repair::kLongestAnsiPath), m.platform.Lead());
        for (const std::string& decoy :
             {list.substr(0, repair::kLongestAnsiPath), programCut + "xp\\文件列表.ini"}) {
            if (decoy != list) m.platform.files[decoy] = "[文件列表]\r\nd.dll=D:\\d.dll\r\n";
        }
        try {
            repair::RunRepair(m.host, m.platform);
            EXPECT_TRUE(c.message.empty()) << "no error";
            EXPECT_EQ(m.Actions()[2], "ReadKeys " + programDirectory + "xp\\文件列表.ini");
            EXPECT_EQ(m.Actions().back(), "Close");
        } catch (const repair::Error& e) {
            EXPECT_EQ(e.ClassName(), "EInOutError");
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.Code(), c.code);
            EXPECT_NE(e.RaisedAt(), nullptr);
            EXPECT_EQ(m.journal, c.journal);
        }
    }
}

TEST(RepairRun, UnsetVariableMakesFoldersUnderSystemOfTheCurrentDrive) {
    Machine m;
    m.platform.environment.clear();
    m.List("xp", "a.dll=路径\\ado\\a.dll\r\n");
    m.Component("xp", "a.dll");
    repair::RunRepair(m.host, m.platform);
    for (const char* folder : {"\\System", "\\System\\ado", "\\System\\msadc", "\\System\\ole db"}) {
        EXPECT_TRUE(m.platform.directories.count(folder)) << folder;
    }
    EXPECT_EQ(m.platform.files.count("\\System\\ado\\a.dll"), 1u);
}

TEST(ForceDirectories, ChainOfParents) {
    struct Case {
        const char* name;
        std::string path;
        std::set<std::string> existing;
        bool expected;
        std::vector<std::string> made;
    };
    const Case cases[] = {
        {"exists", "C:\\a", {"C:\\a"}, true, {}},
        {"trailing backslash", "C:\\a\\", {"C:\\a"}, true, {}},
        {"parents made top-down", "C:\\a\\b\\c", {}, true, {"C:\\a", "C:\\a\\b", "C:\\a\\b\\c"}},
        {"drive root is done", "C:\\", {}, true, {}},
        {"short path is done", "ab", {}, true, {}},
        {"drive-relative", "C:x\\y", {}, true, {"C:x", "C:x\\y"}},
        {"trail byte 5C is not a separator", "C:\\淺", {}, true, {"C:\\淺"}},
        {"unc share", "\\\\srv\\share\\x", {"\\\\srv\\share"}, true, {"\\\\srv\\share\\x"}},
    };
    for (const Case& c : cases) {
        Journal journal;
        fakes::FakePlatform platform(journal);
        platform.directories = c.existing;
        EXPECT_EQ(repair::ForceDirectories(platform, c.path), c.expected) << c.name;
        std::vector<std::string> made;
        for (const std::string& line : journal) {
            if (line.rfind("MakeDirectory ", 0) == 0) made.push_back(line.substr(14));
        }
        EXPECT_EQ(made, c.made) << c.name;
    }
}

TEST(ForceDirectories, StopsAtTheFirstFolderThatCannotBeMade) {
    Journal journal;
    fakes::FakePlatform platform(journal);
    platform.unmakableDirectories = {"C:\\a\\b"};
    EXPECT_FALSE(repair::ForceDirectories(platform, "C:\\a\\b\\c"));
    EXPECT_TRUE(platform.directories.count("C:\\a"));
    EXPECT_FALSE(platform.directories.count("C:\\a\\b\\c"));
    EXPECT_EQ(journal.back(), "MakeDirectory C:\\a\\b");
}

TEST(ForceDirectories, EmptyPathRaisesTheInOutError) {
    Journal journal;
    fakes::FakePlatform platform(journal);
    for (const char* path : {"", "abc", "abc\\def"}) {
        EXPECT_THROW(repair::ForceDirectories(platform, path), repair::Error) << path;
    }
    EXPECT_TRUE(std::none_of(journal.begin(), journal.end(),
                             [](const std::string& l) { return l.rfind("MakeDirectory", 0) == 0; }));
}

TEST(CompletionMessage, ListsUncopiedFilesAfterTheFirstLine) {
    Machine m;
    m.List("xp",
           "a.dll=路径\\ado\\a.dll\r\nmissing.dll=路径\\ado\\m.dll\r\nb.dll=Q:\\nofolder\\b.dll\r\n"
           "c.dll=路径\\ado\\c.dll\r\n");
    m.Component("xp", "a.dll");
    m.Component("xp", "b.dll");
    m.Component("xp", "c.dll");
    m.platform.files[kBase + "\\ado\\c.dll"] = "present";  // present is not a failure
    repair::RunRepair(m.host, m.platform);
    const Journal actions = m.Actions();
    EXPECT_EQ(actions[actions.size() - 2],
              "ShowMessage 修复完毕\r\n以下文件未能复制：\r\nmissing.dll\r\nb.dll");
    EXPECT_EQ(actions.back(), "Close");
    // Every entry's registration was still started.
    EXPECT_EQ(std::count_if(actions.begin(), actions.end(),
                            [](const std::string& l) { return l.rfind("Start ", 0) == 0; }),
              4);
}

// The message names at most twenty files of each list, uncopied and not started; a last line counts the
// others of that list.
TEST(CompletionMessage, NamesAtMostTwentyFilesOfEachList) {
    const auto keys = [](const char* stem, int count) {
        std::vector<std::string> keys;
        for (int i = 1; i <= count; ++i) keys.push_back(stem + std::to_string(i) + ".dll");
        return keys;
    };
    const auto lines = [](const char* stem, int first, int last) {
        std::string text;
        for (int i = first; i <= last; ++i)
            text.append("\r\n").append(stem).append(std::to_string(i)).append(".dll");
        return text;
    };
    const std::string head = "修复完毕\r\n以下文件未能复制：";
    const std::string notStarted = "\r\n以下文件的注册程序未能启动：";
    const struct {
        int uncopied, notStarted;
        std::string message;
    } cases[] = {
        {0, 0, "修复完毕"},
        {1, 0, head + "\r\nf1.dll"},
        {20, 0, head + lines("f", 1, 20)},
        {21, 0, head + lines("f", 1, 20) + "\r\n……另有 1 个文件未能复制"},
        {80, 0, head + lines("f", 1, 20) + "\r\n……另有 60 个文件未能复制"},
        {0, 1, "修复完毕" + notStarted + "\r\nr1.dll"},
        {0, 20, "修复完毕" + notStarted + lines("r", 1, 20)},
        {2, 1, head + lines("f", 1, 2) + notStarted + "\r\nr1.dll"},
        {21, 23,
         head + lines("f", 1, 20) + "\r\n……另有 1 个文件未能复制" + notStarted + lines("r", 1, 20) +
             "\r\n……另有 3 个文件的注册程序未能启动"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(repair::CompletionMessage(keys("f", c.uncopied), keys("r", c.notStarted)), c.message)
            << c.uncopied << " uncopied, " << c.notStarted << " not started";
    }
}

TEST(RepairRun, RegistrationUtilityComesFromTheSystemDirectory) {
    struct Case {
        std::string systemDirectory;
        std::string expectedStart;  // empty: nothing is started
    };
    const Case cases[] = {
        {"C:\\WINDOWS\\system32", "Start C:\\WINDOWS\\system32\\regsvr32.exe | regsvr32 \"D:\\a.dll\" -s"},
        {"C:\\", "Start C:\\regsvr32.exe | regsvr32 \"D:\\a.dll\" -s"},
        {"", ""},  // never fall back to the search path
    };
    for (const Case& c : cases) {
        Machine m;
        m.platform.systemDirectory = c.systemDirectory;
        m.List("xp", "a.dll=D:\\a.dll\r\n");
        repair::RunRepair(m.host, m.platform);
        const Journal actions = m.Actions();
        const auto start = std::find_if(actions.begin(), actions.end(),
                                        [](const std::string& l) { return l.rfind("Start ", 0) == 0; });
        if (c.expectedStart.empty()) {
            EXPECT_EQ(start, actions.end());
        } else {
            ASSERT_NE(start, actions.end());
            EXPECT_EQ(*start, c.expectedStart);
        }
    }
}

// Faults of the platform, alone and mixed: what the run still copies and registers, what its completion
// message names, and that it always reaches the message and the closing with every entry's progress.
TEST(RepairRun, FaultsOfThePlatform) {
    const std::string base = "C:\\CF\\deep\\System";
    const std::string deep = "C:\\CF\\deep", system = base, ado = base + "\\ado", msadc = base + "\\msadc",
                      oleDb = base + "\\ole db";
    const std::vector<std::string> keys = {"a.dll", "b.dll", "c.dll", "d.dll"};
    const std::vector<std::string> destinations = {ado + "\\a.dll", msadc + "\\b.dll", oleDb + "\\c.dll",
                                                   "D:\\d.dll"};
    const std::string done = "修复完毕";
    const std::string uncopied = "修复完毕\r\n以下文件未能复制：";
    const std::string notStarted = "\r\n以下文件的注册程序未能启动：";
    struct Case {
        const char* name;
        std::function<void(fakes::FakePlatform&)> inject;
        std::string message;
        std::vector<int> copied;            // entries whose component reached its destination
        std::vector<std::string> attempts;  // folders the run tried to make, in order
        int starts;                         // registrations attempted (one per entry unless no utility)
    };
    const std::vector<std::string> allMade = {deep, system, ado, msadc, oleDb};
    const Case cases[] = {
        {"no fault", [](fakes::FakePlatform&) {}, done, {0, 1, 2, 3}, allMade, 4},
        {"first folder of the chain cannot be made",
         [&](fakes::FakePlatform& p) { p.unmakableDirectories = {deep}; },
         uncopied + "\r\na.dll\r\nb.dll\r\nc.dll",
         {3},
         {deep, deep, deep},
         4},
        {"middle folder of the chain cannot be made",
         [&](fakes::FakePlatform& p) { p.unmakableDirectories = {system}; },
         uncopied + "\r\na.dll\r\nb.dll\r\nc.dll",
         {3},
         {deep, system, system, system},
         4},
        {"last folder of one chain cannot be made",
         [&](fakes::FakePlatform& p) { p.unmakableDirectories = {ado}; },
         uncopied + "\r\na.dll",
         {1, 2, 3},
         allMade,
         4},
        {"none of the three shared folders can be made",
         [&](fakes::FakePlatform& p) {
             p.unmakableDirectories = {ado, msadc, oleDb};
         },
         uncopied + "\r\na.dll\r\nb.dll\r\nc.dll",
         {3},
         allMade,
         4},
        {"source missing",
         [](fakes::FakePlatform& p) { p.files.erase("C:\\Tools\\xp\\b.dll"); },
         uncopied + "\r\nb.dll",
         {0, 2, 3},
         allMade,
         4},
        {"destination folder missing",
         [](fakes::FakePlatform& p) {
             p.files["C:\\Tools\\xp\\文件列表.ini"] += "e.dll=Q:\\nofolder\\e.dll\r\n";
             p.files["C:\\Tools\\xp\\e.dll"] = "xp:e.dll";
         },
         uncopied + "\r\ne.dll",
         {0, 1, 2, 3},
         allMade,
         5},
        {"access denied",
         [&](fakes::FakePlatform& p) { p.deniedDestinations = {destinations[3]}; },
         uncopied + "\r\nd.dll",
         {0, 1, 2},
         allMade,
         4},
        {"destination exists: kept, not a failure",
         [&](fakes::FakePlatform& p) {
             p.directories.insert(allMade.begin(), allMade.end());
             p.files[destinations[2]] = "older";
         },
         done,
         {0, 1, 3},
         {},
         4},
        {"no command can be started",
         [](fakes::FakePlatform& p) { p.startsRefused = true; },
         done + notStarted + "\r\na.dll\r\nb.dll\r\nc.dll\r\nd.dll",
         {0, 1, 2, 3},
         allMade,
         4},
        {"one start refused",
         [&](fakes::FakePlatform& p) { p.refusedCommandLines = {"regsvr32 \"" + destinations[2] + "\" -s"}; },
         done + notStarted + "\r\nc.dll",
         {0, 1, 2, 3},
         allMade,
         4},
        {"no system directory: no utility to start",
         [](fakes::FakePlatform& p) { p.systemDirectory.clear(); },
         done + notStarted + "\r\na.dll\r\nb.dll\r\nc.dll\r\nd.dll",
         {0, 1, 2, 3},
         allMade,
         0},
        {"mixed: folder, source, kept, denied, no starts",
         [&](fakes::FakePlatform& p) {
             p.unmakableDirectories = {msadc};
             p.files.erase("C:\\Tools\\xp\\a.dll");
             p.files[destinations[2]] = "older";
             p.deniedDestinations = {destinations[3]};
             p.startsRefused = true;
         },
         uncopied + "\r\na.dll\r\nb.dll\r\nd.dll" + notStarted + "\r\na.dll\r\nb.dll\r\nc.dll\r\nd.dll",
         {},
         allMade,
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.platform.environment["COMMONPROGRAMFILES"] = deep;
        std::string lines;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string value = i < 3 ? "路径" + destinations[i].substr(base.size()) : destinations[i];
            lines += keys[i] + "=" + value + "\r\n";
            m.Component("xp", keys[i]);
        }
        m.List("xp", lines);
        c.inject(m.platform);
        const std::size_t entries = m.platform.files.count("C:\\Tools\\xp\\e.dll") ? 5 : 4;

        repair::RunRepair(m.host, m.platform);

        std::vector<std::string> attempts;
        std::vector<int> positions;
        int starts = 0, refused = 0, copies = 0;
        for (const std::string& line : m.journal) {
            if (line.rfind("MakeDirectory ", 0) == 0) attempts.push_back(line.substr(14));
            if (line.rfind("SetProgressPosition ", 0) == 0) positions.push_back(std::stoi(line.substr(20)));
            if (line.rfind("Copy ", 0) == 0) ++copies;
            if (line.rfind("Start ", 0) == 0) ++starts;
            if (line.rfind("Start refused ", 0) == 0) ++refused;
        }
        EXPECT_EQ(attempts, c.attempts);
        std::vector<int> everyEntry(entries);
        for (std::size_t i = 0; i < entries; ++i) everyEntry[i] = static_cast<int>(i);
        EXPECT_EQ(positions, everyEntry);
        EXPECT_EQ(m.host.progressMax, static_cast<int>(entries) - 1);
        EXPECT_EQ(copies, static_cast<int>(entries)) << "every entry's copy is tried";
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(refused, m.platform.startsRefused
                               ? c.starts
                               : static_cast<int>(m.platform.refusedCommandLines.size()));
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const bool expected =
                std::find(c.copied.begin(), c.copied.end(), static_cast<int>(i)) != c.copied.end();
            const auto found = m.platform.files.find(destinations[i]);
            const bool copied = found != m.platform.files.end() && found->second == "xp:" + keys[i];
            EXPECT_EQ(copied, expected) << destinations[i];
        }
        ASSERT_GE(m.journal.size(), 2u);
        EXPECT_EQ(m.journal[m.journal.size() - 2], "ShowMessage " + c.message);
        EXPECT_EQ(m.journal.back(), "Close");
    }
}

}  // namespace
