// hold_file: holds a file open as another program would, so that Windows
// refuses to replace it (tests/wine/dialog_test.sh). hold_file.exe FILE
// RELEASE opens FILE for reading, shared for reading and writing but not for
// deleting, prints "held", and closes it once RELEASE exists, or after ten
// minutes should the test that started it be gone.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    for (int i = 0; i < 6000 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    CloseHandle(file);
    return 0;
}
