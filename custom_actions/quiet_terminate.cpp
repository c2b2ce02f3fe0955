// No exception leaves an action, so std::terminate can only mean a broken
// runtime. The default handler would print the exception's demangled type
// name first, which links the whole demangler and formatted output into a
// library that must stay small; aborting at once serves the installer as well.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }  // NOLINT(bugprone-reserved-identifier)
}  // namespace __gnu_cxx
