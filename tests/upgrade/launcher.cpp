// Test helper: starts a program with an exact command line (Wine rebuilds command
// lines from Unix arguments, so quotes, blanks and empty tails need this route).
//
//   launcher PROGRAM LINEFILE [--read-box]
//
// LINEFILE holds the whole command line, byte for byte. With --read-box the launcher
// waits for the program's message box, prints its caption, text, icon, modality and
// buttons, presses OK, and then prints the exit code. It exits with the program's code.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct Box {
    DWORD processId = 0;
    HWND window = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
    auto* box = reinterpret_cast<Box*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner == box->processId && IsWindowVisible(window) && std::string(className) == "#32770") {
        box->window = window;
        return FALSE;
    }
    return TRUE;
}

struct Controls {
    std::string text;
    bool icon = false;
    std::string buttons;
    HWND ok = nullptr;
};

BOOL CALLBACK ReadControl(HWND control, LPARAM parameter) {
    auto* controls = reinterpret_cast<Controls*>(parameter);
    char className[64] = {};
    char text[512] = {};
    GetClassNameA(control, className, sizeof className);
    GetWindowTextA(control, text, sizeof text);
    const std::string kind = className;
    if (kind == "Static") {
        if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            controls->icon = true;
        } else if (text[0] != '\0') {
            controls->text = text;
        }
    } else if (kind == "Button" && IsWindowVisible(control)) {
        if (!controls->buttons.empty()) controls->buttons += ",";
        controls->buttons += text;
        if (GetDlgCtrlID(control) == IDOK) controls->ok = control;
    }
    return TRUE;
}

int ReadBox(const PROCESS_INFORMATION& process) {
    Box box;
    box.processId = process.dwProcessId;
    for (int tries = 0; tries < 600 && box.window == nullptr; ++tries) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
    }
    if (box.window == nullptr) {
        std::printf("box: none\n");
        return 0;
    }
    char caption[256] = {};
    GetWindowTextA(box.window, caption, sizeof caption);
    Controls controls;
    EnumChildWindows(box.window, ReadControl, reinterpret_cast<LPARAM>(&controls));
    const bool topmost = (GetWindowLongA(box.window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::printf("caption: %s\ntext: %s\nicon: %s\ntopmost: %s\nbuttons: %s\n", caption, controls.text.c_str(),
                controls.icon ? "yes" : "no", topmost ? "yes" : "no", controls.buttons.c_str());
    std::fflush(stdout);
    if (controls.ok != nullptr) {
        PostMessageA(controls.ok, BM_CLICK, 0, 0);
    } else {
        PostMessageA(box.window, WM_COMMAND, IDOK, 0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: launcher PROGRAM LINEFILE [--read-box]\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "launcher: cannot read %s\n", argv[2]);
        return 2;
    }
    std::string line{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(argv[1], line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "launcher: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    if (argc > 3 && std::string(argv[3]) == "--read-box") ReadBox(process);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("exit: %lu\n", code);
    return static_cast<int>(code);
}
