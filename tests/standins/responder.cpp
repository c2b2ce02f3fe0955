// responder <pid> <button> <record file> [timeout ms] [boxes]
// (pid 0: a box of any process, for a demo that knows no Windows pid)
// Waits for message boxes of the process, records each one's caption, text,
// icon, buttons, owner and the other visible windows of the process, and
// presses the named button (OK, Yes, No, Cancel, or none). boxes 0 answers
// every box until the process ends. Exit code 0 when every box expected was
// seen, 1 on time-out.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/system_library.h"
#include "tests/support/dialog_search.h"

namespace {

// The other visible windows of the process beside its box.
struct Search {
    DWORD pid = 0;
    HWND except = nullptr;
    std::vector<std::string> visible;
};

std::string TextOf(HWND window) {
    char text[4096] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK ListVisible(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && window != search->except && IsWindowVisible(window)) {
        search->visible.push_back(ClassOf(window));
    }
    return TRUE;
}

BOOL CALLBACK ListButtons(HWND child, LPARAM param) {
    auto* buttons = reinterpret_cast<std::string*>(param);
    if (ClassOf(child) == "Button" && IsWindowVisible(child)) {
        if (!buttons->empty()) *buttons += ",";
        for (char c : TextOf(child)) {
            if (c != '&') *buttons += c;
        }
    }
    return TRUE;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string IconName(HWND box) {
    // Our own hook library, beside the responder.
    const UniqueModule hook(LoadLibraryA("responder_hook.dll"));
    const auto proc = SystemFunction<HOOKPROC>(hook.get(), "ProbeHook");
    const DWORD thread = GetWindowThreadProcessId(box, nullptr);
    HHOOK installed = proc ? SetWindowsHookExA(WH_CALLWNDPROC, proc, hook.get(), thread) : nullptr;
    std::string name = "unknown";
    if (installed) {
        DWORD_PTR ignored;
        SendMessageTimeoutA(box, RegisterWindowMessageA("TarnwickResponderProbe"), 0, 0, SMTO_BLOCK, 3000, &ignored);
        const INT_PTR kind = reinterpret_cast<INT_PTR>(GetPropA(box, "TarnwickResponderIcon"));
        const char* names[] = {"unknown", "none", "hand", "question", "exclamation", "asterisk", "other"};
        if (kind >= 0 && kind <= 6) name = names[kind];
        UnhookWindowsHookEx(installed);
    }
    return name;
}

int ButtonId(const std::string& name) {
    if (name == "OK") return IDOK;
    if (name == "Yes") return IDYES;
    if (name == "No") return IDNO;
    if (name == "Cancel") return IDCANCEL;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: responder <pid> <button> <record file> [timeout ms] [boxes]\n");
        return 2;
    }
    const DWORD pid = strtoul(argv[1], nullptr, 10);
    const int button = ButtonId(argv[2]);
    const DWORD timeoutMs = argc > 4 ? strtoul(argv[4], nullptr, 10) : 20000;
    const int wanted = argc > 5 ? atoi(argv[5]) : 1;
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));

    std::string record;
    int seen = 0;
    const DWORD start = GetTickCount();
    while (wanted == 0 || seen < wanted) {
        const HWND box = FindVisibleDialog(pid);
        if (!box) {
            if (GetTickCount() - start > timeoutMs) break;
            if (wanted == 0 && process && WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) break;
            Sleep(20);
            continue;
        }
        ++seen;
        Search search;
        search.pid = pid;
        search.except = box;
        EnumWindows(ListVisible, reinterpret_cast<LPARAM>(&search));
        std::string buttons, visible;
        EnumChildWindows(box, ListButtons, reinterpret_cast<LPARAM>(&buttons));
        for (const auto& name : search.visible) visible += (visible.empty() ? "" : ",") + name;
        HWND owner = GetWindow(box, GW_OWNER);
        HWND textControl = GetDlgItem(box, 0xFFFF);
        record += "box=" + std::to_string(seen) + "\n";
        record += "caption=" + Escaped(TextOf(box)) + "\n";
        record += "text=" + Escaped(textControl ? TextOf(textControl) : "") + "\n";
        record += "icon=" + IconName(box) + "\n";
        record += "buttons=" + buttons + "\n";
        record += "owner=" + (owner ? ClassOf(owner) : std::string()) + "\n";
        record += "visible=" + visible + "\n";
        if (button) PostMessageA(box, WM_COMMAND, button, 0);
        if (!button) break;
        for (int i = 0; i < 250 && IsWindow(box); ++i) Sleep(20);
    }
    record += "count=" + std::to_string(seen) + "\n";
    if (FILE* f = fopen(argv[3], "wb")) {
        fwrite(record.data(), 1, record.size(), f);
        fclose(f);
    }
    return (wanted == 0 || seen >= wanted) ? 0 : 1;
}
