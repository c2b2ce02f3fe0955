#include "permissions/work_list.h"

#include <algorithm>

#include "registry/capture_catalogue.h"

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string UpperCased(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

// Letters compare as lower case, as _stricmp does: a backslash then sorts
// before every letter, so "X\..." keys stay next to "X" and its shortened
// entry is not repeated after "XY..." keys.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
    });
}

std::vector<std::string> SortedUpperCase(std::vector<std::string> keys) {
    std::stable_sort(keys.begin(), keys.end(), LessIgnoringCase);
    for (auto& key : keys) key = UpperCased(key);
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
    command += root == RepairRoot::Classes ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES" : "HKEY_LOCAL_MACHINE";
    command += '\\';
    command += key;
    command += "\" -ot reg -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\" -actn clear -clr \"dacl,sacl\"";
    return command;
}

bool AsksForNoProgress(std::string_view commandText) { return UpperCased(commandText) == "NOPROGRESS"; }
