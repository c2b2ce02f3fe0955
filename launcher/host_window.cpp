// Program entry and the never-shown host window: it owns the message loop,
// starts the launch worker on its first timer tick and ends the program when
// the worker posts WM_CLOSE. When the Windows session ends it puts back the
// registry values that the running launch saved.
#include <windows.h>

#include "common/handles.h"
#include "common/log.h"
#include "common/system_library.h"
#include "common/windows_version.h"
#include "launcher/command_line.h"
#include "launcher/launch_sequence.h"
#include "launcher/shared_preparation.h"

namespace {

constexpr UINT_PTR kStartTimer = 1;
constexpr UINT kStartDelayMs = 250;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetTimer(window, kStartTimer, kStartDelayMs, nullptr);
        return 0;
    case WM_TIMER: {
        KillTimer(window, kStartTimer);
        // The program never waits for the worker: its handle is closed at once.
        const UniqueHandle worker(CreateThread(nullptr, 0, LaunchWorker, window, 0, nullptr));
        if (!worker) PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The session ends and the launch worker with it, maybe before its
        // restore: when no other launch uses them, the values saved go back
        // from the journals now. The journals stay for the next launch, in
        // case the worker prepares any further before Windows ends the
        // program.
        if (wParam) {
            try {
                PutBackAtSessionEnd();
            } catch (...) {
                // Nothing may escape a window procedure; the next launch
                // still finds the journal.
            }
        }
        return 0;
    case WM_DESTROY:
        if (LogExists()) CloseLog();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch();
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = "Tarnwick";
    windowClass.lpszClassName = "TarnwickClass";
    RegisterClassExA(&windowClass);

    // The argument text is taken from the process command line ourselves, the
    // same way the C runtime cuts it for WinMain, so that it does not depend
    // on which runtime the program is linked with.
    g_commandLineText = ReplaceTypographicQuotes(ProgramArguments());
    g_instance = instance;

    HWND window = CreateWindowExA(0, "TarnwickClass", "Tarnwick", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!window) return 0;
    UpdateWindow(window);
    // Until the first tick the process only waits: the libraries that the
    // launch loads on its way to starting Access are loaded now.
    LoadLaunchLibraries();

    RunMessageLoop();
    return 0;
}
