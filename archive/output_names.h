// From a member path to the output path under the extract directory, valid
// for the destination volume's naming rules.
#pragma once

#include <stdint.h>

void determineVolumeRules();
int buildOutputPath(char* out, uint32_t outSize, const char* extractDir, char* memberPath, uint32_t memberSize);
void sanitisePath(char* path, int longNames);
void sanitiseComponent(char* component, int longNames);
char* cleanRun(char* text, uint32_t limit, int longNames);
void shortDisplayName(char* out, uint32_t outSize, const char* path, uint32_t width);
// What prepareOutputPath made of the member's path.
enum class OutputPath { ready, tooLong, refused };
OutputPath prepareOutputPath();
