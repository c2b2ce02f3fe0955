#include "launcher/log.h"

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
    std::string line;  // reused for every assembled line
};

std::unique_ptr<LauncherLog> g_log;

bool WriteBytes(HANDLE file, const char* data, size_t size) {
    DWORD written = 0;
    return WriteFile(file, data, DWORD(size), &written, nullptr) && written == size;
}

}  // namespace

void OpenLog() {
    g_log = std::make_unique<LauncherLog>();
    char desktop[MAX_PATH] = {};
    if (!ShellSpecialFolderPath(CSIDL_DESKTOPDIRECTORY, desktop)) return;
    g_log->path = std::string(desktop) + "\\TarnwickLog.txt";
    g_log->file.reset(CreateFileA(g_log->path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!g_log->file) return;
    SetFilePointer(g_log->file.get(), 0, nullptr, FILE_END);
    LogLine(kSeparator);
}

bool LogLine(const char* text) {
    if (!g_log || !g_log->file || text == nullptr) return false;
    const std::string_view bytes(text);
    if (!WriteBytes(g_log->file.get(), bytes.data(), bytes.size())) return false;
    WriteBytes(g_log->file.get(), "\r\n", 2);
    return true;
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
