// keep_desktop: Wine starts a prefix's desktop with the first window a
// program makes and ends it with the prefix's last program. A start slower
// than the program's wait for it (the emulated guest) leaves that program
// without a display: its windows cannot be made and it ends as if
// cancelled. keep_desktop.exe FLAG makes a window of its own, never shown,
// prints "ready" once it has one (exits with 1 when it has none), and keeps
// the desktop up, taking its window's messages, while FLAG exists
// (tests/wine/lib.sh).
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, 0, 0, GetModuleHandleA(0), 0);
    if (!window) return 1;
    std::puts("ready");
    std::fflush(stdout);
    // Its window answers what is sent to every top-level window (the
    // programs under test broadcast DDE and settings messages), so it must
    // take its messages, or it would hold those programs up.
    while (GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES) {
        MsgWaitForMultipleObjects(0, 0, FALSE, 200, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
}
