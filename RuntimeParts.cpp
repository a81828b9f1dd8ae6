// Parts of the C++ runtime the program supplies itself, each in place of one that would pull a large
// piece of the runtime into the program file while changing nothing it shows. The program is linked
// statically, and the linker takes a runtime object only for a name nothing before it defines: defining
// these names here keeps those objects out. The programs that ship are built with this file and
// RuntimeCowString.cpp, and so are the tests' builds of the whole program; the engine's and the window
// layer's own tests keep the runtime's parts. binary_check reads the program's link map
// (scripts/check-binary --link-map) and refuses it when one of the runtime's parts kept out here is linked
// all the same, so a compiler whose runtime needs more than these names shows at once.

#include <cstdlib>
#include <exception>
#include <string>

// What the runtime does with an error nobody catches: by default it spells out the error's class with
// its name demangler (46 KB, with a printf family besides) on a standard error stream, which a windowed
// program does not have, and then ends the program with abort(). The program ends the same way without
// that text: what the user sees (the C runtime's box for an abnormal end) is the same.
namespace __gnu_cxx {  // NOLINT(cert-dcl58-cpp): the runtime's documented name for its default handler
void __verbose_terminate_handler() {  // NOLINT(bugprone-reserved-identifier)
    std::abort();
}
}  // namespace __gnu_cxx

// Two members of the program's string that the runtime's error classes call (through its copy of the
// string's text). Made here, so that the runtime's own copy of every member of that string stays out.
template void std::string::_M_assign(const std::string&);
template char* std::string::_M_create(std::string::size_type&, std::string::size_type);
