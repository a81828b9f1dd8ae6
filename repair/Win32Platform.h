// The repair's platform operations on Windows, each a thin forward to its ANSI function.
#pragma once

#include "repair/Platform.h"
#include "repair/VersionTag.h"

namespace repair {

class Win32Platform final : public Platform {
public:
    Win32Platform();

    const text::LeadBytes& Lead() const override { return lead_; }
    std::string EnvironmentValue(const std::string& name) override;
    bool IsDirectory(const std::string& path) override;
    bool MakeDirectory(const std::string& path) override;
    std::string ModulePath() override;
    std::string ProfileKeyNames(const std::string& file, const std::string& section,
                                std::size_t bufferSize) override;
    std::string ProfileValue(const std::string& file, const std::string& section, const std::string& key,
                             std::size_t bufferSize) override;
    CopyResult CopyFileNoReplace(const std::string& source, const std::string& destination) override;
    std::string SystemDirectory() override;
    bool StartHidden(const std::string& program, const std::string& commandLine) override;

private:
    text::LeadBytes lead_;
};

// Lead bytes of the ANSI code page of the thread's locale; every byte single on a system without
// double-byte support.
text::LeadBytes ThreadCodePageLeadBytes();

// The version as GetVersionExA reports it; all zero when the call fails.
WindowsVersion QueryWindowsVersion();

}  // namespace repair
