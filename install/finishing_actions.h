// What follows the member loop of the extract pass: the installer's lines,
// the settings broadcast and the command.
#pragma once

#include "platform/platform.h"

void runFinishingActions(WindowHandle owner);
const char* splitCommand(char* program, uint32_t programSize, const char* command);
void startCommand(WindowHandle owner);
