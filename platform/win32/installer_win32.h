// What the dialog procedure needs of the DDE services.
#pragma once

#include <windows.h>

// Deletes the atoms or frees the memory that a WM_DDE_ACK carries.
void releaseDdeAcknowledgment(LPARAM lParam);
