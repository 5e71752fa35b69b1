#include "install/short_path.h"

#include "common/text_ops.h"
#include "platform/platform.h"

const uint32_t JOINED_SIZE = 256;

// A path the system cannot shorten (the file is missing, or its short form
// does not fit) is handed on in its long form.
int makeShortPath(const char* directory, const char* name, char* destination, uint32_t capacity) {
    char joined[JOINED_SIZE];
    if (textLength(directory) + 1 + textLength(name) >= sizeof(joined)) return 0;
    formatText(joined, sizeof(joined), "%s\\%s", directory, name);
    uint32_t length = osShortPathName(joined, destination, capacity);
    if (length == 0 || length >= capacity) copyText(destination, joined, capacity);
    return 1;
}
