// Text and path operations shared by every subsystem. Every scan for a
// separator is DBCS-aware: a lead byte and its trail byte are never split and
// the trail byte is never taken for a separator.
#pragma once

#include <stdint.h>

// Bounded copies: like lstrcpynA, at most size - 1 bytes and always a
// terminator (nothing is written when size is 0). Return the length copied.
uint32_t copyText(char* out, const char* text, uint32_t size);
uint32_t appendText(char* out, const char* text, uint32_t size);
uint32_t textLength(const char* text);

// Formats into out (size bytes, always terminated) with wsprintfA's %s, %lu
// and %%; arguments are texts for %s and uint32_t for %lu.
uint32_t formatText(char* out, uint32_t size, const char* format, ...);

int compareN(const char* a, const char* b, uint32_t n);
void appendSeparator(char* text);
char* findAnyOf(const char* text, const char* set);
char* lastComponent(const char* text);
char* endOfText(const char* text);
char* normaliseSeparators(char* text, char separator);
void createDirectoryChain(const char* path);
