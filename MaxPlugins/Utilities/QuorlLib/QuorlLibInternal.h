// What the library's own sources share and nobody outside sees.
#pragma once

#include <windows.h>

// The library's module handle, written by DllMain on every call; 0 before.
extern HINSTANCE hInstance;

// Loads string `id` of the library's string table into one static buffer of
// 256 characters shared by every call, and returns it; null when the module
// handle is not yet known or the table has no such string. The next call
// overwrites the text: copy it before calling again.
char* GetString(int id);
