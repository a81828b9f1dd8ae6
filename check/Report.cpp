#include "check/Report.h"

#include <algorithm>
#include <string_view>

#include "check/ReportTexts.h"

namespace check {
namespace {

bool Failed(StepOutcome outcome) {
    return outcome == StepOutcome::Crashed || outcome == StepOutcome::Hung;
}

const char* LoadAdvice(unsigned long error) {
    switch (error) {
        case 126:  // ERROR_MOD_NOT_FOUND: the file is there, so a library it imports is not
            return texts::kAdviceMissingLibrary;
        case 193:  // ERROR_BAD_EXE_FORMAT
            return texts::kAdviceNot32Bit;
        case 1114:  // ERROR_DLL_INIT_FAILED
            return texts::kAdviceInitFailed;
        case 5:  // ERROR_ACCESS_DENIED
            return texts::kAdviceAccessDenied;
        default:
            return texts::kAdviceLoadFailed;
    }
}

const char* LoadWords(unsigned long error) {
    switch (error) {
        case 126:
            return texts::kLoadMissingLibrary;
        case 193:
            return texts::kLoadNot32Bit;
        case 1114:
            return texts::kLoadInitFailed;
        case 5:
            return texts::kLoadAccessDenied;
        default:
            return texts::kLoadFailed;
    }
}

}  // namespace

// The first rule that applies decides, in the order of what keeps an application from the component:
// the file, its loading, the creation of its classes, where its classes lead, then what is merely odd.
Judgement Judge(const EntryFacts& entry) {
    if (entry.file == FileState::Missing) {
        return {Verdict::Problem, entry.packageHasFile ? texts::kAdviceMissing : texts::kAdviceNoPackageCopy};
    }
    if (Failed(entry.load.outcome)) return {Verdict::Problem, texts::kAdviceLoadCrashed};
    // No child could be started or it ended before this entry: nothing is known of what applications get.
    if (entry.load.outcome == StepOutcome::NotTried) return {Verdict::Attention, texts::kAdviceNotProbed};
    if (entry.load.outcome == StepOutcome::Done && entry.load.error != 0) {
        return {Verdict::Problem, LoadAdvice(entry.load.error)};
    }
    for (const CreationFact& creation : entry.creations) {
        if (Failed(creation.outcome)) return {Verdict::Problem, texts::kAdviceCreateCrashed};
    }
    // What applications create is what the per-user registration names.
    if (!entry.shadowedBy.empty()) return {Verdict::Problem, texts::kAdviceShadowed};
    for (const CreationFact& creation : entry.creations) {
        if (creation.outcome == StepOutcome::Done && creation.result < 0) {
            return {Verdict::Problem, texts::kAdviceCreateFailed};
        }
    }
    for (const CreationFact& creation : entry.creations) {
        if (creation.outcome == StepOutcome::Done && !creation.servedByThisFile) {
            return {Verdict::Problem, texts::kAdviceOtherFile};
        }
    }
    if (entry.classes.empty()) {
        if (!entry.otherCopies.empty()) return {Verdict::Problem, texts::kAdviceOtherFile};
        // A file that does not register itself (a resource library, a helper) needs no class.
        if (entry.exportsRegisterServer) return {Verdict::Problem, texts::kAdviceNotRegistered};
    }
    for (const ClassFact& fact : entry.classes) {
        if (!fact.progId.empty() && !fact.progIdLeadsBack) return {Verdict::Attention, texts::kAdviceProgId};
    }
    if (!entry.otherCopies.empty()) return {Verdict::Attention, texts::kAdviceOtherFile};
    if (entry.file == FileState::OtherBytes) {
        // The repair never replaces a file: a newer one (a system update's) is as it should be.
        if (!entry.version || !entry.packageVersion) return {Verdict::Attention, texts::kAdviceDifferent};
        if (*entry.version < *entry.packageVersion) return {Verdict::Attention, texts::kAdviceOlder};
        // Loaded and created, so applications get a working file; but not the package's, and the version
        // cannot tell which build it is: a system's own build of that version, or a file altered since.
        if (*entry.version == *entry.packageVersion) return {Verdict::Attention, texts::kAdviceSameVersion};
    }
    if (!entry.packageHasFile) return {Verdict::Attention, texts::kAdviceNoPackageCopy};
    return {Verdict::Ok, texts::kAdviceOk};
}

namespace {

struct LayerVersion {
    std::string_view prefix;  // a layer's name, or its beginning (service-pack forms)
    repair::WindowsVersion version;
};

// Windows's own layer names and Wine's version names; the first whose name the setting's word begins with.
constexpr LayerVersion kLayers[] = {
    {"WIN95", {1, 4, 0}},    {"WIN98", {1, 4, 10}},    {"WINME", {1, 4, 90}},  {"NT4SP5", {2, 4, 0}},
    {"NT40", {2, 4, 0}},     {"WIN2000", {2, 5, 0}},   {"WIN2K", {2, 5, 0}},   {"WINXP64", {2, 5, 2}},
    {"WINXP", {2, 5, 1}},    {"WINSRV03", {2, 5, 2}},  {"WIN2003", {2, 5, 2}}, {"VISTA", {2, 6, 0}},
    {"WINSRV08", {2, 6, 0}}, {"WIN2008R2", {2, 6, 1}}, {"WIN2008", {2, 6, 0}}, {"WIN7", {2, 6, 1}},
    {"WIN8", {2, 6, 2}},     {"WIN81", {2, 6, 3}},     {"WIN10", {2, 10, 0}},
};

std::string Upper(std::string_view word) {
    std::string upper(word);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

}  // namespace

std::optional<repair::WindowsVersion> VersionOfCompatibilitySetting(const std::string& setting) {
    // A layer setting is words parted by blanks; "~" and "$" are marks, not layers.
    std::size_t from = 0;
    while (from < setting.size()) {
        const std::size_t end = std::min(setting.find(' ', from), setting.size());
        const std::string word = Upper(std::string_view(setting).substr(from, end - from));
        from = end + 1;
        // Longer names first where one begins another ("WIN81" before "WIN8", "WIN2008R2" before "WIN2008").
        const LayerVersion* best = nullptr;
        for (const LayerVersion& layer : kLayers) {
            if (word.starts_with(layer.prefix) &&
                (best == nullptr || layer.prefix.size() > best->prefix.size())) {
                best = &layer;
            }
        }
        if (best != nullptr) return best->version;
    }
    return std::nullopt;
}

std::string FormatVersion(FileVersion version) {
    return std::to_string(version >> 48) + "." + std::to_string((version >> 32) & 0xFFFF) + "." +
           std::to_string((version >> 16) & 0xFFFF) + "." + std::to_string(version & 0xFFFF);
}

std::string FormatResult(std::int32_t result) {
    // Eight hexadecimal digits, as result codes are written; the C library's formatting would bring a
    // large piece of its own into the program for this one use.
    constexpr char kDigits[] = "0123456789ABCDEF";
    const auto value = static_cast<std::uint32_t>(result);
    std::string text = "0x00000000";
    for (int i = 0; i < 8; ++i) text[9 - i] = kDigits[(value >> (4 * i)) & 0xF];
    return text;
}

namespace {

constexpr char kEnd[] = "\r\n";

const char* VerdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok:
            return texts::kOk;
        case Verdict::Attention:
            return texts::kAttention;
        default:
            return texts::kProblem;
    }
}

const char* ScopeWord(Scope scope) {
    return scope == Scope::Machine ? texts::kScopeMachine : texts::kScopeUser;
}

const char* StepWord(StepOutcome outcome) {
    return outcome == StepOutcome::Crashed ? texts::kCrashed
           : outcome == StepOutcome::Hung  ? texts::kHung
                                           : texts::kNotTried;
}

std::string FileLine(const EntryFacts& entry) {
    std::string line = texts::kFileLine;
    if (entry.file == FileState::Missing) {
        line += texts::kFileMissing;
    } else {
        line += entry.packageHasFile
                    ? (entry.file == FileState::SameAsPackage ? texts::kFileSame : texts::kFileOther)
                    : texts::kPackageMissing;
        line += texts::kCountSeparator;
        line += entry.version ? texts::kVersion + FormatVersion(*entry.version) : texts::kNoVersion;
    }
    if (entry.file == FileState::OtherBytes && entry.packageHasFile) {
        line += texts::kCountSeparator;
        line += entry.packageVersion ? texts::kPackageVersion + FormatVersion(*entry.packageVersion)
                                     : std::string(texts::kNoVersion);
        if (entry.version && entry.packageVersion) {
            line += texts::kCountSeparator;
            line += *entry.version > *entry.packageVersion   ? texts::kNewer
                    : *entry.version < *entry.packageVersion ? texts::kOlder
                                                             : texts::kSameVersion;
        }
    }
    if (entry.fileIsWineBuiltin) {
        line += texts::kCountSeparator;
        line += texts::kWineBuiltin;
    }
    return line + kEnd;
}

std::string ClassLines(const EntryFacts& entry, Scope scope) {
    std::string lines;
    const char* label = scope == Scope::Machine ? texts::kMachineClassLine : texts::kUserClassLine;
    for (const ClassFact& fact : entry.classes) {
        if (fact.scope != scope) continue;
        lines += label + fact.clsid;
        if (!fact.name.empty()) lines += " " + fact.name;
        if (!fact.progId.empty()) {
            lines += texts::kCountSeparator;
            lines += texts::kProgId + fact.progId +
                     (fact.progIdLeadsBack ? texts::kProgIdLeadsBack : texts::kProgIdElsewhere);
        }
        if (!fact.provider.empty()) {
            lines += texts::kCountSeparator;
            lines += texts::kProvider + fact.provider;
        }
        lines += kEnd;
    }
    return lines.empty() ? label + std::string(texts::kNone) + kEnd : lines;
}

// Class keys are named without regard to case, and the machine's and the user's may write one differently.
bool SameRegistration(const OtherCopy& a, const OtherCopy& b) {
    return a.scope == b.scope && a.path == b.path && Upper(a.clsid) == Upper(b.clsid);
}

// Each registration once: a per-user one that shadows the machine's is also another copy of the file
// name, and is told as the shadow, which is what it does to applications.
std::string CopyLines(const char* label, const std::vector<OtherCopy>& copies,
                      const std::vector<OtherCopy>& toldElsewhere = {}) {
    std::string lines;
    for (const OtherCopy& copy : copies) {
        if (std::any_of(toldElsewhere.begin(), toldElsewhere.end(),
                        [&copy](const OtherCopy& told) { return SameRegistration(copy, told); })) {
            continue;
        }
        lines += label + copy.clsid + ScopeWord(copy.scope) + " " + copy.path + kEnd;
    }
    return lines;
}

std::string LoadLine(const LoadFact& load) {
    std::string line = texts::kLoadLine;
    if (load.outcome != StepOutcome::Done) {
        line += StepWord(load.outcome);
    } else if (load.error == 0) {
        line += texts::kLoaded;
        if (load.wineBuiltin) line += texts::kCountSeparator + std::string(texts::kWineBuiltin);
    } else {
        line += LoadWords(load.error);
        if (LoadWords(load.error) == texts::kLoadFailed) line += std::to_string(load.error);
        if (!load.missingLibrary.empty()) line += "（" + load.missingLibrary + "）";
    }
    return line + kEnd;
}

std::string CreationLine(const CreationFact& creation) {
    std::string line = texts::kCreateLine + creation.clsid + "：";
    if (creation.outcome != StepOutcome::Done) {
        line += StepWord(creation.outcome);
    } else if (creation.result < 0) {
        line += texts::kCreateFailed + FormatResult(creation.result);
    } else {
        line += texts::kCreated + creation.servedBy + texts::kCreatedBy;
        if (creation.wineBuiltin) line += texts::kCountSeparator + std::string(texts::kWineBuiltin);
    }
    return line + kEnd;
}

std::string EntryBlock(std::size_t number, const EntryFacts& entry, const Judgement& judgement) {
    std::string block =
        "[" + std::to_string(number) + "] " + entry.key + texts::kEntryArrow + entry.destination + kEnd;
    block += texts::kVerdictLine + std::string(VerdictWord(judgement.verdict)) + texts::kAdviceSeparator +
             judgement.advice + kEnd;
    block += FileLine(entry);
    if (entry.file != FileState::Missing) {
        block +=
            texts::kSelfRegisterLine +
            std::string(entry.exportsRegisterServer ? texts::kExportsRegister : texts::kNoRegisterExport) +
            kEnd;
    }
    block += ClassLines(entry, Scope::Machine);
    block += ClassLines(entry, Scope::User);
    block += CopyLines(texts::kOtherCopyLine, entry.otherCopies, entry.shadowedBy);
    block += CopyLines(texts::kShadowLine, entry.shadowedBy);
    if (entry.file != FileState::Missing) block += LoadLine(entry.load);
    for (const CreationFact& creation : entry.creations) block += CreationLine(creation);
    return block;
}

}  // namespace

std::string ReportText(const SystemFacts& system, const std::vector<EntryFacts>& entries,
                       const std::string& couldNotCheck) {
    std::string report = texts::kHeading + std::string(kEnd);
    report += texts::kWindowsLine + std::to_string(system.version.major) + "." +
              std::to_string(system.version.minor) + kEnd;
    report += texts::kTagLine + system.tag + kEnd;
    report += texts::kBitsLine + std::string(system.windows64 ? texts::kBits64 : texts::kBits32) + kEnd;
    report +=
        texts::kUserLine + system.user + (system.elevated ? texts::kElevated : texts::kNotElevated) + kEnd;
    report += texts::kCompatibilityLine +
              (system.compatibilitySetting.empty() ? std::string(texts::kNoCompatibility)
                                                   : system.compatibilitySetting) +
              kEnd;
    report += texts::kListLine + system.listPath + kEnd;
    if (!system.wineVersion.empty()) report += texts::kWineLine + system.wineVersion + kEnd;
    report += kEnd;
    if (!couldNotCheck.empty()) return report + texts::kCouldNotCheck + couldNotCheck + kEnd;

    Counts counts;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Judgement judgement = Judge(entries[i]);
        (judgement.verdict == Verdict::Ok          ? counts.ok
         : judgement.verdict == Verdict::Attention ? counts.attention
                                                   : counts.problem)++;
        report += EntryBlock(i + 1, entries[i], judgement) + kEnd;
    }
    report += texts::kCountsLine + std::to_string(entries.size()) + texts::kEntries + texts::kOk + " " +
              std::to_string(counts.ok) + texts::kCountSeparator + texts::kAttention + " " +
              std::to_string(counts.attention) + texts::kCountSeparator + texts::kProblem + " " +
              std::to_string(counts.problem) + kEnd;
    return report;
}

int ExitCode(const std::vector<EntryFacts>& entries, const std::string& couldNotCheck) {
    if (!couldNotCheck.empty()) return 2;
    for (const EntryFacts& entry : entries) {
        if (Judge(entry).verdict != Verdict::Ok) return 1;
    }
    return 0;
}

}  // namespace check
