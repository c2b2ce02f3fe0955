// The tarnwick-snapshot command line: decode, encode and diff of the
// launcher's snapshot file. The program around it only supplies what the
// platform gives (the encodings, a registry to compare with) and moves the
// output to its streams.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "registry/snapshot.h"
#include "tools/snapshot/reg_text.h"

constexpr int kExitDone = 0;
constexpr int kExitDamaged = 1;  // an input that cannot be read, is damaged, or cannot be carried
constexpr int kExitUsage = 2;
constexpr int kExitDifferent = 3;  // diff: some captured value differs from the registry

struct ToolPlatform {
    RegEncoding regEncoding = RegEncoding::Utf8;      // decode's output without --utf8 or --utf16
    RegEncoding consoleEncoding = RegEncoding::Utf8;  // diff's output
    // The value the registry holds now for an entry's root, key and name
    // (present 0 when there is none); empty where there is no registry.
    std::function<RegistryEntry(const RegistryEntry&)> readCurrent;
};

struct ToolOutput {
    std::string out;  // bytes for standard output
    std::string err;  // text for standard error
};

std::string UsageText(const ToolPlatform& platform);
int RunSnapshotTool(const std::vector<std::string>& args, const ToolPlatform& platform, ToolOutput& output);
