// From a member path to the output path under the extract directory, valid
// for the destination volume's naming rules.
#pragma once

#include <stdint.h>

void determineVolumeRules();
void buildOutputPath(char* out, const char* extractDir, char* memberPath);
void sanitisePath(char* path, int longNames);
void sanitiseComponent(char* component, int longNames);
char* cleanRun(char* text, uint32_t limit, int longNames);
void shortDisplayName(char* out, const char* path, uint32_t width);
void prepareOutputPath();
