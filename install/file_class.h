// File class registration: one "$Class=" line's extension, class key, open
// command and icon, in the registry or, on Win32s, in the profile.
#pragma once

// Works on classExtension, classDescription, programPath and classKey.
void registerFileClass();
