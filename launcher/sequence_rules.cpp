#include "launcher/sequence_rules.h"

#include <cstdlib>
#include <string>

namespace {
constexpr size_t kProgIdPrefixLength = 19;  // "Access.Application."

int VersionAfterPrefix(std::string_view curVer) {
    return std::atoi(std::string(curVer.substr(kProgIdPrefixLength)).c_str());
}
}  // namespace

bool KeepWrittenObjectLibrary(std::string_view origCurVer, std::string_view newCurVer) {
    if (origCurVer.empty() || newCurVer.empty()) return false;
    // A text shorter than the prefix has no number at all: no decision, so
    // everything captured is put back.
    if (origCurVer.size() < kProgIdPrefixLength || newCurVer.size() < kProgIdPrefixLength) return false;
    const int oldVersion = VersionAfterPrefix(origCurVer);
    const int newVersion = VersionAfterPrefix(newCurVer);
    return oldVersion <= newVersion && newVersion < 14;
}
