#include "tools/snapshot/tool.h"

#include <cstdio>
#include <memory>

#include "tools/snapshot/snapshot_entries.h"
#include "tools/snapshot/text_encoding.h"

namespace {

// C streams rather than iostreams: the Windows program links its runtime
// statically, and iostreams would make it several times larger.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueStream = std::unique_ptr<std::FILE, FileCloser>;

std::optional<std::string> ReadWholeFile(const std::string& path) {
    UniqueStream file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[16384];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) bytes.append(buffer, got);
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    UniqueStream file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}

int Usage(const ToolPlatform& platform, ToolOutput& output) {
    output.err += UsageText(platform);
    return kExitUsage;
}

int Failure(ToolOutput& output, const std::string& path, const std::string& message) {
    output.err += "tarnwick-snapshot: " + path + ": " + message + "\n";
    return kExitDamaged;
}

int Decode(const std::string& path, const std::string& outPath, RegEncoding encoding, ToolOutput& output) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) return Failure(output, path, "cannot be read");
    std::string error;
    const auto entries = EntriesOfSnapshotFile(*bytes, error);
    if (!entries) return Failure(output, path, error);
    const auto text = RegFileText(*entries, error);
    if (!text) return Failure(output, path, error);
    const std::string encoded = EncodeRegText(*text, encoding);
    if (outPath.empty()) {
        output.out += encoded;
    } else if (!WriteWholeFile(outPath, encoded)) {
        return Failure(output, outPath, "cannot be written");
    }
    return kExitDone;
}

int Encode(const std::string& regPath, const std::string& outPath, ToolOutput& output) {
    const auto bytes = ReadWholeFile(regPath);
    if (!bytes) return Failure(output, regPath, "cannot be read");
    std::string error;
    const auto text = DecodeRegFileBytes(*bytes, error);
    if (!text) return Failure(output, regPath, error);
    const auto parse = ParseRegText(*text, error);
    if (!parse) return Failure(output, regPath, error);
    const SnapshotEncoding encoding = SnapshotFromRegText(*parse);
    for (const auto& notice : encoding.notices) output.err += "tarnwick-snapshot: " + regPath + ": " + notice + "\n";
    if (!encoding.fileBytes) return Failure(output, regPath, encoding.error + "; nothing written");
    if (!WriteWholeFile(outPath, *encoding.fileBytes)) return Failure(output, outPath, "cannot be written");
    return kExitDone;
}

std::string ShownValue(const RegistryEntry& entry) {
    if (entry.present != 1) return "(absent)";
    return RegDataText(entry).value_or("(a value of kind " + std::to_string(entry.valueType) + ")");
}

int Diff(const std::string& path, const ToolPlatform& platform, ToolOutput& output) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) return Failure(output, path, "cannot be read");
    std::string error;
    const auto entries = EntriesOfSnapshotFile(*bytes, error);
    if (!entries) return Failure(output, path, error);
    std::string text;
    for (const auto& captured : *entries) {
        const RegistryEntry current = platform.readCurrent(captured);
        // Two values are the same when regedit would write them the same.
        const std::string was = ShownValue(captured), now = ShownValue(current);
        if (was == now) continue;
        const std::string key = std::string(NamesOf(captured.root).longName) + "\\" + captured.keyPath;
        const std::string name = captured.valueName.empty() ? "@" : captured.valueName;
        text += Utf8FromAnsi(key).value_or(key) + "\t" + Utf8FromAnsi(name).value_or(name) + "\t" + was + "\t" + now + "\r\n";
    }
    output.out += EncodeRegText(text, platform.consoleEncoding);
    return text.empty() ? kExitDone : kExitDifferent;
}

}  // namespace

std::string UsageText(const ToolPlatform& platform) {
    std::string text =
        "Usage:\n"
        "  tarnwick-snapshot decode [--utf16 | --utf8] FILE [REGFILE]\n"
        "      Prints the values of a snapshot file (~ZQReg.dat in the temporary\n"
        "      folder, written by Tarnwick.exe -CAPTURE) as a .reg text that regedit\n"
        "      imports, to REGFILE or to standard output. The text is UTF-16LE with a\n"
        "      byte-order mark (as regedit writes it) with --utf16, UTF-8 with --utf8;\n"
        "      without either, ";
    text += platform.regEncoding == RegEncoding::Utf16 ? "UTF-16LE.\n" : "UTF-8.\n";
    text +=
        "  tarnwick-snapshot encode REGFILE OUT\n"
        "      Writes to OUT the snapshot file that Tarnwick.exe -RESTORE applies,\n"
        "      made from a .reg text (UTF-16LE with a byte-order mark, or UTF-8).\n"
        "      Only values that the launcher captures become part of it; the others\n"
        "      are named on standard error and skipped.\n";
    if (platform.readCurrent) {
        text +=
            "  tarnwick-snapshot diff FILE\n"
            "      Lists each value of a snapshot file that differs from the registry\n"
            "      now, one line each: key, value name (@ for the default value), the\n"
            "      captured data and the current data, separated by tabs.\n";
    } else {
        text += "  (diff FILE, which compares with the registry, is in the Windows build.)\n";
    }
    text +=
        "Exit codes: 0 done, 1 an input that cannot be read, is damaged or cannot be\n"
        "carried, 2 usage error, 3 diff found values that differ.\n";
    return text;
}

int RunSnapshotTool(const std::vector<std::string>& args, const ToolPlatform& platform, ToolOutput& output) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?")) {
        output.out += UsageText(platform);
        return kExitDone;
    }
    if (args.empty()) return Usage(platform, output);
    const std::string& command = args[0];
    std::vector<std::string> operands;
    RegEncoding encoding = platform.regEncoding;
    for (size_t i = 1; i < args.size(); ++i) {
        if (command == "decode" && (args[i] == "--utf16" || args[i] == "--utf8")) {
            encoding = args[i] == "--utf16" ? RegEncoding::Utf16 : RegEncoding::Utf8;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            output.err += "tarnwick-snapshot: unknown option " + args[i] + "\n";
            return Usage(platform, output);
        } else {
            operands.push_back(args[i]);
        }
    }
    if (command == "decode" && (operands.size() == 1 || operands.size() == 2)) {
        return Decode(operands[0], operands.size() == 2 ? operands[1] : std::string(), encoding, output);
    }
    if (command == "encode" && operands.size() == 2) return Encode(operands[0], operands[1], output);
    if (command == "diff" && operands.size() == 1 && platform.readCurrent) return Diff(operands[0], platform, output);
    return Usage(platform, output);
}
