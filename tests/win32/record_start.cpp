// record_start: the command that the Wine tests' installer scripts start. It
// writes its arguments and its working directory, one a line, to the file
// that VELKAR_RECORD names; the text appears there whole or not at all.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    char record[MAX_PATH];
    char partial[MAX_PATH + 8];
    char directory[MAX_PATH];
    char text[2 * MAX_PATH + 64];
    if (!GetEnvironmentVariableA("VELKAR_RECORD", record, sizeof(record))) return 2;
    if (!GetCurrentDirectoryA(sizeof(directory), directory)) directory[0] = 0;
    std::snprintf(partial, sizeof(partial), "%s.part", record);
    int length = std::snprintf(text, sizeof(text), "arguments=%s\ndirectory=%s\n", arguments, directory);
    HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text, static_cast<DWORD>(length), &written, 0);
    CloseHandle(file);
    return ok && MoveFileA(partial, record) ? 0 : 1;
}
