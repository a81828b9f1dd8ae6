#include "check/Report.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "check/ReportTexts.h"

namespace {

using check::EntryFacts;
using check::StepOutcome;
using check::Verdict;
namespace texts = check::texts;

// A repaired entry: the package's bytes, one class registered per machine and created from this very file.
EntryFacts Repaired() {
    EntryFacts entry;
    entry.key = "a.dll";
    entry.destination = "C:\\Common\\a.dll";
    entry.file = check::FileState::SameAsPackage;
    entry.exportsRegisterServer = true;
    entry.classes.push_back({"{1}", check::Scope::Machine, "A", "A.Object", true, ""});
    entry.load.outcome = StepOutcome::Done;
    entry.creations.push_back({"{1}", StepOutcome::Done, 0, "C:\\Common\\a.dll", true, false});
    return entry;
}

struct Case {
    const char* what;
    void (*change)(EntryFacts&);
    Verdict verdict;
    const char* advice;
    // When set: the entry's report tells this text on exactly one line, and that line begins with `label`.
    struct {
        const char* label;
        const char* text;
    } toldOnce{};
};

const Case kCases[] = {
    {"repaired", [](EntryFacts&) {}, Verdict::Ok, texts::kAdviceOk},
    {"missing file, even with its classes still registered",
     [](EntryFacts& e) { e.file = check::FileState::Missing; }, Verdict::Problem, texts::kAdviceMissing},
    {"missing from the package too",
     [](EntryFacts& e) {
         e.file = check::FileState::Missing;
         e.packageHasFile = false;
     },
     Verdict::Problem, texts::kAdviceNoPackageCopy},
    {"a library it needs is missing",
     [](EntryFacts& e) {
         e.load.error = 126;
         e.creations[0].result = static_cast<std::int32_t>(0x8007007EU);
     },
     Verdict::Problem, texts::kAdviceMissingLibrary},
    {"not a 32-bit image", [](EntryFacts& e) { e.load.error = 193; }, Verdict::Problem,
     texts::kAdviceNot32Bit},
    {"initialisation failed", [](EntryFacts& e) { e.load.error = 1114; }, Verdict::Problem,
     texts::kAdviceInitFailed},
    {"unreadable for the user", [](EntryFacts& e) { e.load.error = 5; }, Verdict::Problem,
     texts::kAdviceAccessDenied},
    {"not probed: no child could load it", [](EntryFacts& e) { e.load.outcome = StepOutcome::NotTried; },
     Verdict::Attention, texts::kAdviceNotProbed},
    {"load hung", [](EntryFacts& e) { e.load.outcome = StepOutcome::Hung; }, Verdict::Problem,
     texts::kAdviceLoadCrashed},
    {"class factory crashed", [](EntryFacts& e) { e.creations[0].outcome = StepOutcome::Crashed; },
     Verdict::Problem, texts::kAdviceCreateCrashed},
    {"class not registered when created",
     [](EntryFacts& e) { e.creations[0].result = static_cast<std::int32_t>(0x80040154U); }, Verdict::Problem,
     texts::kAdviceCreateFailed},
    {"a per-user registration sends its class elsewhere",
     [](EntryFacts& e) {
         e.shadowedBy.push_back({"{1}", check::Scope::User, "C:\\Users\\u\\a.dll"});
     },
     Verdict::Problem, texts::kAdviceShadowed},
    {"a per-user registration that shadows is also another copy of the name: told once, as the shadow",
     [](EntryFacts& e) {
         e.otherCopies.push_back({"{1}", check::Scope::User, "C:\\Users\\u\\a.dll"});
         e.shadowedBy.push_back({"{1}", check::Scope::User, "C:\\Users\\u\\a.dll"});
     },
     Verdict::Problem,
     texts::kAdviceShadowed,
     {texts::kShadowLine, "C:\\Users\\u\\a.dll"}},
    {"created, but from another copy",
     [](EntryFacts& e) {
         e.creations[0].servedBy = "C:\\Other\\a.dll";
         e.creations[0].servedByThisFile = false;
     },
     Verdict::Problem, texts::kAdviceOtherFile},
    {"its class registered to another copy only",
     [](EntryFacts& e) {
         e.classes.clear();
         e.creations.clear();
         e.otherCopies.push_back({"{1}", check::Scope::Machine, "C:\\Other\\a.dll"});
     },
     Verdict::Problem, texts::kAdviceOtherFile},
    {"loads, but no class registered to it",
     [](EntryFacts& e) {
         e.classes.clear();
         e.creations.clear();
     },
     Verdict::Problem, texts::kAdviceNotRegistered},
    {"a library that does not register itself needs no class",
     [](EntryFacts& e) {
         e.classes.clear();
         e.creations.clear();
         e.exportsRegisterServer = false;
     },
     Verdict::Ok, texts::kAdviceOk},
    {"ProgID leads to another class", [](EntryFacts& e) { e.classes[0].progIdLeadsBack = false; },
     Verdict::Attention, texts::kAdviceProgId},
    {"older than the package's copy",
     [](EntryFacts& e) {
         e.file = check::FileState::OtherBytes;
         e.version = 0x0002000100000000ULL;
         e.packageVersion = 0x0002000800000000ULL;
     },
     Verdict::Attention, texts::kAdviceOlder},
    {"other bytes than the package's, the same version",
     [](EntryFacts& e) {
         e.file = check::FileState::OtherBytes;
         e.version = 0x0002000800000000ULL;
         e.packageVersion = 0x0002000800000000ULL;
     },
     Verdict::Attention, texts::kAdviceSameVersion},
    {"newer than the package's copy (a system update's)",
     [](EntryFacts& e) {
         e.file = check::FileState::OtherBytes;
         e.version = 0x0006000100000000ULL;
         e.packageVersion = 0x0002000800000000ULL;
     },
     Verdict::Ok, texts::kAdviceOk},
    {"other bytes, no version to compare",
     [](EntryFacts& e) {
         e.file = check::FileState::OtherBytes;
         e.packageVersion = 0x0002000800000000ULL;
     },
     Verdict::Attention, texts::kAdviceDifferent},
};

TEST(Verdict, TableOfFactsToVerdictAndAdvice) {
    for (const Case& c : kCases) {
        EntryFacts entry = Repaired();
        c.change(entry);
        const check::Judgement judgement = check::Judge(entry);
        EXPECT_EQ(judgement.verdict, c.verdict) << c.what;
        EXPECT_STREQ(judgement.advice, c.advice) << c.what;
        EXPECT_EQ(check::ExitCode({entry}, ""), c.verdict == Verdict::Ok ? 0 : 1) << c.what;
        if (c.toldOnce.text != nullptr) {
            std::vector<std::string> telling;
            std::istringstream report(check::ReportText({}, {entry}, ""));
            for (std::string line; std::getline(report, line);) {
                if (line.find(c.toldOnce.text) != std::string::npos) telling.push_back(line);
            }
            EXPECT_EQ(telling.size(), 1u) << c.what;
            for (const std::string& line : telling) EXPECT_EQ(line.rfind(c.toldOnce.label, 0), 0u) << line;
        }
    }
    EXPECT_EQ(check::ExitCode({Repaired()}, texts::kNoList), 2);
}

TEST(Verdict, CompatibilitySettingsGiveTheTagTheRepairSees) {
    const struct {
        const char* setting;
        const char* tag;  // nullptr: the setting names no version
    } cases[] = {
        {"~ WINXPSP3 RUNASADMIN", "XP"},
        {"$ HIGHDPIAWARE WIN7RTM", "W7"},
        {"winxp", "XP"},
        {"win7", "W7"},
        {"WIN8RTM", ""},
        {"win81", ""},
        {"winxp64", "2003"},
        {"win2008r2", "W7"},
        {"HIGHDPIAWARE", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto version = check::VersionOfCompatibilitySetting(c.setting);
        ASSERT_EQ(version.has_value(), c.tag != nullptr) << c.setting;
        if (version) {
            EXPECT_EQ(repair::VersionTagFor(*version), c.tag) << c.setting;
        }
    }
}

}  // namespace
