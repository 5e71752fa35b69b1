// Paths of the extracted programs as the installer actions hand them on.
#pragma once

#include <stdint.h>

// The room the actions give a short path, whatever their buffer's width.
const uint32_t SHORT_PATH_CAPACITY = 256;

// The directory and the name joined with '\', in their short (8.3) form,
// into destination (which may be name itself). 0 when the joined path
// would not fit 255 characters: the caller then drops its line rather
// than name a cut path.
int makeShortPath(const char* directory, const char* name, char* destination, uint32_t capacity);
