// What the rest of the Windows layer needs of the installer's services.
#pragma once

#include <windows.h>

// A function of a system module that may lack it, or 0; the caller casts
// it to its own type. The stub must load where such a function is missing.
typedef void (*AnyFunction)();
AnyFunction systemFunction(const char* module, const char* name);

// Deletes the atoms or frees the memory that a WM_DDE_ACK carries.
void releaseDdeAcknowledgment(LPARAM lParam);
