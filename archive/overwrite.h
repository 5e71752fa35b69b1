// Whether an existing file is replaced, and the times and attribute that an
// extracted file gets.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

enum class OverwriteDecision { write, skip, stop };

OverwriteDecision overwriteDecision();
uint32_t existingFileTime(const char* path);
int replaceExistingFile(const char* from);
void setOutputTimes(FileHandle file);
void restoreMemberAttribute();
