// Fakes of the platform and of the host window that keep files and folders in memory and write every
// call, in order, to one shared journal.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "repair/Platform.h"
#include "repair/RepairRun.h"

namespace fakes {

using Journal = std::vector<std::string>;

class FakePlatform : public repair::Platform {
public:
    explicit FakePlatform(Journal& journal, const text::LeadBytes& lead = text::LeadBytes::CodePage936())
        : journal_(journal), lead_(lead) {}

    // The machine.
    std::map<std::string, std::string> environment;
    std::set<std::string> directories;           // existing folders, without a trailing "\"
    std::map<std::string, std::string> files;    // path -> contents
    std::set<std::string> unmakableDirectories;  // MakeDirectory fails for these
    std::set<std::string> deniedDestinations;    // copies to these are refused access
    bool startsRefused = false;                  // no command can be started (journalled as refused)
    std::set<std::string> refusedCommandLines;   // these commands cannot be started
    std::string modulePath = "C:\\Tools\\MdacRepair.exe";
    std::string systemDirectory = "C:\\WINDOWS\\system32";

    const text::LeadBytes& Lead() const override { return lead_; }
    std::string EnvironmentValue(const std::string& name) override;
    bool IsDirectory(const std::string& path) override;
    bool MakeDirectory(const std::string& path) override;
    std::string ModulePath() override { return modulePath; }
    std::string ProfileKeyNames(const std::string& file, const std::string& section,
                                std::size_t bufferSize) override;
    std::string ProfileValue(const std::string& file, const std::string& section, const std::string& key,
                             std::size_t bufferSize) override;
    repair::CopyResult CopyFileNoReplace(const std::string& source, const std::string& destination) override;
    std::string SystemDirectory() override;
    bool StartHidden(const std::string& program, const std::string& commandLine) override;

private:
    bool ParentExists(const std::string& path) const;

    Journal& journal_;
    text::LeadBytes lead_;
};

class FakeHost : public repair::RunHost {
public:
    explicit FakeHost(Journal& journal) : journal_(journal) {}

    std::string tag = "XP";
    int progressMin = 0;
    int progressMax = 100;
    int progressPosition = 0;

    void StopTimer1() override { journal_.push_back("StopTimer1"); }
    void StopTimer2() override { journal_.push_back("StopTimer2"); }
    std::string ShownTag() override { return tag; }
    void SetProgressMax(int maximum) override;
    void SetProgressPosition(int position) override;
    void ShowMessage(const std::string& message) override { journal_.push_back("ShowMessage " + message); }
    void Close() override { journal_.push_back("Close"); }

private:
    Journal& journal_;
};

}  // namespace fakes
