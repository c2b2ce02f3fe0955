// The start every launch makes before its own work, and nothing else: the
// hidden window, its 250 ms timer, a worker at the first tick that starts
// the program through the shell, waits for it and closes the window. The
// bench starts it beside the launcher to show which share of a start-up is
// the launcher's own.
//   bare_launcher.exe "<program>" <arguments>
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <string>

namespace {

std::string g_program, g_arguments;

DWORD WINAPI StartProgram(LPVOID window) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = g_program.c_str();
    info.lpParameters = g_arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info) && info.hProcess) {
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hProcess);
    }
    PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetTimer(window, 1, 250, nullptr);
        return 0;
    case WM_TIMER:
        KillTimer(window, 1);
        if (HANDLE worker = CreateThread(nullptr, 0, StartProgram, window, 0, nullptr)) CloseHandle(worker);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // The quoted program, then its arguments.
    const std::string line = commandLine;
    const auto end = line.find('"', 1);
    if (line.empty() || line[0] != '"' || end == std::string::npos) return 2;
    g_program = line.substr(1, end - 1);
    g_arguments = line.substr(std::min(line.size(), end + 2));

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "BareLauncher";
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, "BareLauncher", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    // As the launcher does while its timer runs.
    LoadLibraryA("shell32.dll");
    LoadLibraryA("ole32.dll");
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
