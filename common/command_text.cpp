#include "common/command_text.h"

std::string CommandTextAfterProgramName(std::string_view full) {
    size_t i = 0;
    if (!full.empty() && full[0] == '"') {
        i = full.find('"', 1);
        i = i == std::string_view::npos ? full.size() : i + 1;
    } else {
        while (i < full.size() && full[i] != ' ' && full[i] != '\t') ++i;
    }
    while (i < full.size() && (full[i] == ' ' || full[i] == '\t')) ++i;
    return std::string(full.substr(i));
}

std::vector<CommandArgument> SplitCommandArguments(std::string_view line) {
    std::vector<CommandArgument> arguments;
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i == line.size()) return arguments;
        CommandArgument argument;
        argument.begin = i;
        bool inQuotes = false;
        while (i < line.size() && (inQuotes || !isBlank(line[i]))) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
            if (i < line.size() && line[i] == '"') {
                argument.text.append(backslashes / 2, '\\');
                argument.quoted = true;
                if (backslashes % 2 == 1) {
                    argument.text += '"';
                } else if (inQuotes && i + 1 < line.size() && line[i + 1] == '"') {
                    argument.text += '"';
                    ++i;
                } else {
                    inQuotes = !inQuotes;
                }
                ++i;
            } else {
                argument.text.append(backslashes, '\\');
                if (backslashes == 0) argument.text += line[i++];
            }
        }
        argument.end = i;
        arguments.push_back(std::move(argument));
    }
}
