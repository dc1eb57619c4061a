#pragma once
// The Windows API as the platform layer's own files include it.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// windows.h turns the name CreateDirectory into CreateDirectoryA or
// CreateDirectoryW, and Application has a method of that name: a file that
// saw the macro would declare a different method than every other file.
// Until the method is renamed, the macro goes; the system call is always
// spelt CreateDirectoryW.
#undef CreateDirectory
