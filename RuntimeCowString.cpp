// The old reference-counted string, which the runtime's error classes (std::length_error and the others
// the string functions raise) keep their text in. See RuntimeParts.cpp for why the program makes parts of
// the runtime itself.
// The runtime's own switch, under its reserved name.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#define _GLIBCXX_USE_CXX11_ABI 0

#include <string>

// The members of that string the runtime's error classes call. Without them here the runtime's whole
// copy of it is linked (32 KB, which also brings std::random_device and a second copy of the string the
// program uses). The string's header holds their code: these lines only have it compiled here.
template std::string::_Rep* std::string::_Rep::_S_create(std::string::size_type, std::string::size_type,
                                                         const std::allocator<char>&);
template void std::string::_Rep::_M_destroy(const std::allocator<char>&) throw();
template void std::string::_Rep::_M_dispose(const std::allocator<char>&);
template char* std::string::_Rep::_M_clone(const std::allocator<char>&, std::string::size_type);
template char* std::string::_S_construct(std::string::size_type, char, const std::allocator<char>&);
template void std::string::swap(std::string&);
template std::string& std::string::assign(const std::string&);
template std::string::size_type std::string::_Rep::_S_empty_rep_storage[];
