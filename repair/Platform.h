// The operating system's services that a repair needs, behind one small interface: the Win32
// implementation forwards each to its ANSI function, the tests use fakes.
#pragma once

#include <cstddef>
#include <string>

#include "repair/Text.h"

namespace repair {

enum class CopyResult {
    Copied,
    DestinationExists,  // the existing file was left as it was
    Failed,             // source missing, destination folder missing, access denied, ...
};

class Platform {
public:
    virtual ~Platform() = default;

    // The lead bytes of the ANSI code page, settled once at start.
    virtual const text::LeadBytes& Lead() const = 0;

    // The whole value of an environment variable; empty when it is not set.
    virtual std::string EnvironmentValue(const std::string& name) = 0;
    virtual bool IsDirectory(const std::string& path) = 0;
    // Makes one folder with default security; true on success.
    virtual bool MakeDirectory(const std::string& path) = 0;
    // The running program's path, whole however long it is; empty when it cannot be read.
    virtual std::string ModulePath() = 0;

    // A profile file's key names of `section`, each followed by a NUL, as the system's profile reader
    // fills a buffer of `bufferSize` bytes (the bytes it reports as copied).
    virtual std::string ProfileKeyNames(const std::string& file, const std::string& section,
                                        std::size_t bufferSize) = 0;
    // The value of `key`, empty when absent, as read into a buffer of `bufferSize` bytes.
    virtual std::string ProfileValue(const std::string& file, const std::string& section,
                                     const std::string& key, std::size_t bufferSize) = 0;

    // Copies a file, never replacing an existing destination.
    virtual CopyResult CopyFileNoReplace(const std::string& source, const std::string& destination) = 0;

    // The system directory ("C:\Windows\system32"); empty when it cannot be read.
    virtual std::string SystemDirectory() = 0;
    // Starts `program` with `commandLine`, hidden, in `program`'s own folder, without waiting for it;
    // true when the system started it. What the started program then does is never learnt.
    virtual bool StartHidden(const std::string& program, const std::string& commandLine) = 0;
};

}  // namespace repair
