// The facts the check gathers in its own process, read-only: the system, the list the repair would use,
// and for each entry its file and registration. Loading and creating happen in a child (Probe.h).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "check/Report.h"
#include "repair/Win32Platform.h"

namespace check {

// The system's facts, the list path included (`programDirectory` ends in "\").
SystemFacts GatherSystemFacts(repair::Platform& platform, const std::string& programDirectory);

// The list's entries as the repair derives them, or a reason the check cannot be made (no list, a path too
// long, an empty list).
struct ListEntries {
    std::vector<EntryFacts> entries;   // key and destination filled
    std::vector<std::string> sources;  // the package's copy of each
    std::string couldNotCheck;
};
ListEntries ReadListEntries(repair::Platform& platform, const std::string& programDirectory,
                            const std::string& tag);

// Fills the file and registration facts of each entry.
void GatherFileAndRegistrationFacts(std::vector<EntryFacts>& entries,
                                    const std::vector<std::string>& sources);

// After the child's load step: the import its loader could not find, when it was a direct one.
std::string MissingImportOf(const std::string& path);

// Whether every library `path` needs, and every library those need, is found beside it or in the system
// folder, as a loader that has loaded nothing else finds them. Only then may the child that loads it have
// loaded other entries first: a library an earlier entry brought in would hide one that is missing.
// `resolved` remembers the modules already walked (lower case) across calls.
bool ImportsFoundOnTheirOwn(const std::string& path, std::set<std::string>& resolved);

// Whether `path` (as a module's file name) is the file at `destination`.
bool SameFile(const std::string& path, const std::string& destination);

// True when the process runs under Wine; its version then.
std::string WineVersion();

}  // namespace check
