// Finding the dialogs a process shows: message boxes and dialog boxes are
// top-level windows of class "#32770". Shared by the scenarios and by the
// responder, which is a program of its own and links no test library.
#pragma once

#include <windows.h>

#include <string>

inline std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

namespace dialog_search {
struct Search {
    DWORD pid = 0;
    HWND found = nullptr;
};

inline BOOL CALLBACK Visit(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if ((search->pid && pid != search->pid) || !IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    search->found = window;
    return FALSE;
}
}  // namespace dialog_search

// A visible dialog of the process (of any process for pid 0); null when it shows none.
inline HWND FindVisibleDialog(DWORD pid) {
    dialog_search::Search search{pid, nullptr};
    EnumWindows(dialog_search::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
