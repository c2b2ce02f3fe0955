// The shipped binaries let no exception escape, so std::terminate can only
// mean a broken runtime. The C++ runtime's default handler would print the
// demangled name of the exception first, which links the whole demangler and
// formatted output into programs that have no console and must stay small
// (the permissions tool travels inside the launcher, so its size counts
// twice); ending at once serves them as well.
#include <cstdlib>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }  // NOLINT(bugprone-reserved-identifier): the runtime's hook
}  // namespace __gnu_cxx
#endif
