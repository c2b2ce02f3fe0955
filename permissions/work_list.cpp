#include "permissions/work_list.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "common/registry_roots.h"
#include "registry/capture_catalogue.h"

namespace {

// Letters compare as lower case, as _stricmp does: a backslash then sorts
// before every letter, so "X\..." keys stay next to "X" and its shortened
// entry is not repeated after "XY..." keys.
std::vector<std::string> SortedUpperCase(std::vector<std::string> keys) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const std::string& a, const std::string& b) { return LessIgnoringAsciiCase(a, b); });
    for (auto& key : keys) key = ToUpperAscii(key);
    return keys;
}

// Keys whose first part is only a container: the launcher's registrations
// live one level further down.
bool IsTwoPartRoot(std::string_view firstPart) {
    return firstPart == "CLSID" || firstPart == "TYPELIB" || firstPart == "MIME" || firstPart == "INTERFACE";
}

}  // namespace

std::vector<std::string> BuildClassesWorkList(std::vector<std::string> keys) {
    std::vector<std::string> work;
    std::string previous;
    for (const std::string& key : SortedUpperCase(std::move(keys))) {
        const auto first = key.find('\\');
        if (first == std::string::npos) {
            work.push_back(key);
            previous = key;
            continue;
        }
        const std::string firstPart = key.substr(0, first);
        std::string shortened = firstPart;
        if (IsTwoPartRoot(firstPart)) shortened = key.substr(0, key.find('\\', first + 1));
        if (shortened != previous) {
            work.push_back(shortened);
            previous = shortened;
        }
    }
    return work;
}

std::vector<std::string> BuildClassesWorkList() {
    std::vector<std::string> keys;
    keys.reserve(kClassesCatalogue.size());
    for (const CatalogueRow& row : kClassesCatalogue) keys.emplace_back(row.keyPath);
    return BuildClassesWorkList(std::move(keys));
}

std::vector<std::string> BuildMachineWorkList() {
    std::vector<std::string> keys;
    for (const CatalogueRow& row : kMachineCatalogue) keys.emplace_back(row.keyPath);
    return SortedUpperCase(std::move(keys));
}

std::string RepermissionCommand(RepairRoot root, std::string_view key) {
    std::string command = "-on \"";
    command += NamesOf(RegRoot::LocalMachine).longName;
    if (root == RepairRoot::Classes) command += "\\SOFTWARE\\CLASSES";
    command += '\\';
    command += key;
    command += "\" -ot reg -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\" -actn clear -clr \"dacl,sacl\"";
    return command;
}

bool AsksForNoProgress(std::string_view commandText) { return EqualsIgnoringAsciiCase(commandText, "NOPROGRESS"); }
