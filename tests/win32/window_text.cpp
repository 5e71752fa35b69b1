// window_text [--edit|--buttons] CAPTION: prints the texts of the static
// controls of the visible top-level window whose caption is exactly CAPTION,
// one a line (a message box's text, for instance), with --edit those of its
// enabled edit controls (what a test typed into a dialog that still takes
// input), or with --buttons those of its buttons, each behind its check
// mark and enabled state ("1 1 &Start Menu"); exits with 1 when there is no
// such window. xdotool reads captions only; the Wine
// tests use this for the rest.
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

// A static control's text is its window text, which GetWindowTextA reads
// without disturbing a busy dialog. An edit control keeps its text to itself,
// so it is asked, and only while enabled: a disabled one belongs to a dialog
// that is busy and might not answer. An empty edit box still prints its line.
BOOL CALLBACK printControl(HWND control, LPARAM className) {
    const char* wanted = reinterpret_cast<const char*>(className);
    char name[32];
    char text[2048];
    GetClassNameA(control, name, sizeof(name));
    if (lstrcmpiA(name, wanted) != 0) return TRUE;
    if (lstrcmpiA(wanted, "Static") == 0) {
        if (GetWindowTextA(control, text, sizeof(text))) std::printf("%s\n", text);
        return TRUE;
    }
    if (lstrcmpiA(wanted, "Button") == 0) {
        DWORD_PTR checked = 0;
        if (!SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &checked)) checked = 0;
        if (!GetWindowTextA(control, text, sizeof(text))) text[0] = 0;
        std::printf("%d %d %s\n", checked == BST_CHECKED, IsWindowEnabled(control) ? 1 : 0, text);
        return TRUE;
    }
    if (!IsWindowEnabled(control)) return TRUE;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                             &length))
        length = 0;
    std::printf("%s\n", length ? text : "");
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const char* className = "Static";
    if (argc == 3 && (std::strcmp(argv[1], "--edit") == 0 || std::strcmp(argv[1], "--buttons") == 0)) {
        className = argv[1][2] == 'e' ? "Edit" : "Button";
        ++argv;
        --argc;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_text [--edit|--buttons] CAPTION\n");
        return 2;
    }
    Search search = {argv[1], 0};
    EnumWindows(matchCaption, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return 1;
    EnumChildWindows(search.found, printControl, reinterpret_cast<LPARAM>(className));
    return 0;
}
