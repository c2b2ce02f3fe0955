// Loaded by Windows into the thread that shows a message box: tells which
// standard icon the box shows. Icon handles can only be compared inside the
// process that loaded them, so the check has to run there.
#include <windows.h>

namespace {

HWND g_iconControl;

BOOL CALLBACK FindIconControl(HWND child, LPARAM) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        g_iconControl = child;
        return FALSE;
    }
    return TRUE;
}

// 1 none, 2 hand, 3 question, 4 exclamation, 5 asterisk, 6 another icon.
INT_PTR IconKind(HWND box) {
    g_iconControl = nullptr;
    EnumChildWindows(box, FindIconControl, 0);
    HICON icon = g_iconControl && IsWindowVisible(g_iconControl)
                     ? reinterpret_cast<HICON>(SendMessageA(g_iconControl, STM_GETICON, 0, 0))
                     : nullptr;
    if (!icon) return 1;
    if (icon == LoadIcon(nullptr, IDI_HAND)) return 2;
    if (icon == LoadIcon(nullptr, IDI_QUESTION)) return 3;
    if (icon == LoadIcon(nullptr, IDI_EXCLAMATION)) return 4;
    if (icon == LoadIcon(nullptr, IDI_ASTERISK)) return 5;
    return 6;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == RegisterWindowMessageA("TarnwickResponderProbe")) {
        SetPropA(call->hwnd, "TarnwickResponderIcon", reinterpret_cast<HANDLE>(IconKind(call->hwnd)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
