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
