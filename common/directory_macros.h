// Leading directory macros such as "%WinDir%" and the system folders they name.
#pragma once

#include <stdint.h>

// Expands a macro at the first byte of text in place, then makes every
// separator a backslash. text holds textSize bytes.
void expandDirectoryMacro(char* text, uint32_t textSize, const char* searchName);
uint32_t getWorkDirectory(uint32_t size, char* out);
void readRegistryString(const char* keyPath, const char* valueName, const char* defaultText, char* out,
                        uint32_t outSize);
