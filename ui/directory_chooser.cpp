#include "ui/directory_chooser.h"

#include "common/text_ops.h"

// The dummy name is what the hidden file name box holds, so OK accepts the
// directory shown without a file being chosen.
static const char DUMMY_NAME[] = "work.txt";
static const uint32_t CHOOSER_CAPACITY = 260;

// The common dialog moves the current directory along as the user browses;
// it is put back, so that an empty destination still means the directory
// the program was started in.
int chooseDirectory(WindowHandle owner, char* directory, uint32_t size) {
    char startDirectory[260];
    uint32_t length = osCurrentDirectory(startDirectory, sizeof(startDirectory));
    int restore = length > 0 && length < sizeof(startDirectory);
    char chosenPath[CHOOSER_CAPACITY];
    copyText(chosenPath, DUMMY_NAME, sizeof(chosenPath));
    uint32_t nameOffset = 0;
    int chosen = osChooseFile(owner, "GetDirDialog", "Extracting directory", chosenPath, CHOOSER_CAPACITY, &nameOffset);
    if (restore) osSetCurrentDirectory(startDirectory);
    if (!chosen) return 0;
    // An offset outside the returned path names no directory.
    if (nameOffset > textLength(chosenPath)) return 0;
    chosenPath[nameOffset] = 0;
    copyText(directory, chosenPath, size);
    return 1;
}

int dropTrailingSeparator(char* path) {
    for (char* separator = findAnyOf(path, "/\\"); separator; separator = findAnyOf(separator + 1, "/\\")) {
        if (static_cast<unsigned char>(separator[1]) < 0x20) {
            *separator = 0;
            return 1;
        }
    }
    return 0;
}
