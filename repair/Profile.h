// A reader of Windows profile (INI) files that answers as the system's GetPrivateProfileStringA does,
// for systems that have no such function. It works on the file's bytes in the ANSI code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "repair/Text.h"

namespace profile {

// The key names of `section`, as GetPrivateProfileStringA(section, NULL, ...) puts them into a buffer of
// `bufferSize` bytes: each name followed by a NUL. Returns the bytes that the call reports as copied
// (its return value), so the text ends in the NUL of the last whole name. When the names do not fit,
// the last name is cut and the result has bufferSize - 2 bytes. Empty when the section is absent.
std::string KeyNames(std::string_view fileBytes, std::string_view section, std::size_t bufferSize,
                     const text::LeadBytes& lead);

// The value of `key` in `section`, as GetPrivateProfileStringA(section, key, defaultValue, ...) puts it
// into a buffer of `bufferSize` bytes: at most bufferSize - 1 bytes, matching quotes removed.
std::string Value(std::string_view fileBytes, std::string_view section, std::string_view key,
                  std::string_view defaultValue, std::size_t bufferSize, const text::LeadBytes& lead);

}  // namespace profile
