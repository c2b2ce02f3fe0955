// tarnwick-snapshot: reads, writes and compares the launcher's snapshot
// file. See UsageText in tool.cpp.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/snapshot/tool.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "tools/snapshot/current_value.h"
#endif

int main(int argc, char** argv) {
    ToolPlatform platform;
#ifdef _WIN32
    // UTF-16 text and CR LF line ends go out as they are.
    _setmode(_fileno(stdout), _O_BINARY);
    platform.regEncoding = RegEncoding::Utf16;
    platform.consoleEncoding = RegEncoding::Ansi;
    platform.readCurrent = CurrentValueOf;
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    ToolOutput output;
    int code = kExitDamaged;
    try {
        code = RunSnapshotTool(args, platform, output);
    } catch (const std::exception& failure) {
        output.err += std::string("tarnwick-snapshot: ") + failure.what() + "\n";
    }
    std::fwrite(output.out.data(), 1, output.out.size(), stdout);
    std::fflush(stdout);
    std::fputs(output.err.c_str(), stderr);
    return code;
}
