// The command line as the launcher receives it: the program's own options,
// the profile rewrite and the database path of whatever remains.
#include <cstddef>
#include <cstdint>
#include <string>

#include "access/text_paths.h"
#include "launcher/command_line.h"
#include "launcher/sequence_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string arguments = ReplaceTypographicQuotes(CommandTextAfterProgramName(text));
    LauncherContext ctx;
    int logging = 0;
    const std::string remainder = ParseCommandLine(arguments, ctx, logging);
    // The remainder is what is left of the input, never more.
    if (remainder.size() > arguments.size()) __builtin_trap();
    const std::string database = GetDatabasePath(remainder);
    if (database.size() > remainder.size()) __builtin_trap();
    RewriteCommandLineForProfile(remainder, "C:\\Users\\someone\\AppData\\Local");
    GetFolderOfPath(database);
    StripQuotes(ctx.strCmdKey);
    GetAccessFolderFromCommand(text);
    KeepWrittenObjectLibrary(ctx.strCmdKey, ctx.strCmdValueName);
    return 0;
}
