// A stand-in for the SetACL program. It records how it was started in
// "<its own path>.txt" and ends. The record is written only after a pause,
// so a caller that does not wait for it finds none yet when it returns.
//
// Record lines: commandline=, argc=, arg1= ... argN= (as the C runtime splits
// the command line), show= (the show state, or "none" without
// STARTF_USESHOWWINDOW).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/handles.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Sleep(1500);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);

    std::string record = std::string("commandline=") + GetCommandLineA() + "\n";
    record += "argc=" + std::to_string(__argc) + "\n";
    for (int i = 1; i < __argc; ++i) record += "arg" + std::to_string(i) + "=" + __argv[i] + "\n";
    record += "show=" +
              ((startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(startup.wShowWindow) : std::string("none")) +
              "\n";

    const UniqueFile file(CreateFileA((std::string(self) + ".txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    DWORD written = 0;
    WriteFile(file.get(), record.data(), DWORD(record.size()), &written, nullptr);
    return 0;
}
