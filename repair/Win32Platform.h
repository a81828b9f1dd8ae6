// The repair's platform operations on Windows, each a thin forward to its ANSI function.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "repair/Platform.h"
#include "repair/VersionTag.h"

namespace repair {

// The reading operations alone: what a program that must change nothing (the check) uses. It makes no
// folder, copies nothing and starts nothing; each such operation fails.
class Win32ReadingPlatform : public Platform {
public:
    Win32ReadingPlatform();

    const text::LeadBytes& Lead() const override { return lead_; }
    std::string EnvironmentValue(const std::string& name) override;
    bool IsDirectory(const std::string& path) override;
    bool MakeDirectory(const std::string&) override { return false; }
    std::string ModulePath() override;
    std::string ProfileKeyNames(const std::string& file, const std::string& section,
                                std::size_t bufferSize) override;
    std::string ProfileValue(const std::string& file, const std::string& section, const std::string& key,
                             std::size_t bufferSize) override;
    CopyResult CopyFileNoReplace(const std::string&, const std::string&) override {
        return CopyResult::Failed;
    }
    std::string SystemDirectory() override;
    bool StartHidden(const std::string&, const std::string&) override { return false; }

protected:
    text::LeadBytes lead_;
};

// The repair's platform: the reading operations and those that change the system.
class Win32Platform final : public Win32ReadingPlatform {
public:
    bool MakeDirectory(const std::string& path) override;
    CopyResult CopyFileNoReplace(const std::string& source, const std::string& destination) override;
    bool StartHidden(const std::string& program, const std::string& commandLine) override;
};

// Lead bytes of the ANSI code page of the thread's locale; every byte single on a system without
// double-byte support.
text::LeadBytes ThreadCodePageLeadBytes();

// The version as GetVersionExA reports it; all zero when the call fails. A compatibility layer, which any
// user can set for the program, changes what it reports.
WindowsVersion QueryWindowsVersion();

// The system's own version, which no compatibility layer changes: read from the system's core library
// (from XP on); all zero on older systems.
WindowsVersion QuerySystemVersion();

// The system folder ("C:\Windows\system32"); empty when it cannot be read.
std::string SystemFolder();

// Loads a library of the system folder by its full path, so that no file of that name elsewhere (in the
// program's folder above all) is ever taken; null when the folder cannot be read or the library is not
// there. `flags` as LoadLibraryEx takes them. The program never frees it: it stays loaded for the
// program's life.
HMODULE LoadSystemLibrary(const char* name, DWORD flags = 0);

// Reads a path whole from a function that writes it into a buffer of the size given and returns its
// length, as GetModuleFileName does: a path that does not fit is cut and reported as filling the whole
// buffer, with or without a terminator; then it is read again into a larger buffer. Empty when the
// function fails or no buffer up to 64K characters holds the path.
std::string ReadWholePath(std::size_t (*read)(char* buffer, std::size_t size));

}  // namespace repair
