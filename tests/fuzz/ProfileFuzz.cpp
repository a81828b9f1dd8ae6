// The portable profile reader over arbitrary file bytes: section, key and buffer sizes come from the
// input too, tiny buffers included. Checks what the system's reader guarantees of its answers.
//
// Input: [flags][key-names buffer size][value buffer size] section NUL key NUL file bytes...
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "repair/FileList.h"
#include "repair/Profile.h"

FUZZ_INIT_CHECKS_LITERALS

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.Byte();
    const text::LeadBytes& lead = fuzz::ChooseLead(flags & 1);
    // Mostly small buffers, where the cutting happens; sometimes the program's own sizes.
    const std::size_t namesSize = (flags & 2) ? repair::kKeyNamesBufferSize : in.Byte();
    const std::size_t valueSize = (flags & 4) ? repair::kValueBufferSize : in.Byte();
    // Half the time the program's own section, so the list's lines are reached without guessing it.
    std::string section(in.Part());
    if (flags & 8) section = repair::kFileListSection;
    const std::string key(in.Part());
    const std::string_view file = in.Rest();

    const std::string names = profile::KeyNames(file, section, namesSize, lead);
    // The buffer also holds the NUL that ends the whole list.
    fuzz::Check(names.size() <= (namesSize < 2 ? 0 : namesSize - 2), "key names fit the buffer");
    fuzz::Check(names.empty() || names.size() == namesSize - 2 || names.back() == '\0',
                "key names end in a NUL unless cut short");

    const std::string value = profile::Value(file, section, key, "default", valueSize, lead);
    fuzz::Check(value.size() + 1 <= valueSize || (valueSize == 0 && value.empty()), "value fits the buffer");
    fuzz::Check(value.find('\n') == std::string::npos, "a value is one line");

    // Every listed name reads back its value without trouble; the program reads them all this way.
    for (const std::string& name : repair::SplitKeyNames(names)) {
        fuzz::Check(!name.empty(), "no empty names are listed");
        fuzz::Check(name.find('\0') == std::string::npos, "names hold no NUL");
        profile::Value(file, section, name, "", repair::kValueBufferSize, lead);
    }
    return 0;
}
