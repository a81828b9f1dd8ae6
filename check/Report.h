// The check's portable part: what is known of each entry of the file list, the verdict drawn from it,
// and the report text. The facts are gathered through Win32 (Facts.h, Probe.h); nothing here touches the
// system, so the rules build and are tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "repair/VersionTag.h"

namespace check {

// A file version from its version resource: major.minor.build.revision packed as the resource packs it.
using FileVersion = std::uint64_t;

enum class FileState { Missing, SameAsPackage, OtherBytes };

enum class Scope { Machine, User };

// A class whose in-process server is the entry's file.
struct ClassFact {
    std::string clsid;  // "{...}" as the registry writes it
    Scope scope = Scope::Machine;
    std::string name;  // the class key's default value
    std::string progId;
    bool progIdLeadsBack = false;  // ProgID\CLSID, as applications read it, names this class
    std::string provider;          // the "OLE DB Provider" description; empty when the class has none
};

// A class whose in-process server has the entry's file name but is another file (or names no file).
struct OtherCopy {
    std::string clsid;
    Scope scope = Scope::Machine;
    std::string path;  // as the registry names it
};

enum class StepOutcome { NotTried, Done, Crashed, Hung };

struct LoadFact {
    StepOutcome outcome = StepOutcome::NotTried;
    unsigned long error = 0;     // 0: loaded; else the system's error code
    std::string missingLibrary;  // with error 126: an import that is found nowhere, when one is
    bool wineBuiltin = false;    // the loaded module is Wine's own builtin code
};

struct CreationFact {
    std::string clsid;
    StepOutcome outcome = StepOutcome::NotTried;
    std::int32_t result = 0;  // HRESULT: negative for a failure
    std::string servedBy;     // the module the object's code lies in
    bool servedByThisFile = false;
    bool wineBuiltin = false;  // that module is Wine's own builtin code
};

struct EntryFacts {
    std::string key;
    std::string destination;
    FileState file = FileState::Missing;
    bool packageHasFile = true;
    std::optional<FileVersion> version;         // of the destination file
    std::optional<FileVersion> packageVersion;  // of the package's copy
    bool fileIsWineBuiltin = false;
    bool exportsRegisterServer = false;  // read from the file's export table
    std::vector<ClassFact> classes;
    std::vector<OtherCopy> otherCopies;
    // Classes registered per machine to this file that a per-user registration sends elsewhere.
    std::vector<OtherCopy> shadowedBy;
    LoadFact load;
    std::vector<CreationFact> creations;
};

enum class Verdict { Ok, Attention, Problem };

struct Judgement {
    Verdict verdict = Verdict::Ok;
    const char* advice = "";
};

Judgement Judge(const EntryFacts& entry);

// What the header says about the system and the run.
struct SystemFacts {
    repair::WindowsVersion version;  // the system's own
    std::string tag;                 // the tag the repair would show here
    bool windows64 = false;
    std::string user;
    bool elevated = false;
    std::string compatibilitySetting;  // for MdacRepair.exe, "where: value"; empty when none
    std::string listPath;
    std::string wineVersion;  // empty on Windows
};

// The Windows version a compatibility setting makes the repair see: a layer of Windows's compatibility
// settings ("~ WINXPSP3 RUNASADMIN") or a Windows version name of Wine's ("winxp", "win7"). None when the
// setting names no version.
std::optional<repair::WindowsVersion> VersionOfCompatibilitySetting(const std::string& setting);

// "1.2.3.4".
std::string FormatVersion(FileVersion version);
// "0x80040154".
std::string FormatResult(std::int32_t result);

struct Counts {
    int ok = 0;
    int attention = 0;
    int problem = 0;
};

// The whole report, lines ended by CR LF. `couldNotCheck` (a reason) replaces the entries when set.
std::string ReportText(const SystemFacts& system, const std::vector<EntryFacts>& entries,
                       const std::string& couldNotCheck);

// 0 when every entry is ok, 1 when any is not, 2 when the check could not be made.
int ExitCode(const std::vector<EntryFacts>& entries, const std::string& couldNotCheck);

}  // namespace check
