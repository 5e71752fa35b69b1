// window_text CAPTION: prints the texts of the static controls of the visible
// top-level window whose caption is exactly CAPTION, one a line (a message
// box's text, for instance), and exits with 1 when there is no such window.
// xdotool reads captions only; the Wine tests use this for the rest.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

struct Search {
    const char* caption;
    HWND found;
};

BOOL CALLBACK matchCaption(HWND window, LPARAM context) {
    Search* search = reinterpret_cast<Search*>(context);
    char caption[512];
    if (!IsWindowVisible(window) || !GetWindowTextA(window, caption, sizeof(caption))) return TRUE;
    if (std::strcmp(caption, search->caption) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK printStatic(HWND control, LPARAM) {
    char name[32];
    char text[2048];
    GetClassNameA(control, name, sizeof(name));
    if (lstrcmpiA(name, "Static") == 0 && GetWindowTextA(control, text, sizeof(text))) std::printf("%s\n", text);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_text CAPTION\n");
        return 2;
    }
    Search search = {argv[1], 0};
    EnumWindows(matchCaption, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return 1;
    EnumChildWindows(search.found, printStatic, 0);
    return 0;
}
