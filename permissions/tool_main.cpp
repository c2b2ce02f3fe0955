// TarnwickPermissions.exe: gives the local Users group full control of the
// registry keys the launcher writes when it prepares an Access generation.
// A never-shown window runs the repair on its first timer tick, with a
// progress dialog unless the command line says "noprogress", and the program
// ends by itself when the work list is done.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/system_library.h"
#include "common/windows_version.h"
#include "permissions/acl_engine.h"
#include "permissions/tool_resources.h"
#include "permissions/work_list.h"

namespace {

constexpr UINT_PTR kRepairTimer = 2048;
constexpr UINT kRepairDelayMs = 200;

HINSTANCE g_instance = nullptr;
int showProgress = 1;

void RepermissionKey(RepairRoot root, const std::string& key) {
    // A key that is missing or cannot be changed fails on its own; the rest
    // of the list still gets done.
    RunAclCommand(RepermissionCommand(root, key));
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    SendMessageA(dialog, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_TOOL))));
    // The repair cannot be stopped half-way, so the dialog offers no Close.
    if (HMENU menu = GetSystemMenu(dialog, FALSE)) {
        RemoveMenu(menu, SC_CLOSE, MF_BYCOMMAND);
        DrawMenuBar(dialog);
    }
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    SendMessageA(bar, PBM_SETRANGE32, 0, lParam + 1);
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    SendMessageA(bar, PBM_SETPOS, 1, 0);
    return TRUE;
}

// Runs inside the timer message, so no message is dispatched meanwhile; the
// dialog is painted directly instead.
void RunRepair() {
    const std::vector<std::string> classes = BuildClassesWorkList();
    HWND dialog = nullptr;
    if (showProgress) {
        dialog = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc,
                                    LPARAM(classes.size()));
        if (dialog) UpdateWindow(dialog);
    }
    HWND bar = dialog ? GetDlgItem(dialog, IDC_PROGRESS_BAR) : nullptr;
    for (const std::string& key : classes) {
        RepermissionKey(RepairRoot::Classes, key);
        if (bar) {
            SendMessageA(bar, PBM_STEPIT, 0, 0);
            UpdateWindow(bar);
        }
    }
    for (const std::string& key : BuildMachineWorkList()) RepermissionKey(RepairRoot::Machine, key);
    if (dialog) DestroyWindow(dialog);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam != kRepairTimer) break;
        KillTimer(window, kRepairTimer);
        try {
            RunRepair();
        } catch (...) {
            // Out of memory: what is done is done; the program still ends.
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The tool runs with administrator rights from the temporary folder, which
// its user can write to, so a library put there under a system library's
// name must never be loaded. The common controls are not among Windows'
// known libraries, which the loader always takes from the system folder:
// they are loaded from there by full path instead of being imported.
UniqueModule LoadCommonControls() {
    UniqueModule controls = LoadSystemLibrary("comctl32.dll");
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = SystemFunction<InitFn>(controls.get(), "InitCommonControlsEx");
    if (init) {
        INITCOMMONCONTROLSEX wanted = {};
        wanted.dwSize = sizeof wanted;
        wanted.dwICC = ICC_PROGRESS_CLASS;
        init(&wanted);
    }
    return controls;
}

std::string LoadText(UINT id) {
    char text[256] = {};
    LoadStringA(g_instance, id, text, sizeof text);
    return text;
}

}  // namespace


int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch();
    // Windows 95, 98, Me and NT 4.0 have none of the keys' security to reset.
    if (QueryWindowsVersion().major <= 4) return 0;

    if (AsksForNoProgress(ProgramArguments())) showProgress = 0;

    g_instance = instance;
    const std::string title = LoadText(IDS_TOOL_TITLE);
    const std::string className = LoadText(IDS_TOOL_CLASS);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TOOL));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className.c_str();
    RegisterClassExA(&windowClass);

    const UniqueModule commonControls = LoadCommonControls();  // the progress bar's class lives in it

    HWND window = CreateWindowExA(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!window) return 0;
    SetTimer(window, kRepairTimer, kRepairDelayMs, nullptr);

    RunMessageLoop();
    return 0;
}
