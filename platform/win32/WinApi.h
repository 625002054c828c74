#pragma once
// The Windows headers, for the files of this folder only. The macros that would rename the
// methods of our ports (CreateDirectory -> CreateDirectoryA) are removed; the adapters call
// the A and W forms by their full names.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CreateDirectory
#undef CopyFile
#undef MessageBox
