// What every fuzz target shares: taking choices and texts from the input's bytes, the two lead-byte
// tables, and a check at start that the engine was built with its literals in code page 936.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "repair/FileList.h"
#include "repair/Text.h"

namespace fuzz {

// Reads the input front to back; once it runs dry every choice is 0 and every text empty.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t Byte() {
        if (rest_.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    bool Bit() { return (Byte() & 1) != 0; }

    // A text of up to 255 bytes, its length taken from the input first.
    std::string_view Text() { return Take(Byte()); }
    // A text up to the next NUL (or the end), the NUL dropped: how a harness splits its input in parts.
    std::string_view Part() {
        const std::size_t end = rest_.find('\0');
        const std::string_view part = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return part;
    }
    std::string_view Rest() { return Take(rest_.size()); }
    bool Empty() const { return rest_.empty(); }

private:
    std::string_view Take(std::size_t n) {
        const std::string_view taken = rest_.substr(0, n);
        rest_.remove_prefix(taken.size());
        return taken;
    }

    std::string_view rest_;
};

// Code page 936 or every byte its own character, as the input's choice bit says.
inline const text::LeadBytes& ChooseLead(bool doubleByte) {
    static const text::LeadBytes cp936 = text::LeadBytes::CodePage936();
    static const text::LeadBytes single = text::LeadBytes::SingleByte();
    return doubleByte ? cp936 : single;
}

// Stops the run when a finding would be about other bytes than the program's: the engine must have been
// compiled from the copies whose literals are code page 936.
inline void RequireCodePage936Literals() {
    if (std::string_view(repair::kSystemBasePlaceholder) != "\xC2\xB7\xBE\xB6" ||
        std::string_view(repair::kFileListSection) != "\xCE\xC4\xBC\xFE\xC1\xD0\xB1\xED") {
        std::fputs("engine literals are not code page 936: build through the fuzz preset\n", stderr);
        std::abort();
    }
}

// Fails the run with `what` when `condition` does not hold.
inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace fuzz

#define FUZZ_INIT_CHECKS_LITERALS                        \
    extern "C" int LLVMFuzzerInitialize(int*, char***) { \
        fuzz::RequireCodePage936Literals();              \
        return 0;                                        \
    }
