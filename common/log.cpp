#include "common/log.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "common/handles.h"
#include "common/system_library.h"

int bLogging = 0;

namespace {

constexpr const char* kSeparator = "===================================================";

struct LauncherLog {
    std::string path;
    UniqueFile file;
    std::string line;     // reused for every assembled line
    std::string written;  // reused for every line and its CR LF
};

std::unique_ptr<LauncherLog> g_log;

// A line and its CR LF go out in one write to the end of the file, so that
// the lines of two launchers logging at once may alternate but never tear.
bool WriteWholeLine(LauncherLog& log, std::string_view text) {
    log.written.assign(text);
    log.written.append("\r\n");
    DWORD written = 0;
    return WriteFile(log.file.get(), log.written.data(), DWORD(log.written.size()), &written, nullptr) &&
           written == log.written.size();
}

}  // namespace

void OpenLog() {
    g_log = std::make_unique<LauncherLog>();
    char desktop[MAX_PATH] = {};
    if (!ShellSpecialFolderPath(CSIDL_DESKTOPDIRECTORY, desktop)) return;
    g_log->path = std::string(desktop) + "\\TarnwickLog.txt";
    // Appending only, and sharing writing too: a second launcher running at
    // the same time appends its own run instead of losing its whole log.
    g_log->file.reset(CreateFileA(g_log->path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!g_log->file) return;
    LogLine(kSeparator);
}

bool LogLine(const char* text) {
    if (!g_log || !g_log->file || text == nullptr) return false;
    return WriteWholeLine(*g_log, text);
}

void CloseLog() {
    if (!g_log) return;
    if (g_log->file) {
        LogLine(kSeparator);
        LogLine("\r\n");
        g_log->file.reset();
    }
    g_log.reset();
}

bool LogExists() { return g_log != nullptr; }

void Log(std::string_view label, std::string_view value) {
    if (!bLogging || !g_log) return;
    g_log->line.assign(label);
    g_log->line.append(value);
    LogLine(g_log->line.c_str());
}
